// Byte-string helpers used throughout: ASCII case mapping, trimming, number
// reading and the text splitter the engine parses everything with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamsel {

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b) noexcept;  // ASCII letters without case

// Trimming removes characters at or below the space character.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

// The piece of `text` before the first `delimiter`; with `remove`, `text`
// becomes what follows it. Without the delimiter the piece is the whole text
// and, with `remove`, `text` becomes empty.
std::string SplitAtFirst(std::string& text, std::string_view delimiter, bool remove = true);

// Reads a decimal integer (optional sign, digits only, fits 32 bits); `fallback` otherwise.
int32_t StrToIntDef(std::string_view text, int32_t fallback) noexcept;
// The same for 64-bit values.
int64_t StrToInt64Def(std::string_view text, int64_t fallback) noexcept;

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tamsel
