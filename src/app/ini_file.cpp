#include "app/ini_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fd.h"
#include "platform/text.h"

namespace tamsel {

namespace {

std::string ReadWholeFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::string data;
  if (!fd.Valid()) return data;
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // a read error leaves what was read so far
    data.append(buffer, static_cast<size_t>(n));
  }
  return data;
}

std::string Unquote(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

TIniFile TIniFile::Load(const std::string& path) { return FromText(ReadWholeFile(path)); }

TIniFile TIniFile::FromText(std::string_view text) {
  TIniFile ini;
  std::string section;
  bool inSection = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n')
      ++start;

    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      section = Trim(std::string_view(line).substr(1, close == std::string::npos ? std::string::npos
                                                                                : close - 1));
      inSection = true;
      continue;
    }
    size_t eq = line.find('=');
    if (!inSection || eq == std::string::npos) continue;
    std::string value = Unquote(Trim(std::string_view(line).substr(eq + 1)));
    if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
    ini.entries_.push_back({section, Trim(std::string_view(line).substr(0, eq)), std::move(value)});
  }
  return ini;
}

std::optional<std::string> TIniFile::Find(std::string_view section, std::string_view key) const {
  for (const Entry& entry : entries_)
    if (SameText(entry.section, section) && SameText(entry.key, key)) return entry.value;
  return std::nullopt;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& fallback) const {
  std::optional<std::string> value = Find(section, key);
  return value ? *value : fallback;
}

int32_t TIniFile::TextToInteger(std::string_view text, int32_t fallback) noexcept {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    uint64_t value = 0;
    for (char c : text.substr(2)) {
      int digit = HexDigit(c);
      if (digit < 0) return fallback;
      value = value * 16 + static_cast<uint64_t>(digit);
      if (value > 0xFFFFFFFFu) return fallback;
    }
    // Eight hexadecimal digits fill the 32 bits, so 0xFFFFFFFF reads as -1.
    return static_cast<int32_t>(static_cast<uint32_t>(value));
  }
  return StrToIntDef(text, fallback);
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                              int32_t fallback) const {
  std::optional<std::string> value = Find(section, key);
  return value ? TextToInteger(*value, fallback) : fallback;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

}  // namespace tamsel
