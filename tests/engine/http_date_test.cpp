// HTTP date texts: writing in several zones, the tolerant reader and the
// zone handling around it.
#include "engine/http_date.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/scoped_time_zone.h"

namespace tamsel {
namespace {

using test::ScopedTimeZone;

constexpr const char* kEast = "CET-1CEST,M3.5.0,M10.5.0/3";  // +1, +2 in summer
constexpr const char* kWest = "EST5";                        // -5 all year
constexpr const char* kUtc = "UTC0";
constexpr const char* kIndia = "IST-5:30";

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  TDateTime date = 0, time = 0;
  EXPECT_TRUE(TryEncodeDate(y, mo, d, date));
  EXPECT_TRUE(TryEncodeTime(h, mi, s, 0, time));
  return ComposeDateTime(date, time);
}

TEST(HttpDateNames, MatchWholeThreeLetterTokensInAnyCase) {
  struct Case {
    const char* token;
    int day, month;
  } cases[] = {
      {"Sun", 1, 0}, {"sat", 7, 0}, {"WED", 4, 0}, {"Jan", 0, 1},  {"dec", 0, 12},
      {"Sunday", 0, 0}, {"Su", 0, 0}, {"", 0, 0},  {"Mayx", 0, 0}, {"may", 0, 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DayFromName(c.token), c.day) << c.token;
    EXPECT_EQ(MonthFromName(c.token), c.month) << c.token;
  }
}

TEST(HttpDateFormat, GmtAndZonedTextsInZonesEastWestAndUtc) {
  struct Case {
    const char* zone;
    TDateTime value;
    const char* gmt;
    const char* zoned;
  } cases[] = {
      {kWest, At(2005, 1, 1), "Sat, 01 Jan 2005 00:00:00 GMT", "Sat, 1 Jan 2005 00:00:00 -0500"},
      {kUtc, At(2005, 1, 1), "Sat, 01 Jan 2005 00:00:00 GMT", "Sat, 1 Jan 2005 00:00:00 +0000"},
      {kEast, At(2005, 1, 1), "Sat, 01 Jan 2005 00:00:00 GMT", "Sat, 1 Jan 2005 00:00:00 +0100"},
      {kEast, At(1994, 11, 6, 8, 49, 37), "Sun, 06 Nov 1994 08:49:37 GMT",
       "Sun, 6 Nov 1994 08:49:37 +0100"},
      // The offset is the one in force at the moment written, not today's.
      {kEast, At(2021, 6, 9, 10, 18, 14), "Wed, 09 Jun 2021 10:18:14 GMT",
       "Wed, 9 Jun 2021 10:18:14 +0200"},
      {kIndia, At(999, 12, 31, 23, 59, 59), "Tue, 31 Dec 0999 23:59:59 GMT",
       "Tue, 31 Dec 999 23:59:59 +0530"},
  };
  for (const Case& c : cases) {
    ScopedTimeZone tz(c.zone);
    EXPECT_EQ(FormatGmtDate(c.value), c.gmt) << c.zone;
    EXPECT_EQ(FormatZonedDate(c.value, false), c.zoned) << c.zone;
  }
}

TEST(HttpDateFormat, GmtFlagOnlyNamesAZeroOffset) {
  {
    ScopedTimeZone tz(kUtc);
    EXPECT_EQ(FormatZonedDate(At(2005, 1, 1), true), "Sat, 1 Jan 2005 00:00:00 GMT");
  }
  ScopedTimeZone tz(kWest);
  EXPECT_EQ(FormatZonedDate(At(2005, 1, 1), true), "Sat, 1 Jan 2005 00:00:00 -0500");

  struct Case {
    TDateTime offset;
    bool gmt;
    const char* text;
  } cases[] = {
      {0, true, "GMT"},           {0, false, "+0000"},          {-5.0 / 24, false, "-0500"},
      {5.5 / 24, true, "+0530"},  {-3.75 / 24, true, "-0345"},  {14.0 / 24, false, "+1400"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatZoneText(c.offset, c.gmt), c.text) << c.offset;
}

TEST(HttpDateZone, OffsetAndBiasHaveOppositeSigns) {
  struct Case {
    const char* zone;
    double hours;
  } cases[] = {{kWest, -5}, {kUtc, 0}, {kIndia, 5.5}, {"JST-9", 9}};
  for (const Case& c : cases) {
    ScopedTimeZone tz(c.zone);
    EXPECT_NEAR(ZoneOffset(), c.hours / 24, 1e-12) << c.zone;
    EXPECT_NEAR(ZoneBias(), -c.hours / 24, 1e-12) << c.zone;
  }
  ScopedTimeZone tz(kEast);
  EXPECT_NEAR(ZoneOffsetAtUtc(At(2021, 6, 9, 10)), 2.0 / 24, 1e-12);
  EXPECT_NEAR(ZoneOffsetAtUtc(At(2021, 1, 9, 10)), 1.0 / 24, 1e-12);
  EXPECT_NEAR(ZoneOffsetAtLocal(At(2021, 6, 9, 10)), 2.0 / 24, 1e-12);
}

// Every input form of 6 Nov 1994 08:49:37 UTC reads as the same local moment.
TEST(HttpDateParse, AllInputFormsGiveTheSameLocalMoment) {
  const char* forms[] = {
      "Sun, 06 Nov 1994 08:49:37 GMT",  "Sunday, 06-Nov-94 08:49:37 GMT",
      "Sun Nov  6 08:49:37 1994",       "Sun,06 Nov 1994 08:49:37 GMT",
      "sun, 06 nov 1994 08:49:37 gmt",  "  06 Nov 1994 08:49:37  ",
      "Nov 06 1994 08:49:37 UTC",       "Sun, 06 Nov 1994 10:49:37 +0200",
  };
  struct Zone {
    const char* zone;
    const char* local;
  } zones[] = {
      {kEast, "Sun, 06 Nov 1994 09:49:37 GMT"},
      {kWest, "Sun, 06 Nov 1994 03:49:37 GMT"},
      {kUtc, "Sun, 06 Nov 1994 08:49:37 GMT"},
      {kIndia, "Sun, 06 Nov 1994 14:19:37 GMT"},
  };
  for (const Zone& z : zones) {
    ScopedTimeZone tz(z.zone);
    for (const char* form : forms)
      EXPECT_EQ(FormatGmtDate(ParseDateToLocal(form)), z.local) << z.zone << " / " << form;
  }
}

TEST(HttpDateParse, NumericZonesShiftNamedZonesCountAsUtc) {
  struct Case {
    const char* zone;
    const char* text;
    const char* local;
  } cases[] = {
      {kUtc, "06 Nov 1994 08:49:37 +0200", "Sun, 06 Nov 1994 06:49:37 GMT"},
      {kUtc, "06 Nov 1994 08:49:37 -0130", "Sun, 06 Nov 1994 10:19:37 GMT"},
      {kUtc, "06 Nov 1994 08:49:37 EST", "Sun, 06 Nov 1994 08:49:37 GMT"},
      {kUtc, "06 Nov 1994 08:49:37 GMT+0100", "Sun, 06 Nov 1994 08:49:37 GMT"},
      {kEast, "06 Nov 1994 08:49:37 +0200", "Sun, 06 Nov 1994 07:49:37 GMT"},
      // Summer time is applied for a summer moment.
      {kEast, "Wed, 09 Jun 2021 10:18:14 GMT", "Wed, 09 Jun 2021 12:18:14 GMT"},
      {kWest, "Sat, 01 Jan 2005 02:00:00 GMT", "Fri, 31 Dec 2004 21:00:00 GMT"},
  };
  for (const Case& c : cases) {
    ScopedTimeZone tz(c.zone);
    EXPECT_EQ(FormatGmtDate(ParseDateToLocal(c.text)), c.local) << c.zone << " / " << c.text;
  }
}

TEST(HttpDateParse, DatePartsYearsAndWhatIsLeftOver) {
  struct Case {
    const char* text;
    int year, month, day, hour, minute, second;
    const char* rest;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", 1994, 11, 6, 8, 49, 37, "GMT"},
      {"Sun, 06 Nov 1994 08:49:37   +0200", 1994, 11, 6, 8, 49, 37, "+0200"},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 1994, 11, 6, 8, 49, 37, "GMT"},
      {"Sun Nov  6 08:49:37 1994", 1994, 11, 6, 8, 49, 37, ""},
      // Two-digit years: below 80 in this century, 80..99 in the last.
      {"06 Nov 49 08:49:37", 2049, 11, 6, 8, 49, 37, ""},
      {"06 Nov 79 08:49:37", 2079, 11, 6, 8, 49, 37, ""},
      {"06 Nov 80 08:49:37", 1980, 11, 6, 8, 49, 37, ""},
      {"06 Nov 99 08:49:37", 1999, 11, 6, 8, 49, 37, ""},
      {"06 Nov 00 08:49:37", 2000, 11, 6, 8, 49, 37, ""},
      // A year of 1900 sends the reader looking for the year after it, and
      // the time of day is lost.
      {"06 Nov 1900 08:49:37 GMT", 1900, 11, 6, 0, 0, 0, "1900"},
      {"06 Nov 1900 1994", 1994, 11, 6, 0, 0, 0, "1900"},
      // Unreadable numbers fall back: day 1, time parts 0.
      {"xx Nov 1994 08:49:37", 1994, 11, 1, 8, 49, 37, ""},
      {"06 Nov 1994 8:5", 1994, 11, 6, 8, 5, 0, ""},
      {"06 Nov 1994 08:xx:37", 1994, 11, 6, 8, 0, 37, ""},
      {"29 Feb 2000", 2000, 2, 29, 0, 0, 0, ""},
      // Before the epoch the time of day still reads back as written.
      {"Fri, 29 Dec 1899 06:30:00 GMT", 1899, 12, 29, 6, 30, 0, "GMT"},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    TDateTime value = ParseDateText(text);
    ASSERT_NE(value, 0) << c.text;
    DateParts d = DecodeDate(value);
    TimeParts t = DecodeTime(value);
    EXPECT_EQ(d.year, c.year) << c.text;
    EXPECT_EQ(d.month, c.month) << c.text;
    EXPECT_EQ(d.day, c.day) << c.text;
    EXPECT_EQ(t.hour, c.hour) << c.text;
    EXPECT_EQ(t.minute, c.minute) << c.text;
    EXPECT_EQ(t.second, c.second) << c.text;
    EXPECT_EQ(text, c.rest) << c.text;
  }
}

TEST(HttpDateParse, UnreadableDatesGiveZeroThenTheZoneOffset) {
  const char* unreadable[] = {
      "",        "   \t",    "garbage", "06 Foo 1994 08:49:37 GMT", "Sun, ",
      "31 Feb 1994 08:00:00", "29 Feb 1900", "06 Nov 1994 25:00:00", "06 Nov 1994 08:60:00",
  };
  for (const char* text : unreadable) {
    std::string copy = text;
    EXPECT_EQ(ParseDateText(copy), 0) << text;
  }
  struct Zone {
    const char* zone;
    double hours;
  } zones[] = {{kWest, -5}, {kUtc, 0}, {"JST-9", 9}, {kIndia, 5.5}};
  for (const Zone& z : zones) {
    ScopedTimeZone tz(z.zone);
    EXPECT_NEAR(ParseDateToLocal(""), z.hours / 24, 1e-12) << z.zone;
    EXPECT_NEAR(ParseDateToLocal("06 Foo 1994 08:49:37 GMT"), z.hours / 24, 1e-12) << z.zone;
  }
}

TEST(HttpDateParse, ZoneTexts) {
  struct Case {
    const char* text;
    double hours;
  } cases[] = {
      {"+0200", 2},   {"-0130", -1.5}, {"  +0100 x", 1}, {"+2359", 23 + 59.0 / 60},
      {"+2400", 0},   {"+0160", 0},    {"+01ab", 0},     {"+01", 0},
      {"GMT", 0},     {"0100", 0},     {"", 0},          {"-0000", 0},
  };
  for (const Case& c : cases) EXPECT_NEAR(ParseZoneText(c.text), c.hours / 24, 1e-12) << c.text;
}

}  // namespace
}  // namespace tamsel
