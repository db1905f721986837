#include "platform/program_folder.h"

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tamsel {

namespace {

std::string ReadLink(const char* path) {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    ssize_t n = ::readlink(path, buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string CurrentFolder() {
  std::vector<char> buffer(PATH_MAX);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return "./";
    buffer.resize(buffer.size() * 2);
  }
  std::string folder(buffer.data());
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

std::string ProgramFolder() {
  std::string exe = ReadLink("/proc/self/exe");
  size_t slash = exe.rfind('/');
  if (exe.empty() || exe[0] != '/' || slash == std::string::npos) return CurrentFolder();
  return exe.substr(0, slash + 1);
}

}  // namespace tamsel
