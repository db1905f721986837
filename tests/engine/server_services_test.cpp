// The engine services seen through a running server: request cookies,
// Set-Cookie lines, Basic credentials, date lines and the type table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <mutex>

#include "engine/http_server.h"
#include "support/loopback.h"
#include "support/scoped_time_zone.h"

namespace tamsel {
namespace {

using test::BodyOf;
using test::Exchange;
using test::HeaderOf;
using Pairs = std::vector<std::pair<std::string, std::string>>;

class ServerServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Bindings = {{"127.0.0.1", 0}};
    server.ServerSoftware = "TestServer";
    server.OnCommandGet = [this](TPeerThread& t, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
      {
        std::lock_guard lock(mutex);
        seen = Seen{};
        for (size_t i = 0; i < req.RequestCookies.Count(); ++i)
          seen.cookies.emplace_back(req.RequestCookies.CookieAt(i).Name,
                                    req.RequestCookies.CookieAt(i).Value);
        seen.authPresent = req.AuthPresent;
        seen.user = req.AuthUser;
        seen.pass = req.AuthPass;
        ++calls;
      }
      if (handler) handler(t, req, resp);
    };
  }
  int Start() {
    server.SetActive(true);
    return server.BoundPort();
  }

  struct Seen {
    Pairs cookies;
    bool authPresent = false;
    std::string user, pass;
  };
  // The zone is set before the server's threads exist and restored after they end.
  test::ScopedTimeZone tz{"EST5"};
  THTTPServer server;
  THTTPGetEvent handler;
  std::mutex mutex;
  Seen seen;
  int calls = 0;
};

TEST_F(ServerServicesTest, CookiesComeInFromEveryCookieLineAndGoOutAsSetCookieLines) {
  handler = [](TPeerThread&, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
    int at = req.RequestCookies.FindFrom(0, "idhttpsessionid");
    TServerCookie& session = resp.ResponseCookies.AddServerCookie();
    session.Name = "IDHTTPSESSIONID";
    session.Value = at < 0 ? "none" : req.RequestCookies.CookieAt(static_cast<size_t>(at)).Value;
    session.Path = "/";
    TServerCookie& timed = resp.ResponseCookies.AddServerCookie();
    timed.Name = "t";
    timed.Value = "1";
    timed.Path = "/";
    timed.MaxAge = 3600;
    resp.BodyText = "ok";
  };
  int port = Start();
  time_t before = time(nullptr);
  std::string reply = Exchange(port,
                               "GET / HTTP/1.0\r\nCookie: IDHTTPSESSIONID=abc; lang=de\r\n"
                               "X-Other: 1\r\ncookie: a=1 ;b=2;;\r\n\r\n");
  time_t after = time(nullptr);
  EXPECT_EQ(seen.cookies, (Pairs{{"IDHTTPSESSIONID", "abc"}, {"lang", "de"}, {"a", "1 "}, {"b", "2"}, {"", ""}}));

  std::string head = reply.substr(0, reply.find("\r\n\r\n") + 4);
  size_t server = head.find("Server: TestServer\r\n");
  size_t session = head.find("Set-Cookie: IDHTTPSESSIONID=abc; path=/\r\n");
  size_t timed = head.find("Set-Cookie: t=1; path=/; expires=");
  ASSERT_NE(server, std::string::npos) << head;
  ASSERT_NE(session, std::string::npos) << head;
  ASSERT_NE(timed, std::string::npos) << head;
  EXPECT_LT(server, session);
  EXPECT_LT(session, timed);
  // The expiry is an hour ahead in UTC, although the server's zone is five hours west.
  std::string expires = head.substr(timed + 33, head.find("\r\n", timed) - timed - 33);
  auto gmt = [](time_t moment) {
    struct tm tm {};
    gmtime_r(&moment, &tm);
    char buffer[64];
    strftime(buffer, sizeof buffer, "%a, %d-%b-%Y %H:%M:%S GMT", &tm);
    std::string text = buffer;
    if (text[5] == '0') text.erase(5, 1);
    return text;
  };
  EXPECT_TRUE(expires == gmt(before + 3600) || expires == gmt(after + 3600)) << expires;
  EXPECT_EQ(BodyOf(reply), "ok");
}

TEST_F(ServerServicesTest, NoCookiesNoSetCookieLines) {
  int port = Start();
  std::string reply = Exchange(port, "GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(reply.find("Set-Cookie"), std::string::npos) << reply;
  EXPECT_TRUE(seen.cookies.empty());
  EXPECT_EQ(calls, 1);
}

TEST_F(ServerServicesTest, BasicCredentialsReachTheHandler) {
  struct Case {
    const char* header;
    bool present;
    const char* user;
    const char* pass;
  } cases[] = {
      {"", false, "", ""},
      {"Authorization: basic dTpwOnE=\r\n", true, "u", "p:q"},  // u:p:q
      {"Authorization: BASIC dXNlcjpwYXNz\r\n", true, "user", "pass"},
      {"Authorization: Basic\r\n", true, "", ""},
  };
  int port = Start();
  for (const Case& c : cases) {
    std::string reply = Exchange(port, std::string("GET / HTTP/1.0\r\n") + c.header + "\r\n");
    EXPECT_EQ(reply.substr(0, 15), "HTTP/1.1 200 OK") << c.header;
    std::lock_guard lock(mutex);
    EXPECT_EQ(seen.authPresent, c.present) << c.header;
    EXPECT_EQ(seen.user, c.user) << c.header;
    EXPECT_EQ(seen.pass, c.pass) << c.header;
  }
}

TEST_F(ServerServicesTest, RefusedCredentialsGetNoAnswer) {
  int port = Start();
  for (const char* header : {"Authorization: Digest username=\"u\", realm=\"r\"\r\n",
                             "Authorization: Basic  dXNlcjpwYXNz\r\n",  // two blanks
                             "Authorization: Basic QQ=\r\n"}) {
    EXPECT_EQ(Exchange(port, std::string("GET / HTTP/1.0\r\n") + header + "\r\n"), "") << header;
  }
  EXPECT_EQ(calls, 0);
}

TEST_F(ServerServicesTest, DateLinesTravelAsTheSameMoment) {
  handler = [](TPeerThread&, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
    resp.Date = req.Date;
    resp.LastModified = req.LastModified;
    resp.Expires = req.Expires;
    resp.BodyText = "x";
  };
  int port = Start();
  std::string reply = Exchange(port,
                               "GET / HTTP/1.0\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                               "Last-Modified: Sunday, 06-Nov-94 08:49:37 GMT\r\n"
                               "Expires: Sun Nov  6 09:49:37 1994\r\n\r\n");
  EXPECT_EQ(HeaderOf(reply, "Date"), "Sun, 6 Nov 1994 03:49:37 -0500");
  EXPECT_EQ(HeaderOf(reply, "Expires"), "Sun, 6 Nov 1994 04:49:37 -0500");
  EXPECT_EQ(HeaderOf(reply, "Last-Modified"), "Sun, 06 Nov 1994 08:49:37 GMT");
}

TEST_F(ServerServicesTest, SendFileTakesTheTypeTableOnlyForAnEmptyContentType) {
  std::string base = ::testing::TempDir() + "services_" + std::to_string(::getpid());
  std::string css = base + ".css", png = base + ".PNG", odd = base + ".zzqq";
  for (const std::string& path : {css, png, odd}) std::ofstream(path) << "data";
  handler = [&](TPeerThread& t, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
    if (req.QueryText == "keep") resp.ContentType = "text/html";
    else resp.ContentType.clear();
    if (req.RequestPath == "/css") server.SendFile(t, resp, css);
    if (req.RequestPath == "/png") server.SendFile(t, resp, png);
    if (req.RequestPath == "/odd") server.SendFile(t, resp, odd);
  };
  int port = Start();
  bool store = ::access(TMimeTable::kSystemStore, R_OK) == 0;
  struct Case {
    const char* target;
    std::string type;
  } cases[] = {
      {"/css", "text/css"},
      {"/png", store ? "image/png" : "image/x-png"},
      {"/odd", "application/octet-stream"},
      {"/png?keep", "text/html"},
  };
  for (const Case& c : cases) {
    std::string reply = Exchange(port, std::string("GET ") + c.target + " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(HeaderOf(reply, "Content-Type"), c.type) << c.target;
    EXPECT_EQ(BodyOf(reply), "data") << c.target;
  }
  for (const std::string& path : {css, png, odd}) ::unlink(path.c_str());
}

}  // namespace
}  // namespace tamsel
