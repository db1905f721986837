// Date-time values: a double counting days since 1899-12-30 in local
// wall-clock time, the fraction being the time of day; 0 means "not set".
#pragma once

#include <cstdint>
#include <ctime>

namespace tamsel {

using TDateTime = double;

constexpr double kMillisecondsPerDay = 86400000.0;
constexpr double kSecondsPerDay = 86400.0;

// Calendar date to a day number; false when the date does not exist (years 1..9999).
bool TryEncodeDate(int year, int month, int day, TDateTime& out) noexcept;
// Time of day to a day fraction; false for an impossible time.
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& out) noexcept;

// A day number plus a time of day; before the epoch the time counts away
// from zero, as DecodeDate/DecodeTime read it.
TDateTime ComposeDateTime(TDateTime date, TDateTime time) noexcept;

struct DateParts {
  int year, month, day;
};
struct TimeParts {
  int hour, minute, second, millisecond;
};
DateParts DecodeDate(TDateTime value) noexcept;
TimeParts DecodeTime(TDateTime value) noexcept;
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value) noexcept;
bool IsLeapYear(int year) noexcept;

// The current local wall-clock time.
TDateTime Now() noexcept;
// A moment given as seconds since the Unix epoch, in local wall-clock time.
TDateTime UnixToLocal(int64_t seconds, int milliseconds = 0) noexcept;
// The same moment in UTC.
TDateTime UnixToUtc(int64_t seconds, int milliseconds = 0) noexcept;
// Seconds since the Unix epoch of a local wall-clock value (inverse of UnixToLocal).
int64_t LocalToUnix(TDateTime value) noexcept;
// Minutes east of UTC of the local zone at the given local wall-clock moment.
int LocalOffsetMinutes(TDateTime local) noexcept;
// Seconds since the Unix epoch of a UTC value (inverse of UnixToUtc).
int64_t UtcToUnix(TDateTime utc) noexcept;
// Seconds east of UTC of the local zone at a moment given in Unix seconds.
int64_t UnixOffsetSeconds(int64_t seconds) noexcept;
// The current time in UTC.
TDateTime UtcNow() noexcept;

}  // namespace tamsel
