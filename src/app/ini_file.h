// Reader of settings files made of "[SECTION]" lines and KEY=value lines:
// names without regard to letter case, quoted values, hexadecimal integers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

class TIniFile {
 public:
  // Longest value handed out; longer values are cut to this many characters.
  static constexpr size_t kMaxValueLength = 2047;

  // Reads the file at `path` once. A file that does not exist or cannot be
  // read behaves as an empty one: every read gives its default.
  static TIniFile Load(const std::string& path);
  // The same rules applied to text held in memory.
  static TIniFile FromText(std::string_view text);

  // The value of `key` in `section`: the text after the first "=", blanks
  // around it removed, one pair of enclosing single or double quotes removed,
  // cut to kMaxValueLength. Absent key: nullopt. Present but empty: "".
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& fallback) const;
  // "0x" or "0X" followed by hexadecimal digits (text longer than two
  // characters), otherwise a signed decimal; anything else gives `fallback`.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const;
  // Read as an integer: 0 is false, any other number true.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  // The integer rule above, on its own.
  static int32_t TextToInteger(std::string_view text, int32_t fallback) noexcept;

 private:
  struct Entry {
    std::string section;
    std::string key;
    std::string value;
  };
  std::vector<Entry> entries_;
};

}  // namespace tamsel
