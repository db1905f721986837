// A fresh folder below the system's temporary folder, removed with its
// content when the test is done.
#pragma once

#include <string>

namespace tamsel::testing {

class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  // The folder's absolute path with a trailing "/".
  const std::string& Path() const { return path_; }
  // Path() + name.
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Whole content of a file as bytes ("" when it cannot be read).
std::string ReadFileBytes(const std::string& path);
// Creates or replaces a file with `bytes`.
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace tamsel::testing
