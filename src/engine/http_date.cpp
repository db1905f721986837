#include "engine/http_date.h"

#include <cmath>
#include <cstdlib>

#include "platform/text.h"

namespace tamsel {

const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

const char* const kDayTokens[7] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
const char* const kMonthTokens[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                      "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

template <size_t N>
int FindToken(const char* const (&tokens)[N], std::string_view token) {
  if (token.size() != 3) return 0;
  std::string upper = UpperCase(token);
  for (size_t i = 0; i < N; ++i)
    if (upper == tokens[i]) return static_cast<int>(i) + 1;
  return 0;
}

std::string TimeText(const TimeParts& t) {
  return Format("%.2d:%.2d:%.2d", t.hour, t.minute, t.second);
}

TDateTime OffsetFromSeconds(int64_t seconds) {
  // Whole minutes only, as the zone texts carry them.
  return static_cast<double>(seconds / 60) / 1440.0;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int DayFromName(std::string_view token) { return FindToken(kDayTokens, token); }
int MonthFromName(std::string_view token) { return FindToken(kMonthTokens, token); }

std::string FormatGmtDate(TDateTime value) {
  DateParts d = DecodeDate(value);
  TimeParts t = DecodeTime(value);
  return Format("%s, %.2d %s %.4d %s %s", kDayNames[DayOfWeek(value) - 1], d.day,
                kMonthNames[d.month - 1], d.year, TimeText(t).c_str(), "GMT");
}

std::string FormatZonedDate(TDateTime value, bool gmtWhenZero) {
  DateParts d = DecodeDate(value);
  TimeParts t = DecodeTime(value);
  return Format("%s, %d %s %d %s %s", kDayNames[DayOfWeek(value) - 1], d.day,
                kMonthNames[d.month - 1], d.year, TimeText(t).c_str(),
                FormatZoneText(ZoneOffsetAtLocal(value), gmtWhenZero).c_str());
}

std::string FormatZoneText(TDateTime offset, bool gmtWhenZero) {
  if (offset == 0 && gmtWhenZero) return "GMT";
  TimeParts t = DecodeTime(std::fabs(offset));
  std::string text = Format(" %.2d%.2d", t.hour, t.minute);
  text[0] = offset >= 0 ? '+' : '-';
  return text;
}

TDateTime ZoneOffset() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  return OffsetFromSeconds(UnixOffsetSeconds(ts.tv_sec));
}

TDateTime ZoneOffsetAtLocal(TDateTime local) {
  return OffsetFromSeconds(static_cast<int64_t>(LocalOffsetMinutes(local)) * 60);
}

TDateTime ZoneOffsetAtUtc(TDateTime utc) {
  return OffsetFromSeconds(UnixOffsetSeconds(UtcToUnix(utc)));
}

TDateTime ZoneBias() { return -ZoneOffset(); }

TDateTime LocalToGmt(TDateTime local) { return local - ZoneOffsetAtLocal(local); }

TDateTime ParseDateText(std::string& text) {
  text = Trim(text);
  if (text.empty()) return 0;

  // A leading day name (with or without a blank after its comma) is dropped.
  if (text.size() >= 3 && DayFromName(std::string_view(text).substr(0, 3)) != 0) {
    if (text.size() >= 4 && text[3] == ',' && (text.size() < 5 || text[4] != ' '))
      text.insert(4, " ");
    SplitAtFirst(text, " ");
    text = TrimLeft(text);
  }

  // "06-Nov-94" separates with dashes, the other forms with blanks.
  std::string separator = " ";
  size_t dash = text.find('-');
  size_t blank = text.find(' ');
  if (dash != std::string::npos && dash >= 1 && blank != std::string::npos && dash < blank)
    separator = "-";

  int day = 1;
  int month = 0;
  auto takeDay = [&] {
    day = StrToIntDef(SplitAtFirst(text, separator), 1);
    text = TrimLeft(text);
  };
  auto takeMonth = [&] {
    month = MonthFromName(SplitAtFirst(text, separator));
    text = TrimLeft(text);
  };
  std::string first = SplitAtFirst(text, separator, false);
  if (MonthFromName(first) != 0) {
    takeMonth();
    takeDay();
  } else {
    takeDay();
    takeMonth();
  }

  std::string yearPiece = SplitAtFirst(text, " ");
  int year = StrToIntDef(yearPiece, 1900);
  if (year == 1900) {
    // asctime puts the time before the year.
    year = StrToIntDef(Trim(text), 1900);
    text = yearPiece;
  }
  if (year < 80)
    year += 2000;
  else if (year <= 99)
    year += 1900;

  TDateTime date = 0;
  if (!TryEncodeDate(year, month, day, date)) return 0;

  if (text.find(':') != std::string::npos) {
    std::string clock = SplitAtFirst(text, " ");
    int hour = StrToIntDef(SplitAtFirst(clock, ":"), 0);
    int minute = StrToIntDef(SplitAtFirst(clock, ":"), 0);
    int second = StrToIntDef(SplitAtFirst(clock, " "), 0);
    TDateTime time = 0;
    if (!TryEncodeTime(hour, minute, second, 0, time)) return 0;
    date = ComposeDateTime(date, time);
  }
  text = TrimLeft(text);
  return date;
}

TDateTime ParseZoneText(std::string_view text) {
  std::string zone = Trim(text).substr(0, 5);
  if (zone.size() < 5 || (zone[0] != '+' && zone[0] != '-')) return 0;
  for (size_t i = 1; i < 5; ++i)
    if (!IsDigit(zone[i])) return 0;
  int hours = (zone[1] - '0') * 10 + (zone[2] - '0');
  int minutes = (zone[3] - '0') * 10 + (zone[4] - '0');
  TDateTime offset = 0;
  if (!TryEncodeTime(hours, minutes, 0, 0, offset)) return 0;
  return zone[0] == '-' ? -offset : offset;
}

TDateTime ParseDateToLocal(std::string_view text) {
  std::string rest(text);
  TDateTime date = ParseDateText(rest);
  TDateTime zone = rest.size() > 4 ? ParseZoneText(rest) : 0;
  TDateTime utc = date - zone;
  // An unreadable date has no moment of its own: it takes today's offset.
  return utc + (date == 0 ? ZoneOffset() : ZoneOffsetAtUtc(utc));
}

}  // namespace tamsel
