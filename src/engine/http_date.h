// HTTP date texts: the GMT and numeric-zone forms written in headers and
// cookies, and the tolerant reader for RFC 1123, RFC 850 and asctime dates.
#pragma once

#include <string>
#include <string_view>

#include "platform/datetime.h"
#include "platform/errors.h"

namespace tamsel {

TAMSEL_FIXED_EXCEPTION(EFailedToRetreiveTimeZoneInfo, EEngineException,
                       "Failed attempting to retrieve time zone information.");

// English names written in date texts (Sunday first, January first).
extern const char* const kDayNames[7];
extern const char* const kMonthNames[12];

// 1..7 (Sunday = 1) or 1..12 for a whole three-letter name in any case; 0 otherwise.
int DayFromName(std::string_view token);
int MonthFromName(std::string_view token);

// "Sun, 06 Nov 1994 08:49:37 GMT": the value as it stands, no zone conversion.
std::string FormatGmtDate(TDateTime value);
// "Sun, 6 Nov 1994 08:49:37 +0100": a local value with the zone offset in
// force at that moment ("GMT" for a zero offset when `gmtWhenZero`).
std::string FormatZonedDate(TDateTime value, bool gmtWhenZero);
// "+hhmm" / "-hhmm" of an offset given as a fraction of a day.
std::string FormatZoneText(TDateTime offset, bool gmtWhenZero);

// Local time minus UTC as a fraction of a day, whole minutes: now, or at a
// local wall-clock moment, or at a UTC moment.
TDateTime ZoneOffset();
TDateTime ZoneOffsetAtLocal(TDateTime local);
TDateTime ZoneOffsetAtUtc(TDateTime utc);
// UTC minus local time as a fraction of a day (positive west of UTC), now.
TDateTime ZoneBias();
// The UTC value of a local wall-clock value (for texts labelled GMT).
TDateTime LocalToGmt(TDateTime local);

// Reads the date and time at the start of `text`, leaving the zone part in
// it; 0 for anything unreadable. Never raises.
TDateTime ParseDateText(std::string& text);
// "+hhmm" / "-hhmm" at the start of the trimmed text; 0 for anything else.
TDateTime ParseZoneText(std::string_view text);
// A date text with an optional numeric zone, as local wall-clock time. A
// missing or named zone counts as UTC; an unreadable date gives the zone
// offset itself.
TDateTime ParseDateToLocal(std::string_view text);

}  // namespace tamsel
