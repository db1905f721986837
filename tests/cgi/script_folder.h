// A temporary folder for the CGI tests: small #! programs written on the fly,
// removed with the folder when the test ends; plus process-wide counts used to
// catch leaked descriptors, threads and unreaped children.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tamsel::testing {

class TScriptFolder {
 public:
  TScriptFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tamsel-cgi-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    if (made == nullptr) std::abort();
    path_ = made;
  }
  ~TScriptFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TScriptFolder(const TScriptFolder&) = delete;
  TScriptFolder& operator=(const TScriptFolder&) = delete;

  const std::string& Path() const { return path_; }

  // Writes `text` to `name` in the folder and returns the full path.
  std::string Write(const std::string& name, const std::string& text, mode_t mode = 0644) const {
    std::string full = path_ + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    {
      std::ofstream out(full, std::ios::binary | std::ios::trunc);
      out << text;
    }
    ::chmod(full.c_str(), mode);
    return full;
  }
  // A /bin/sh program with the given body, executable.
  std::string Script(const std::string& name, const std::string& body) const {
    return Write(name, "#!/bin/sh\n" + body, 0755);
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
};

inline int CountEntries(const char* folder) {
  int count = 0;
  DIR* dir = ::opendir(folder);
  if (dir == nullptr) return -1;
  while (dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(dir);
  return count - (std::string(folder) == "/proc/self/fd" ? 1 : 0);  // the DIR's own descriptor
}
inline int OpenDescriptors() { return CountEntries("/proc/self/fd"); }
inline int Threads() { return CountEntries("/proc/self/task"); }
// True when this process has a child that ended and was never reaped.
inline bool HasZombieChild() {
  siginfo_t info{};
  info.si_pid = 0;
  if (::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;  // no children at all
  return info.si_pid != 0;
}

// True once the process `pid` is gone or a zombie (waits up to two seconds for
// the system to finish a kill already sent).
inline bool ProcessGone(pid_t pid) {
  for (int i = 0; i < 200; ++i) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return true;
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    size_t close = text.rfind(')');
    if (close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z') return true;
    ::usleep(10000);
  }
  return false;
}

}  // namespace tamsel::testing
