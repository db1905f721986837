#include "platform/datetime.h"

#include <chrono>
#include <cmath>

namespace tamsel {

namespace {
using namespace std::chrono;

constexpr sys_days kEpoch = sys_days{year{1899} / December / 30};

int64_t Days(TDateTime value) { return static_cast<int64_t>(std::trunc(value)); }

// Milliseconds of the time-of-day part, rounded to the nearest millisecond.
int64_t DayMilliseconds(TDateTime value) {
  double frac = std::fabs(value - std::trunc(value));
  int64_t ms = std::llround(frac * kMillisecondsPerDay);
  return ms >= 86400000 ? 86399999 : ms;
}
}  // namespace

bool IsLeapYear(int y) noexcept { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool TryEncodeDate(int y, int m, int d, TDateTime& out) noexcept {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  year_month_day ymd{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
  if (!ymd.ok()) return false;
  out = static_cast<double>((sys_days{ymd} - kEpoch).count());
  return true;
}

bool TryEncodeTime(int h, int m, int s, int ms, TDateTime& out) noexcept {
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) return false;
  out = (((h * 60.0 + m) * 60.0 + s) * 1000.0 + ms) / kMillisecondsPerDay;
  return true;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) noexcept {
  return date < 0 ? date - time : date + time;
}

DateParts DecodeDate(TDateTime value) noexcept {
  year_month_day ymd{kEpoch + days{Days(value)}};
  return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

TimeParts DecodeTime(TDateTime value) noexcept {
  int64_t ms = DayMilliseconds(value);
  return {static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
          static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000)};
}

int DayOfWeek(TDateTime value) noexcept {
  weekday wd{kEpoch + days{Days(value)}};
  return static_cast<int>(wd.c_encoding()) + 1;
}

TDateTime UnixToUtc(int64_t seconds, int milliseconds) noexcept {
  constexpr int64_t kUnixDay = 25569;  // 1970-01-01 as a day number
  int64_t day = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t rest = seconds - day * 86400;
  return static_cast<double>(kUnixDay + day) + (rest * 1000.0 + milliseconds) / kMillisecondsPerDay;
}

TDateTime UnixToLocal(int64_t seconds, int milliseconds) noexcept {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  localtime_r(&t, &tm);
  return UnixToUtc(seconds + tm.tm_gmtoff, milliseconds);
}

TDateTime Now() noexcept {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  return UnixToLocal(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

int64_t LocalToUnix(TDateTime value) noexcept {
  DateParts d = DecodeDate(value);
  TimeParts t = DecodeTime(value);
  struct tm tm {};
  tm.tm_year = d.year - 1900;
  tm.tm_mon = d.month - 1;
  tm.tm_mday = d.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&tm));
}

int LocalOffsetMinutes(TDateTime local) noexcept {
  time_t t = static_cast<time_t>(LocalToUnix(local));
  struct tm tm {};
  localtime_r(&t, &tm);
  return static_cast<int>(tm.tm_gmtoff / 60);
}

int64_t UtcToUnix(TDateTime utc) noexcept {
  constexpr double kUnixDay = 25569.0;
  return static_cast<int64_t>(std::floor((utc - kUnixDay) * kSecondsPerDay + 0.0005));
}

int64_t UnixOffsetSeconds(int64_t seconds) noexcept {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  localtime_r(&t, &tm);
  return tm.tm_gmtoff;
}

TDateTime UtcNow() noexcept {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  return UnixToUtc(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

}  // namespace tamsel
