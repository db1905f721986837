#include "platform/full_path.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tamsel {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string CurrentFolder() {
  std::string buffer(256, '\0');
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.c_str();
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string FullPath(std::string_view path) {
  std::string whole;
  if (path.empty() || !IsSeparator(path.front())) {
    whole = CurrentFolder();
    whole += '/';
  }
  whole.append(path);

  std::vector<std::string_view> segments;
  std::string_view rest(whole);
  while (!rest.empty()) {
    size_t end = 0;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string_view segment = rest.substr(0, end);
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    segments.push_back(segment);
  }
  // "a/b/" keeps its separator; "a/." and "a/.." name a folder without one.
  const bool trailing = IsSeparator(whole.back());

  std::string result;
  for (std::string_view segment : segments) {
    result += '/';
    result.append(segment);
  }
  if (result.empty() || trailing) result += '/';
  return result;
}

}  // namespace tamsel
