// Date fields of the header records: read from request lines, written into
// response lines.
#include <gtest/gtest.h>

#include "engine/http_date.h"
#include "engine/http_records.h"
#include "support/scoped_time_zone.h"

namespace tamsel {
namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  TDateTime date = 0, time = 0;
  EXPECT_TRUE(TryEncodeDate(y, mo, d, date));
  EXPECT_TRUE(TryEncodeTime(h, mi, s, 0, time));
  return date + time;
}

TEST(RecordDates, RequestDateLinesAreReadAsLocalTime) {
  test::ScopedTimeZone tz("EST5");
  THTTPRequestInfo r;
  r.HeaderLines.Add("Date: Sun, 06 Nov 1994 08:49:37 GMT");
  r.HeaderLines.Add("Last-Modified: Sunday, 06-Nov-94 10:49:37 +0200");
  r.HeaderLines.Add("Expires: Sun Nov  6 08:49:37 1994");
  r.ParseHeaderLines();
  EXPECT_EQ(FormatGmtDate(r.Date), "Sun, 06 Nov 1994 03:49:37 GMT");  // local, as written
  EXPECT_EQ(FormatGmtDate(r.LastModified), "Sun, 06 Nov 1994 03:49:37 GMT");
  EXPECT_EQ(FormatGmtDate(r.Expires), "Sun, 06 Nov 1994 03:49:37 GMT");
}

TEST(RecordDates, ExpiresAsWholeSecondsCountsFromNow) {
  struct Case {
    const char* value;
    double seconds;
  } cases[] = {{"3600", 3600}, {"172800", 172800}, {"0", 0}, {"-60", -60}};
  for (const Case& c : cases) {
    THTTPRequestInfo r;
    r.HeaderLines.Add(std::string("Expires: ") + c.value);
    TDateTime before = Now();
    r.ParseHeaderLines();
    TDateTime after = Now();
    EXPECT_GE(r.Expires, before + c.seconds / kSecondsPerDay) << c.value;
    EXPECT_LE(r.Expires, after + c.seconds / kSecondsPerDay) << c.value;
  }
  // -1 and absent lines go to the date reader, which gives the zone offset.
  test::ScopedTimeZone tz("EST5");
  for (const char* line : {"Expires: -1", "Expires: soon", "X-Other: 1"}) {
    THTTPRequestInfo r;
    r.HeaderLines.Add(line);
    r.ParseHeaderLines();
    EXPECT_NEAR(r.Expires, -5.0 / 24, 1e-12) << line;
    EXPECT_NEAR(r.Date, -5.0 / 24, 1e-12) << line;
  }
}

TEST(RecordDates, ResponseDateLinesInTheirPlaces) {
  struct Case {
    const char* zone;
    std::vector<std::string> lines;
  } cases[] = {
      {"EST5",
       {"Connection: close", "Content-Type: text/html", "Content-Length: 2",
        "Date: Sat, 1 Jan 2005 00:00:00 -0500", "Expires: Sun, 2 Jan 2005 12:00:00 -0500",
        "Last-Modified: Sun, 06 Nov 1994 13:49:37 GMT", "Pragma: no-cache", "Server: S"}},
      {"UTC0",
       {"Connection: close", "Content-Type: text/html", "Content-Length: 2",
        "Date: Sat, 1 Jan 2005 00:00:00 +0000", "Expires: Sun, 2 Jan 2005 12:00:00 +0000",
        "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT", "Pragma: no-cache", "Server: S"}},
  };
  for (const Case& c : cases) {
    test::ScopedTimeZone tz(c.zone);
    THTTPResponseInfo r(nullptr);
    r.SetCloseAfterReply(true);
    r.SetContentLength(2);
    r.Date = At(2005, 1, 1);
    r.Expires = At(2005, 1, 2, 12);
    r.LastModified = At(1994, 11, 6, 8, 49, 37);  // local wall-clock time
    r.Pragma = "no-cache";
    r.Server = "S";
    r.ComposeHeaderLines();
    EXPECT_EQ(r.HeaderLines.Lines(), c.lines) << c.zone;
  }
}

}  // namespace
}  // namespace tamsel
