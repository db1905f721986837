#include "platform/local_format.h"

#include <cstdio>

#include "platform/text.h"

namespace tamsel {

std::string FormatDateTimeText(TDateTime value) {
  DateParts d = DecodeDate(value);
  return Format("%04d-%02d-%02d ", d.year, d.month, d.day) + FormatTimeText(value);
}

std::string FormatTimeText(TDateTime value) {
  TimeParts t = DecodeTime(value);
  return Format("%02d:%02d:%02d", t.hour, t.minute, t.second);
}

bool TryParseDateTimeText(const std::string& text, TDateTime& value) {
  int y, mo, d, h, mi, s, used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 ||
      static_cast<size_t>(used) != text.size())
    return false;
  TDateTime date, time;
  if (!TryEncodeDate(y, mo, d, date) || !TryEncodeTime(h, mi, s, 0, time)) return false;
  value = date + time;
  return true;
}

}  // namespace tamsel
