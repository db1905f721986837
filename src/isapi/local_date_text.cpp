#include "isapi/local_date_text.h"

#include <cctype>
#include <string>

#include "platform/text.h"

namespace tamsel {

namespace {

// Reads exactly `digits` decimal digits at `pos`.
bool Number(std::string_view text, size_t& pos, size_t digits, int& out) {
  if (pos + digits > text.size()) return false;
  out = 0;
  for (size_t i = 0; i < digits; ++i) {
    char c = text[pos + i];
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    out = out * 10 + (c - '0');
  }
  pos += digits;
  return true;
}

bool Expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

bool TryReadLocalDateTime(std::string_view input, TDateTime& value) {
  std::string trimmed = Trim(input);
  std::string_view text = trimmed;
  size_t pos = 0;
  int year, month, day, hour = 0, minute = 0, second = 0;
  if (!Number(text, pos, 4, year) || !Expect(text, pos, '-') || !Number(text, pos, 2, month) ||
      !Expect(text, pos, '-') || !Number(text, pos, 2, day))
    return false;
  if (pos < text.size()) {
    if (!Expect(text, pos, ' ') || !Number(text, pos, 2, hour) || !Expect(text, pos, ':') ||
        !Number(text, pos, 2, minute))
      return false;
    if (pos < text.size() && (!Expect(text, pos, ':') || !Number(text, pos, 2, second))) return false;
    if (pos != text.size()) return false;
  }
  TDateTime date, time;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time)) return false;
  value = date + time;
  return true;
}

}  // namespace tamsel
