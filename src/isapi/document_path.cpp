#include "isapi/document_path.h"

#include <unistd.h>

#include <vector>

namespace tamsel {

std::string DocumentFolderPath(const std::string& root) {
  std::string path = root;
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty() || path[0] != '/') {
    std::string cwd;
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr && buffer.size() < (1u << 20))
      buffer.resize(buffer.size() * 2);
    cwd = buffer.data();
    path = cwd + "/" + path;
  }
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(pos, slash - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    pos = slash + 1;
  }
  std::string result = "/";
  for (const auto& part : parts) result += part + "/";
  return result;
}

}  // namespace tamsel
