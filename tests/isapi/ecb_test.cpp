#include "isapi/ecb.h"

#include <gtest/gtest.h>

#include "engine/http_date.h"
#include "engine/session.h"
#include "platform/datetime.h"
#include "platform/tcp_connection.h"
#include "support/extension_server.h"
#include "support/loopback.h"
#include "support/temp_folder.h"

namespace tamsel {
namespace {

using test::BodyOf;
using test::HeaderOf;

const std::string kFixtures = TAMSEL_ISAPI_FIXTURES;

std::string StatusLine(const std::string& response) { return response.substr(0, response.find("\r\n")); }

// The values of every "Set-Cookie" line of a response, in order.
std::vector<std::string> CookieLines(const std::string& response) {
  std::vector<std::string> values;
  std::string head = response.substr(0, response.find("\r\n\r\n") + 2);
  for (size_t pos = 0; (pos = head.find("\r\nSet-Cookie: ", pos)) != std::string::npos;) {
    pos += 14;
    values.push_back(head.substr(pos, head.find("\r\n", pos) - pos));
  }
  return values;
}

class ECBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.DocumentRoot = "/srv/www/./site/../root";
    server.Use(kFixtures + "/good_ext.so");
  }
  test::TExtensionServer server;
};

TEST_F(ECBTest, ControlBlockOfAGet) {
  EXPECT_EQ(BodyOf(server.Get("/scripts/run?cmd=block")),
            "size=1 version=131072 conn=1 status=0 log=[DEFAULT LOG DATA] method=[GET] query=[cmd=block] "
            "pathinfo=[cmd=block] translated=[/srv/www/root/scripts/run] total=0 avail=0 data=NULL type=[]");
}

TEST_F(ECBTest, ControlBlockOfAPostCarriesTheBody) {
  EXPECT_EQ(BodyOf(server.Post("/p?cmd=block", "hello world", "Content-Type: text/plain\r\n")),
            "size=1 version=131072 conn=1 status=0 log=[DEFAULT LOG DATA] method=[POST] query=NULL "
            "pathinfo=[cmd=block] translated=[/srv/www/root/p] total=11 avail=11 data=[hello world] "
            "type=[text/plain]");
}

TEST_F(ECBTest, ServerVariables) {
  const std::string path = "/scripts/Ext.dll/run";
  const std::string headers =
      "Host: example.test\r\nX-Forwarded-For: 10.1.1.1\r\nCache-Control: no-cache\r\n"
      "Accept-Language: de\r\nUser-Agent: probe/1.0\r\nIf-Modified-Since: yesterday\r\n"
      "Authorization: Basic Ym9iOnNlY3JldA==\r\n";  // bob:secret
  const std::string port = std::to_string(server.Port);
  struct Case {
    std::string name;
    int size;
    std::string expected;
  } cases[] = {
      {"path_info", 256, "ok=1 size=21 error=0 untouched=0 value=[/scripts/Ext.dll/run]"},
      {"AUTH_NAME", 256, "ok=1 size=3 error=0 untouched=0 value=[bob]"},
      {"REMOTE_USER", 256, "ok=1 size=4 error=0 untouched=0 value=[bob]"},
      {"AUTH_PASS", 256, "ok=1 size=6 error=0 untouched=0 value=[secret]"},
      {"AUTH_TYPE", 256, "ok=1 size=6 error=0 untouched=0 value=[Basic]"},
      {"GATEWAY_INTERFACE", 256, "ok=1 size=6 error=0 untouched=0 value=[ISAPI]"},
      {"SCRIPT_NAME", 256, "ok=1 size=17 error=0 untouched=0 value=[/scripts/Ext.dll]"},
      {"url", 256, "ok=1 size=17 error=0 untouched=0 value=[/scripts/Ext.dll]"},
      {"REQUEST_METHOD", 256, "ok=1 size=4 error=0 untouched=0 value=[GET]"},
      {"SERVER_PROTOCOL", 256, "ok=1 size=9 error=0 untouched=0 value=[HTTP/1.0]"},
      {"SERVER_NAME", 256, "ok=1 size=13 error=0 untouched=0 value=[example.test]"},
      {"SERVER_PORT", 256,
       "ok=1 size=" + std::to_string(port.size() + 1) + " error=0 untouched=0 value=[" + port + "]"},
      {"SERVER_SOFTWARE", 256, "ok=1 size=11 error=0 untouched=0 value=[TestServer]"},
      {"SERVER_ADMIN", 256, "ok=1 size=20 error=0 untouched=0 value=[webmaster@localhost]"},
      {"DOCUMENT_ROOT", 256, "ok=1 size=24 error=0 untouched=0 value=[/srv/www/./site/../root]"},
      {"PATH_TRANSLATED", 256, "ok=1 size=34 error=0 untouched=0 value=[/srv/www/root/scripts/Ext.dll/run]"},
      {"REMOTE_ADDR", 256, "ok=1 size=10 error=0 untouched=0 value=[127.0.0.1]"},
      {"SERVER_ADDR", 256, "ok=1 size=10 error=0 untouched=0 value=[127.0.0.1]"},
      {"HTTP_CLIENT_IP", 256, "ok=1 size=10 error=0 untouched=0 value=[127.0.0.1]"},
      {"REDIRECT_STATUS", 256, "ok=1 size=4 error=0 untouched=0 value=[200]"},
      {"HTTP_REDIRECT_STATUS", 256, "ok=1 size=4 error=0 untouched=0 value=[200]"},
      {"REDIRECT_URL", 256, "ok=1 size=21 error=0 untouched=0 value=[/scripts/Ext.dll/run]"},
      {"HTTP_USER_AGENT", 256, "ok=1 size=10 error=0 untouched=0 value=[probe/1.0]"},
      {"HTTP_CACHE_CONTROL", 256, "ok=1 size=9 error=0 untouched=0 value=[no-cache]"},
      {"HTTP_ACCEPT_LANGUAGE", 256, "ok=1 size=3 error=0 untouched=0 value=[de]"},
      {"HTTP_IF_MODIFIED_SINCE", 256, "ok=1 size=10 error=0 untouched=0 value=[yesterday]"},
      {"HTTP_AUTHORIZATION", 256, "ok=1 size=23 error=0 untouched=0 value=[Basic Ym9iOnNlY3JldA==]"},
      {"HTTP_X_FORWARDED_FOR", 256, "ok=1 size=9 error=0 untouched=0 value=[10.1.1.1]"},
      // Listed names with no value still answer true.
      {"CONTENT_LENGTH", 256, "ok=1 size=1 error=0 untouched=0 value=[]"},
      {"HTTP_REFERER", 256, "ok=1 size=1 error=0 untouched=0 value=[]"},
      {"HTTP_IDSESSION", 256, "ok=1 size=1 error=0 untouched=0 value=[]"},
      // Names that are neither listed nor a header.
      {"ALL_HTTP", 256, "ok=0 size=0 error=1413 untouched=0 value=[]"},
      {"NO_SUCH_THING", 256, "ok=0 size=0 error=1413 untouched=0 value=[]"},
      // Never beyond the size given: exact fits, one short copies nothing.
      {"PATH_INFO", 21, "ok=1 size=21 error=0 untouched=0 value=[/scripts/Ext.dll/run]"},
      {"PATH_INFO", 20, "ok=0 size=21 error=122 untouched=1 value=[]"},
      {"AUTH_NAME", 4, "ok=1 size=3 error=0 untouched=0 value=[bob]"},
      {"AUTH_NAME", 3, "ok=0 size=4 error=122 untouched=1 value=[]"},
      {"AUTH_TYPE", 0, "ok=0 size=6 error=122 untouched=1 value=[]"},
  };
  for (const auto& c : cases) {
    std::string query = "?cmd=var&name=" + c.name + "&size=" + std::to_string(c.size);
    std::string response = server.Get(path + query, headers);
    EXPECT_EQ(BodyOf(response), c.expected) << c.name << " " << c.size;
  }
  std::string host = LookupHostName("127.0.0.1");
  EXPECT_EQ(BodyOf(server.Get(path + "?cmd=var&name=REMOTE_HOST")),
            "ok=1 size=" + std::to_string(host.size() + 1) + " error=0 untouched=0 value=[" + host + "]");
  EXPECT_EQ(BodyOf(server.Get(path + "?cmd=var&name=QUERY_STRING&size=64")),
            "ok=1 size=34 error=0 untouched=0 value=[cmd=var&name=QUERY_STRING&size=64]");
  server.Runner->Server = nullptr;
  EXPECT_EQ(BodyOf(server.Get(path + "?cmd=var&name=SERVER_SOFTWARE")),
            "ok=1 size=1 error=0 untouched=0 value=[]");
}

TEST_F(ECBTest, WriteClientAppendsExactlyTheBytesGiven) {
  EXPECT_EQ(BodyOf(server.Get("/?cmd=write")), "hello world![5,7]");
}

TEST_F(ECBTest, ShortHeaderForm) {
  std::string response = server.Post("/?cmd=short&status=200",
                                     "Content-type: text/plain\r\nLocation: /elsewhere\r\nPragma: no-cache\r\n"
                                     "X-Dropped: 1\r\nset-cookie: lower=1\r\nSet-Cookie: a=b; Path=/x\r\n"
                                     "Set-Cookie:tight=1\r\nSet-Cookie: s=t\r\n\r\n");
  EXPECT_EQ(StatusLine(response), "HTTP/1.1 302 Moved Temporarily");
  EXPECT_EQ(HeaderOf(response, "Location"), "/elsewhere");
  EXPECT_EQ(HeaderOf(response, "Content-Type"), "text/plain");
  EXPECT_EQ(HeaderOf(response, "Pragma"), "no-cache");
  EXPECT_EQ(HeaderOf(response, "X-Dropped"), "");
  // Only lines beginning exactly with "Set-Cookie: " give cookies.
  EXPECT_EQ(CookieLines(response), (std::vector<std::string>{"a=b; path=/x", "s=t"}));
  EXPECT_EQ(BodyOf(response), "answer=1");

  // The status code of the block counts when no Location line overrides it.
  response = server.Post("/?cmd=short&status=404", "Content-type: text/xml\r\n\r\n");
  EXPECT_EQ(StatusLine(response), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(HeaderOf(response, "Content-Type"), "text/xml");
  EXPECT_EQ(BodyOf(response), "answer=1");
}

TEST_F(ECBTest, ShortHeaderFormDates) {
  const char* expires = "Sun, 06 Nov 1994 08:49:37 GMT";
  std::string response = server.Post(
      "/?cmd=short",
      "Date: 2024-03-01 10:20:30\r\nExpires: " + std::string(expires) + "\r\nLastModified: 2024-02-29\r\n\r\n");
  test::TRunResult run = server.LastRun();
  TDateTime date, time, day;
  ASSERT_TRUE(TryEncodeDate(2024, 3, 1, date));
  ASSERT_TRUE(TryEncodeTime(10, 20, 30, 0, time));
  ASSERT_TRUE(TryEncodeDate(2024, 2, 29, day));
  EXPECT_DOUBLE_EQ(run.Date, date + time);
  EXPECT_DOUBLE_EQ(run.LastModified, day);
  EXPECT_DOUBLE_EQ(run.Expires, ParseDateToLocal(expires));
  EXPECT_EQ(HeaderOf(response, "Date"), FormatZonedDate(date + time, false));
  EXPECT_EQ(run.BodyText, "answer=1");

  // An unreadable date fails the request: what came before stays, what follows is skipped.
  server.Post("/?cmd=short", "Pragma: kept\r\nDate: 1st of March\r\nLastModified: 2024-02-29\r\n\r\n");
  run = server.LastRun();
  EXPECT_EQ(run.Pragma, "kept");
  EXPECT_EQ(run.Date, 0);
  EXPECT_EQ(run.LastModified, 0);
  EXPECT_EQ(run.BodyText, "answer=0");
}

TEST_F(ECBTest, LongHeaderFormSetsTheWholeStatusText) {
  std::string response = server.Post("/?cmd=long&status=404&text=404+Not+Found",
                                     "Content-type: text/plain\r\nPragma: x\r\nSet-Cookie: c=d\r\n\r\n");
  EXPECT_EQ(StatusLine(response), "HTTP/1.1 404 404 Not Found");
  EXPECT_EQ(HeaderOf(response, "Content-Type"), "text/plain");
  EXPECT_EQ(HeaderOf(response, "Pragma"), "x");
  EXPECT_EQ(CookieLines(response), (std::vector<std::string>{"c=d"}));
  EXPECT_EQ(BodyOf(response), "answer=1");

  // A header text without lines fails after the status code was set.
  response = server.Get("/?cmd=long&status=404&text=Gone");
  EXPECT_EQ(StatusLine(response), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(BodyOf(response), "answer=0");
}

TEST_F(ECBTest, MapUrlToPath) {
  const std::string mapped = "/srv/www/root/docs/a.html";
  const std::string length = std::to_string(mapped.size());
  const std::string one_short = std::to_string(mapped.size() - 1);
  EXPECT_EQ(BodyOf(server.Get("/?cmd=map&url=/docs/a.html&size=" + length)),
            "ok=1 size=" + length + " error=0 path=[" + mapped + "]");
  EXPECT_EQ(BodyOf(server.Get("/?cmd=map&url=/docs/a.html&size=" + one_short)),
            "ok=0 size=" + length + " error=122 path=[]");
  EXPECT_EQ(BodyOf(server.Get("/?cmd=map&url=docs/a.html&size=400")),
            "ok=1 size=" + length + " error=0 path=[" + mapped + "]");

  EXPECT_EQ(BodyOf(server.Get("/?cmd=mapex&url=/docs/a.html")), "ok=1 error=0 flags=77 path=[" + mapped + "]");
  EXPECT_EQ(BodyOf(server.Get("/?cmd=mapex&url=/" + std::string(260, 'x'))), "ok=0 error=122 flags=77 path=[]");
}

TEST_F(ECBTest, SupportRequests) {
  std::string response = server.Get("/?cmd=redirect&text=/new/place");
  EXPECT_EQ(StatusLine(response), "HTTP/1.1 302 Moved Temporarily");
  EXPECT_EQ(HeaderOf(response, "Location"), "/new/place");
  EXPECT_EQ(BodyOf(response), "answer=1 keep=-1");

  // The server does not keep connections: the answer says so.
  EXPECT_EQ(BodyOf(server.Get("/?cmd=keep")), "answer=1 keep=0");

  for (const char* code : {"4", "1005", "1019", "9999"})
    EXPECT_EQ(BodyOf(server.Get(std::string("/?cmd=other&code=") + code)), "answer=0 keep=-1") << code;

  // An abortive close leaves the client without an answer.
  EXPECT_EQ(server.Get("/?cmd=abort"), "");
}

TEST_F(ECBTest, ReadClientFailsWhenTheClientHasClosed) {
  test::LoopbackClient client(server.Port);
  client.Send("GET /?cmd=read&n=4 HTTP/1.0\r\n\r\nab");
  client.ShutdownWrite();
  EXPECT_EQ(BodyOf(client.ReadAll()), "ok=0 size=0 data=[]");
}

TEST_F(ECBTest, TransmitFileSendsTheBytesAheadOfTheHeader) {
  testing::TTempFolder folder;
  testing::WriteFileBytes(folder / "data.bin", "0123456789abcdef");
  server.Use(kFixtures + "/transmit_ext.so");
  std::string response = server.Get("/?file=" + (folder / "data.bin") + "&skip=2&bytes=5");
  ASSERT_EQ(response.substr(0, 5), "23456");
  EXPECT_EQ(StatusLine(response.substr(5)), "HTTP/1.1 200 OK");
  EXPECT_EQ(BodyOf(response), "answer=1 position=7");

  response = server.Get("/?file=" + (folder / "data.bin") + "&skip=10");
  EXPECT_EQ(response.substr(0, 6), "abcdef");
  EXPECT_EQ(BodyOf(response), "answer=1 position=16");
}

TEST(ECBSessionTest, ExtensionReadsAndReplacesTheSessionValues) {
  test::TExtensionServer server(true);
  server.Use(kFixtures + "/good_ext.so");

  // The first request starts a session: its cookie comes first, the extension's after it.
  std::string response = server.Post("/?cmd=short", "Set-Cookie: a=b\r\n\r\n");
  std::vector<std::string> cookies = CookieLines(response);
  ASSERT_EQ(cookies.size(), 2u);
  ASSERT_EQ(cookies[0].substr(0, 16), "IDHTTPSESSIONID=");
  EXPECT_EQ(cookies[1], "a=b");
  const std::string id = cookies[0].substr(16, cookies[0].find(';') - 16);
  const std::string cookie = "Cookie: IDHTTPSESSIONID=" + id + "\r\n";

  EXPECT_EQ(BodyOf(server.Get("/?cmd=session", cookie)), "read=1 session=[] set=1");
  EXPECT_EQ(BodyOf(server.Get("/?cmd=session", cookie)), "read=1 session=[visits=1\r\nby=good_ext\r\n] set=1");
  EXPECT_EQ(BodyOf(server.Get("/?cmd=session", cookie)), "read=1 session=[visits=2\r\nby=good_ext\r\n] set=1");
  std::shared_ptr<THTTPSession> session = server.Server.SessionList().FindSession(id, "127.0.0.1");
  ASSERT_TRUE(session);
  EXPECT_EQ(session->SessionValues().Value("visits"), "3");
  EXPECT_EQ(session->SessionValues().Value("by"), "good_ext");
}

}  // namespace
}  // namespace tamsel
