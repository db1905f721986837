#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>


namespace tamsel {

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

long long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool IsInsideRoot(const std::string& file, const std::string& root) {
  std::string base = root;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base == "/") return !file.empty() && file[0] == '/';
  if (file.compare(0, base.size(), base) != 0) return false;
  return file.size() == base.size() || file[base.size()] == '/';
}

}  // namespace tamsel
