#include "engine/http_records.h"

#include <gtest/gtest.h>

namespace tamsel {
namespace {

TEST(RequestRecord, ParsesContentLengthAndRange) {
  struct Case {
    const char* length;
    int64_t value;
    bool given;
  } lengths[] = {{" 42 ", 42, true}, {"abc", -1, false}, {"0", 0, true}, {"99999999999", -1, false}, {nullptr, -1, false}};
  for (const auto& c : lengths) {
    THTTPRequestInfo r;
    if (c.length) r.HeaderLines.Add(std::string("Content-Length:") + c.length);
    r.ParseHeaderLines();
    EXPECT_EQ(r.ContentLength, c.value) << (c.length ? c.length : "(absent)");
    EXPECT_EQ(r.LengthGiven, c.given);
  }
  struct Range {
    const char* text;
    uint32_t start, end;
  } ranges[] = {{"bytes=100-", 100, 0}, {"bytes=-500", 0, 500}, {"bytes=1-2 x", 1, 2}, {"bytes=a-b", 0, 0}};
  for (const auto& c : ranges) {
    THTTPRequestInfo r;
    r.HeaderLines.Add(std::string("Range: ") + c.text);
    r.ParseHeaderLines();
    EXPECT_EQ(r.ContentRangeStart, c.start) << c.text;
    EXPECT_EQ(r.ContentRangeEnd, c.end) << c.text;
  }
}

TEST(RequestRecord, AbsentHeadersClearResetValues) {
  THTTPRequestInfo r;
  EXPECT_EQ(r.Accept, "text/html, */*");
  r.HeaderLines.Add("Host: h");
  r.ParseHeaderLines();
  EXPECT_EQ(r.Accept, "");
  EXPECT_EQ(r.UserAgent, "");
  EXPECT_EQ(r.Host, "h");
}

TEST(ResponseRecord, StatusTable) {
  struct Case {
    int code;
    const char* text;
  } cases[] = {{200, "OK"}, {302, "Moved Temporarily"}, {402, "Unknown Response Code"}, {413, "Request Entity To Long"},
               {414, "Request-URI Too Long. 256 Chars max"}, {504, "Gateway timeout"}, {101, "Unknown Response Code"}};
  for (const auto& c : cases) {
    THTTPResponseInfo r(nullptr);
    r.SetStatus(c.code);
    EXPECT_EQ(r.StatusText, c.text) << c.code;
    EXPECT_FALSE(r.CloseAfterReply);
  }
  THTTPResponseInfo r(nullptr);
  r.SetCloseAfterReply(false);
  r.SetStatus(404);
  EXPECT_TRUE(r.CloseAfterReply);
  EXPECT_EQ(r.Connection, "close");
}

TEST(ResponseRecord, CompositionOrder) {
  THTTPResponseInfo r(nullptr);
  r.SetCloseAfterReply(true);
  r.ContentType = "image/gif";
  r.SetContentLength(10);
  r.Server = "S";
  r.ComposeHeaderLines();
  EXPECT_EQ(r.HeaderLines.Lines(),
            (std::vector<std::string>{"Connection: close", "Content-Type: image/gif", "Content-Length: 10", "Server: S"}));

  THTTPResponseInfo c(nullptr);
  c.CustomHeaders.Add("X-Powered-By: x");
  c.CustomHeaders.Add("Content-Type: text/plain");
  c.CustomHeaders.Add("Server: custom");
  c.Server = "S";
  c.Location = "/next";
  c.ComposeHeaderLines();
  EXPECT_EQ(c.HeaderLines.Lines(),
            (std::vector<std::string>{"Content-Type: text/html", "X-Powered-By: x", "Content-Type: text/plain",
                                      "Server: S", "Location: /next"}));
}

TEST(ResponseRecord, RealmGivesChallenge) {
  THTTPResponseInfo r(nullptr);
  r.Realm = "Area";
  r.ComposeHeaderLines();
  EXPECT_EQ(r.StatusCode, 401);
  EXPECT_EQ(r.StatusText, "Unauthorized");
  EXPECT_EQ(r.HeaderLines.ValueOf("WWW-Authenticate"), "Basic realm=\"Area\"");
  EXPECT_EQ(r.BodyText, "<HTML><BODY><B>401 Unauthorized</B></BODY></HTML>");
  EXPECT_EQ(r.HeaderLines.ValueOf("Content-Length"), std::to_string(r.BodyText.size()));

  THTTPResponseInfo kept(nullptr);
  kept.Realm = "Area";
  kept.SetContentLength(3);
  kept.BodyText = "own";
  kept.ComposeHeaderLines();
  EXPECT_EQ(kept.BodyText, "own");
}

TEST(ResponseRecord, BodyStreamOwnership) {
  TStringStream outside("kept");
  {
    THTTPResponseInfo r(nullptr);
    r.SetBodyStream(&outside, false);
    r.ReleaseBody();
    EXPECT_EQ(r.BodyStream, nullptr);
  }
  EXPECT_EQ(outside.Data(), "kept");  // still alive: not owned
}

}  // namespace
}  // namespace tamsel
