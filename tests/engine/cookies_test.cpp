// Cookies: splitting request "Cookie" values, reading attributes, the texts
// of the three cookie kinds and the collections.
#include "engine/cookies.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <utility>

#include "engine/http_date.h"
#include "support/scoped_time_zone.h"

namespace tamsel {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs NamesAndValues(const TCookies& cookies) {
  Pairs out;
  for (size_t i = 0; i < cookies.Count(); ++i)
    out.emplace_back(cookies.CookieAt(i).Name, cookies.CookieAt(i).Value);
  return out;
}

// "Sun, 6-Nov-1994 08:49:37 GMT" for a Unix moment, from the C library.
std::string GmtCookieDate(time_t moment) {
  struct tm tm {};
  gmtime_r(&moment, &tm);
  char buffer[64];
  strftime(buffer, sizeof buffer, "%a, %d-%b-%Y %H:%M:%S GMT", &tm);
  std::string text = buffer;
  if (text[5] == '0') text.erase(5, 1);  // day of the month without a leading zero
  return text;
}

TEST(RequestCookies, EveryPieceBecomesACookieInHeaderOrder) {
  struct Case {
    std::vector<std::string> headers;
    Pairs cookies;
  } cases[] = {
      {{"IDHTTPSESSIONID=abc; lang=de"}, {{"IDHTTPSESSIONID", "abc"}, {"lang", "de"}}},
      {{"a=1; b=2", "c=3"}, {{"a", "1"}, {"b", "2"}, {"c", "3"}}},
      {{"a=1; b=2;c=3"}, {{"a", "1"}, {"b", "2"}, {"c", "3"}}},
      // Blanks before a ";" stay in the value.
      {{"a=1 ;b=2"}, {{"a", "1 "}, {"b", "2"}}},
      // An empty piece still adds a cookie; a trailing ";" adds nothing.
      {{"a=1;;b=2"}, {{"a", "1"}, {"", ""}, {"b", "2"}}},
      {{"a=1;"}, {{"a", "1"}}},
      {{"a=1; "}, {{"a", "1"}}},
      {{"foo"}, {{"", ""}}},
      // Attribute-like pairs are cookies of their own; values keep "=" and case.
      {{"a=1; $Path=/; B=X=y"}, {{"a", "1"}, {"$Path", "/"}, {"B", "X=y"}}},
      {{""}, {}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    TServerCookies cookies;
    ReadRequestCookies(c.headers, cookies);
    EXPECT_EQ(NamesAndValues(cookies), c.cookies) << ::testing::PrintToString(c.headers);
  }
}

TEST(RequestCookies, FindFromIgnoresLetterCase) {
  TServerCookies cookies;
  ReadRequestCookies({"IDHTTPSESSIONID=abc; lang=De; idhttpsessionid=Second"}, cookies);
  struct Case {
    int first;
    const char* name;
    int index;
  } cases[] = {
      {0, "idhttpsessionid", 0}, {1, "IdHttpSessionId", 2}, {3, "idhttpsessionid", -1},
      {0, "LANG", 1},            {2, "lang", -1},           {0, "nope", -1},
      {10, "lang", -1},          {-1, "lang", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(cookies.FindFrom(c.first, c.name), c.index) << c.name;
  EXPECT_EQ(cookies.CookieAt(2).Value, "Second");
}

TEST(CookieParse, AttributesAndComposedText) {
  struct Case {
    const char* text;
    const char* name;
    const char* value;
    const char* path;
    const char* domain;
    bool secure;
    const char* composed;
  } cases[] = {
      {"a=b; Path=/x; Domain=example.test; secure", "a", "b", "/x", "example.test", true,
       "a=b; path=/x; domain=example.test; secure"},
      {"A=B; PATH=/Up", "A", "B", "/Up", "", false, "A=B; path=/Up"},
      {"a=b; path=\"/q\"", "a", "b", "/q", "", false, "a=b; path=/q"},
      {"a=b; path=\"", "a", "b", "", "", false, "a=b"},
      {"a=b; secure=1", "a", "b", "", "", false, "a=b"},
      {"a=b; Version=1; Comment=Hi There", "a", "b", "", "", false,
       "a=b; comment=Hi There; version=1"},
      {"a=b; Max-Age=abc", "a", "b", "", "", false, "a=b"},
      {"=v; x=1", "", "v", "", "", false, "=v"},
      {"foo; =bar", "", "bar", "", "", false, "=bar"},
      {"foo; path=/", "", "", "/", "", false, "path=/"},
      {"a=b\r\nPath=/y", "a", "b", "/y", "", false, "a=b; path=/y"},  // one attribute per line
      {"  a=b  ;  domain=d  ", "a", "b", "", "d", false, "a=b; domain=d"},
  };
  for (const Case& c : cases) {
    TCookies cookies;
    TCookieRFC2109& cookie = cookies.AddFromText(c.text);
    EXPECT_EQ(cookie.Name, c.name) << c.text;
    EXPECT_EQ(cookie.Value, c.value) << c.text;
    EXPECT_EQ(cookie.Path, c.path) << c.text;
    EXPECT_EQ(cookie.Domain, c.domain) << c.text;
    EXPECT_EQ(cookie.Secure, c.secure) << c.text;
    EXPECT_EQ(cookie.MaxAge, -1) << c.text;
    EXPECT_EQ(cookie.Flavor, TCookieFlavor::NetscapeForm) << c.text;
    EXPECT_EQ(cookie.SourceText, c.text);
    EXPECT_EQ(cookie.ComposeText(), c.composed) << c.text;
  }
}

TEST(CookieParse, SameTextTwiceChangesNothing) {
  TCookies cookies;
  TCookieRFC2109& cookie = cookies.AddFromText("a=b; Path=/x");
  cookie.Value = "changed";
  cookie.Path = "/moved";
  cookie.ParseText("a=b; Path=/x");
  EXPECT_EQ(cookie.Value, "changed");
  EXPECT_EQ(cookie.Path, "/moved");
  cookie.ParseText("a=c");
  EXPECT_EQ(cookie.Value, "c");
  EXPECT_EQ(cookie.Path, "");

  // An empty text on a new cookie is the text it already holds.
  TCookieRFC2109& empty = cookies.AddFromText("");
  EXPECT_EQ(empty.Name, "");
  EXPECT_EQ(empty.Flavor, TCookieFlavor::Rfc2109Form);
}

// A Set-Cookie line with Max-Age turns into an expiry with a numeric zone
// that is written instead of the max-age, in any local zone.
TEST(CookieParse, MaxAgeBecomesAZonedExpiry) {
  const std::regex zoned(R"(^(Sun|Mon|Tue|Wed|Thu|Fri|Sat), \d{1,2} [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4}$)");
  for (const char* zone : {"CET-1CEST,M3.5.0,M10.5.0/3", "EST5", "UTC0", "IST-5:30"}) {
    test::ScopedTimeZone tz(zone);
    TCookies cookies;
    TCookieRFC2109& cookie = cookies.AddFromText("a=b; Path=/x; Max-Age=60");
    EXPECT_EQ(cookie.Path, "/x") << zone;
    EXPECT_TRUE(cookie.MaxAge == 59 || cookie.MaxAge == 60) << zone << ": " << cookie.MaxAge;
    EXPECT_EQ(cookie.Flavor, TCookieFlavor::NetscapeForm) << zone;
    EXPECT_TRUE(std::regex_match(cookie.ExpiresText, zoned)) << zone << ": " << cookie.ExpiresText;
    EXPECT_EQ(cookie.ComposeText(), "a=b; path=/x; expires=" + cookie.ExpiresText) << zone;
    // The expiry reads back as a minute from now.
    double seconds = (ParseDateToLocal(cookie.ExpiresText) - Now()) * kSecondsPerDay;
    EXPECT_GT(seconds, 58) << zone;
    EXPECT_LE(seconds, 60) << zone;
  }
}

TEST(CookieParse, ExpiresKeepsTheRfcFormAndDropsMaxAge) {
  TCookies cookies;
  TCookieRFC2109& cookie = cookies.AddFromText("a=b; expires=Wed, 09 Jun 2021 10:18:14 GMT");
  EXPECT_EQ(cookie.Flavor, TCookieFlavor::Rfc2109Form);
  EXPECT_EQ(cookie.ExpiresText, "Wed, 09 Jun 2021 10:18:14 GMT");
  EXPECT_EQ(cookie.MaxAge, -1);
  EXPECT_EQ(cookie.ComposeText(), "a=b");

  // With both, max-age wins the field but the RFC form writes neither.
  TCookieRFC2109& both = cookies.AddFromText("a=b; expires=Wed, 09 Jun 2021 10:18:14 GMT; max-age=5");
  EXPECT_EQ(both.MaxAge, 5);
  EXPECT_EQ(both.ComposeText(), "a=b");
}

TEST(CookieExpiry, RfcSetExpiryDerivesMaxAgeFromTheDate) {
  test::ScopedTimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
  TCookieRFC2109 cookie;
  cookie.SetExpiry(FormatZonedDate(Now() + 1.0, false));
  EXPECT_GE(cookie.MaxAge, 86398);
  EXPECT_LE(cookie.MaxAge, 86400);
  cookie.SetExpiry("");
  EXPECT_EQ(cookie.ExpiresText, "");
  EXPECT_GE(cookie.MaxAge, 86398);  // an empty text leaves MaxAge alone

  TNetscapeCookie plain;
  plain.SetExpiry("Wed, 09 Jun 2021 10:18:14 GMT");
  EXPECT_EQ(plain.ExpiresText, "Wed, 09 Jun 2021 10:18:14 GMT");
}

TEST(CookieCompose, KindsAndEmptyValues) {
  TServerCookies cookies;
  TServerCookie& session = cookies.AddServerCookie();
  session.Name = "IDHTTPSESSIONID";
  session.Value = "0123ABCD";
  session.Path = "/";
  EXPECT_EQ(session.ServerText(), "IDHTTPSESSIONID=0123ABCD; path=/");

  TServerCookie& nameless = cookies.AddServerCookie();
  nameless.Name = "n";
  nameless.Path = "/";
  nameless.Secure = true;
  EXPECT_EQ(nameless.ServerText(), "path=/; secure");

  TCookieRFC2109& rfc = cookies.AddCookie();
  rfc.Name = "n";
  rfc.Value = "v";
  rfc.MaxAge = 30;
  rfc.Comment = "c";
  rfc.Version = "1";
  EXPECT_EQ(rfc.ServerText(), "n=v; max-age=30; comment=c; version=1");
  rfc.ExpiresText = "Wed, 09 Jun 2021 10:18:14 GMT";
  EXPECT_EQ(rfc.ServerText(), "n=v; comment=c; version=1");  // RFC form: no expires, no max-age
  rfc.Flavor = TCookieFlavor::NetscapeForm;
  EXPECT_EQ(rfc.ServerText(), "n=v; expires=Wed, 09 Jun 2021 10:18:14 GMT; comment=c; version=1");
}

TEST(CookieCompose, ServerCookieWritesMaxAgeAsAGmtExpiry) {
  for (int64_t maxAge : {int64_t{3600}, int64_t{0}, int64_t{86400 * 400}}) {
    TServerCookies cookies;
    TServerCookie& cookie = cookies.AddServerCookie();
    cookie.Name = "n";
    cookie.Value = "v";
    cookie.Path = "/";
    cookie.MaxAge = maxAge;
    test::ScopedTimeZone tz("EST5");  // the expiry is UTC whatever the local zone
    time_t before = time(nullptr);
    std::string text = cookies.CookieAt(0).ServerText();  // reached through the collection
    time_t after = time(nullptr);
    std::string expected1 = "n=v; path=/; expires=" + GmtCookieDate(before + maxAge);
    std::string expected2 = "n=v; path=/; expires=" + GmtCookieDate(after + maxAge);
    EXPECT_TRUE(text == expected1 || text == expected2) << text << " vs " << expected1;
    EXPECT_EQ(text.find("max-age"), std::string::npos);
  }
}

TEST(CookieCollections, MoveKeepsCookiesAndOrder) {
  TServerCookies first;
  ReadRequestCookies({"a=1; b=2"}, first);
  first.AddServerCookie().Name = "s";
  TServerCookies second = std::move(first);
  EXPECT_EQ(NamesAndValues(second), (Pairs{{"a", "1"}, {"b", "2"}, {"s", ""}}));
  TServerCookies third;
  third = std::move(second);
  EXPECT_EQ(third.Count(), 3u);
  EXPECT_THROW(third.CookieAt(3), std::out_of_range);
}

}  // namespace
}  // namespace tamsel
