#include "engine/uri.h"

namespace tamsel {

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits a path at the last "/" before its first "=" (the last "/" of all without "=").
void SplitPath(const std::string& path, std::string& dir, std::string& doc, std::string& params) {
  size_t eq = path.find('=');
  size_t cut = path.rfind('/', eq == std::string::npos ? std::string::npos : eq);
  size_t docStart = cut == std::string::npos ? 0 : cut + 1;
  dir = path.substr(0, docStart);
  if (eq == std::string::npos) {
    doc = path.substr(docStart);
    params.clear();
  } else {
    doc = path.substr(docStart, eq - docStart);
    params = path.substr(eq);
  }
}
}  // namespace

std::string PercentDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '%') {
      out += text[i++];
      continue;
    }
    std::string digits = text.substr(i + 1, 2);
    i += 1 + digits.size();
    int value = 0;
    bool hex = !digits.empty();
    for (char c : digits) {
      int v = HexValue(c);
      if (v < 0) hex = false;
      value = value * 16 + (v < 0 ? 0 : v);
    }
    if (hex && value >= 1 && value <= 255) out += static_cast<char>(value);
  }
  return out;
}

TURI TURI::SplitUri(const std::string& target) {
  TURI u;
  std::string text = target;
  for (char& c : text)
    if (c == '\\') c = '/';
  if (text.empty()) return u;
  size_t scheme = text.find("://");
  if (scheme != std::string::npos) {
    u.SchemePart = text.substr(0, scheme);
    text.erase(0, scheme + 3);
    size_t slash = text.find('/');
    std::string authority = text.substr(0, slash);
    text = slash == std::string::npos ? std::string() : text.substr(slash + 1);
    size_t at = authority.find('@');
    if (at != std::string::npos) {
      std::string user = authority.substr(0, at);
      size_t colon = user.find(':');
      u.UserPart = user.substr(0, colon);
      u.PasswordPart = colon == std::string::npos ? std::string() : user.substr(colon + 1);
      if (u.UserPart.empty()) u.PasswordPart.clear();
      authority.erase(0, at + 1);
    }
    size_t colon = authority.find(':');
    u.HostPart = authority.substr(0, colon);
    u.PortPart = colon == std::string::npos ? std::string() : authority.substr(colon + 1);
    std::string dir, doc;
    SplitPath(text, dir, doc, u.ParamPart);
    u.DirPart = "/" + dir;
    size_t hash = doc.find('#');
    u.DocPart = doc.substr(0, hash);
    if (hash != std::string::npos) u.FragmentPart = doc.substr(hash + 1);
  } else {
    SplitPath(text, u.DirPart, u.DocPart, u.ParamPart);
  }
  if (u.FragmentPart.empty()) {
    size_t hash = u.ParamPart.find('#');
    if (hash != std::string::npos) {
      u.FragmentPart = u.ParamPart.substr(hash + 1);
      u.ParamPart.erase(hash);
    }
  }
  return u;
}

}  // namespace tamsel
