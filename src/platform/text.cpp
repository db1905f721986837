#include "platform/text.h"

#include <cstdarg>
#include <cstdio>

namespace tamsel {

namespace {
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
bool Blank(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Upper(c);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

bool SameText(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && Blank(text[b])) ++b;
  while (e > b && Blank(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

std::string TrimLeft(std::string_view text) {
  size_t b = 0;
  while (b < text.size() && Blank(text[b])) ++b;
  return std::string(text.substr(b));
}

std::string TrimRight(std::string_view text) {
  size_t e = text.size();
  while (e > 0 && Blank(text[e - 1])) --e;
  return std::string(text.substr(0, e));
}

std::string SplitAtFirst(std::string& text, std::string_view delimiter, bool remove) {
  size_t at = delimiter.empty() ? std::string::npos : text.find(delimiter);
  if (at == std::string::npos) {
    std::string piece = std::move(text);
    text.clear();
    if (!remove) text = piece;
    return piece;
  }
  std::string piece = text.substr(0, at);
  if (remove) text.erase(0, at + delimiter.size());
  return piece;
}

int64_t StrToInt64Def(std::string_view text, int64_t fallback) noexcept {
  if (text.empty()) return fallback;
  size_t i = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size()) return fallback;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return fallback;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > (uint64_t{1} << 63)) return fallback;
  }
  if (!negative && value > static_cast<uint64_t>(INT64_MAX)) return fallback;
  return negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) noexcept {
  if (text.size() > 12) return fallback;
  int64_t value = StrToInt64Def(text, INT64_MIN);
  if (value == INT64_MIN || value < INT32_MIN || value > INT32_MAX) return fallback;
  return static_cast<int32_t>(value);
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n));
    std::vsnprintf(out.data(), out.size() + 1, format, args);
  }
  va_end(args);
  return out;
}

}  // namespace tamsel
