#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>
#include <thread>

#include "app/server_config.h"
#include "platform/text.h"
#include "server/fake_view.h"
#include "server/server_main.h"
#include "support/loopback.h"
#include "support/temp_folder.h"

namespace tamsel {
namespace {

using tamsel::testing::ReadFileBytes;
using tamsel::testing::TTempFolder;
using tamsel::testing::WriteFileBytes;
using test::BodyOf;
using test::Exchange;
using test::HeaderOf;

std::string StatusLine(const std::string& response) { return response.substr(0, response.find("\r\n")); }

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"www", "www/sub", "www/docs", "www/tools", "www/a.php", "www-private"})
      ::mkdir((temp / dir).c_str(), 0755);
    WriteFileBytes(www + "/index.html", "home");
    WriteFileBytes(www + "/docs/index.html", "docs");
    WriteFileBytes(www + "/picture.gif", std::string("GIF89a\0\1", 8));
    WriteFileBytes(www + "/hello.php", "<?php echo 'hi ' . ($_GET['x'] ?? '');");
    WriteFileBytes(temp / "www-private/secret.txt", "secret");
    WriteFileBytes(temp / "outside.php", "<?php echo 'outside';");
    WriteProgram(www + "/tools/run.exe", "run:$QUERY_STRING");
    WriteProgram(www + "/a.php/b.exe", "program");
    WriteProgram(temp / "tool.exe", "outside program");
  }
  void TearDown() override {
    if (window) window->FormDestroy();
  }
  static void WriteProgram(const std::string& path, const std::string& says) {
    WriteFileBytes(path, "#!/bin/sh\nprintf 'Content-Type: text/plain\\r\\n\\r\\n%s' \"" + says + "\"\n");
    ::chmod(path.c_str(), 0755);
  }
  int Start(const std::string& phpExe = "/usr/bin/php-cgi", bool auth = false) {
    TServerConfigValues v;
    v.PhpExe = phpExe;
    v.PhpIni = "/usr/bin";
    v.Port = "0";
    v.Root = www;
    v.AuthUser = "admin";
    v.AuthPassword = "Secret";
    v.ServerAdmin = "admin@example.test";
    WriteServerConfig(temp / "server.conf", v);
    window = std::make_unique<TfmHTTPServerMain>(view, temp / "server.conf", temp / "logs/server.log");
    window->FormShow();
    view.auth = auth;
    window->acActivateExecute();
    EXPECT_TRUE(view.active);
    return window->HTTPServer.BoundPort();
  }
  std::string Get(int port, const std::string& path, const std::string& method = "GET", const std::string& extra = "") {
    return Exchange(port, method + " " + path + " HTTP/1.0\r\n" + extra + "\r\n");
  }

  TTempFolder temp;
  std::string www = temp / "www";
  test::FakeView view;
  std::unique_ptr<TfmHTTPServerMain> window;
};

TEST_F(DispatchTest, StaticFilesFoldersAndRefusals) {
  int port = Start();
  struct Case {
    const char* path;
    const char* status;
    const char* body;
  } cases[] = {
      {"/", "HTTP/1.1 200 OK", "home"},
      {"/docs", "HTTP/1.1 200 OK", "docs"},
      {"/sub", "HTTP/1.1 404 Not Found", "<html><head><title>Error</title></head><body><h1>Not Found</h1></body></html>"},
      {"/missing.txt", "HTTP/1.1 404 Not Found", nullptr},
      {"/../www-private/secret.txt", "HTTP/1.1 403 Forbidden", nullptr},  // a sibling sharing the root's prefix
      {"/../outside.php", "HTTP/1.1 403 Forbidden", nullptr},             // a script outside the root
      {"/../tool.exe", "HTTP/1.1 403 Forbidden", nullptr},                // a program outside the root
      {"/../nothing-here.txt", "HTTP/1.1 404 Not Found", nullptr},
  };
  for (const auto& c : cases) {
    std::string response = Get(port, c.path);
    EXPECT_EQ(StatusLine(response), c.status) << c.path;
    if (c.body) {
      EXPECT_EQ(BodyOf(response), c.body) << c.path;
    }
    if (std::string(c.status).find("403") != std::string::npos) {
      EXPECT_EQ(BodyOf(response),
                "<html><head><title>Error</title></head><body><h1>Access denied</h1>\rYou do not have sufficient "
                "priviligies to access this document.</body></html>");
    }
  }
}

TEST_F(DispatchTest, HeadCarriesTypeAndLengthOnly) {
  int port = Start();
  std::string head = Get(port, "/picture.gif", "HEAD");
  EXPECT_EQ(StatusLine(head), "HTTP/1.1 200 OK");
  EXPECT_EQ(HeaderOf(head, "Content-Type"), "image/gif");
  EXPECT_EQ(HeaderOf(head, "Content-Length"), "8");
  EXPECT_EQ(BodyOf(head), "");
  std::string get = Get(port, "/picture.gif");
  EXPECT_EQ(HeaderOf(get, "Content-Type"), "image/gif");
  EXPECT_EQ(BodyOf(get), std::string("GIF89a\0\1", 8));
}

TEST_F(DispatchTest, ScriptsAndPrograms) {
  int port = Start();
  EXPECT_EQ(BodyOf(Get(port, "/hello.php?x=1")), "hi 1");
  EXPECT_EQ(BodyOf(Get(port, "/HELLO.PHP?x=2")).find("hi 2") == std::string::npos, true);  // no such script file
  EXPECT_EQ(BodyOf(Get(port, "/tools/run.exe?x=1")), "run:x=1");
  EXPECT_EQ(BodyOf(Get(port, "/a.php/b.exe")), "program");  // the program wins over the interpreter
  std::string session = Get(port, "/session.php");
  EXPECT_EQ(session.find("Virtual folder"), std::string::npos);  // a script, not the session page
  EXPECT_NE(BodyOf(Get(port, "/Sessions")).find("<title>Virtual folder</title>"), std::string::npos);
}

TEST_F(DispatchTest, InterpreterMissingOrNotSet) {
  int port = Start(temp / "no-php-cgi");
  std::string missing = Get(port, "/hello.php");
  EXPECT_EQ(StatusLine(missing), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(HeaderOf(missing, "Content-Type"), "text/html");
  EXPECT_EQ(BodyOf(missing), "<H1><center>Script not found</center></H1>\rYour server administrator: admin@example.test");
  window->acActivateExecute();

  port = Start("");
  EXPECT_EQ(BodyOf(Get(port, "/hello.php")), "<?php echo 'hi ' . ($_GET['x'] ?? '');");  // the source
}

TEST_F(DispatchTest, AuthenticationRequired) {
  int port = Start("/usr/bin/php-cgi", true);
  auto basic = [](const std::string& user, const std::string& pass) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string in = user + ":" + pass, out;
    for (size_t i = 0; i < in.size(); i += 3) {
      unsigned n = static_cast<unsigned char>(in[i]) << 16;
      if (i + 1 < in.size()) n |= static_cast<unsigned char>(in[i + 1]) << 8;
      if (i + 2 < in.size()) n |= static_cast<unsigned char>(in[i + 2]);
      out += table[(n >> 18) & 63];
      out += table[(n >> 12) & 63];
      out += i + 1 < in.size() ? table[(n >> 6) & 63] : '=';
      out += i + 2 < in.size() ? table[n & 63] : '=';
    }
    return "Authorization: Basic " + out + "\r\n";
  };
  for (const std::string& credentials : {std::string(), basic("other", "Secret"), basic("admin", "secret")}) {
    size_t before = view.Log().size();
    std::string response = Get(port, "/", "GET", credentials);
    EXPECT_EQ(StatusLine(response), "HTTP/1.1 401 Unauthorized") << credentials;
    EXPECT_EQ(HeaderOf(response, "WWW-Authenticate"), "Basic realm=\"Morvane HTTP-SERVER\"");
    EXPECT_EQ(BodyOf(response),
              "<html><head><title>Error</title></head><body><h1>Authentication failed</h1>\r<br><ul><li>Your "
              "Serveradministrator!</ul>admin@example.test</body></html>");
    std::vector<std::string> lines = view.Log();
    std::vector<std::string> added(lines.begin() + static_cast<long>(before), lines.end());
    for (const auto& line : added) EXPECT_EQ(line.find("Serving file"), std::string::npos);
  }
  EXPECT_EQ(BodyOf(Get(port, "/", "GET", basic("admin", "Secret"))), "home");
}

TEST_F(DispatchTest, LogLinesByteForByte) {
  int port = Start();
  Get(port, "/index.html");
  Get(port, "/a%0Ab", "GET");
  test::LoopbackClient other(port);
  other.Send("DELETE /x HTTP/1.0\r\n\r\n");
  other.ReadAll();
  window->acActivateExecute();
  std::vector<std::string> lines = view.Log();
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  const std::string p = "127\\.0\\.0\\.1:[0-9]+";
  const std::vector<std::string> patterns = {"User logged in\n", "Command GET /index\\.html received from " + p + "\n",
        "Serving file " + www + "/index\\.html \\(4 bytes / 4 bytes sent\\) to " + p + "\n",
        "Command GET /a%0Ab received from " + p + "\n", "Command other: DELETE\n", "User logged out\n",
        "Starting session [A-Za-z1-9]{15} at [0-9]{2}:[0-9]{2}:[0-9]{2}\n",
        "Ending session [A-Za-z1-9]{15} at [0-9]{2}:[0-9]{2}:[0-9]{2}\nSession duration was: [0-9]+ seconds\n",
        "Stop listening\\.\n"};
  for (const std::string& pattern : patterns)
    EXPECT_TRUE(std::regex_search(all, std::regex(pattern))) << pattern << "\nin:\n" << all;
  std::string file = ReadFileBytes(temp / "logs/server.log");
  std::string expected;
  for (const auto& l : lines) expected += l + "\r\n";
  EXPECT_EQ(file, expected);
}

TEST_F(DispatchTest, ListAndFileAgreeUnderConcurrentRequests) {
  int port = Start();
  std::vector<std::thread> clients;
  for (int t = 0; t < 4; ++t)
    clients.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) Get(port, "/index.html?c=" + std::to_string(t));
    });
  for (auto& c : clients) c.join();
  window->acActivateExecute();
  std::string expected;
  for (const auto& l : window->Log().Lines()) expected += l + "\r\n";
  EXPECT_EQ(ReadFileBytes(temp / "logs/server.log"), expected);
  std::vector<std::string> shown = view.Log();
  EXPECT_EQ(shown, window->Log().Lines());
}

TEST_F(DispatchTest, SessionPage) {
  int port = Start();
  std::string first = Get(port, "/sessions");
  std::string cookie = HeaderOf(first, "Set-Cookie");
  ASSERT_EQ(cookie.rfind("IDHTTPSESSIONID=", 0), 0u) << first;
  std::string id = cookie.substr(16, 15);
  std::string body = BodyOf(first);
  EXPECT_NE(body.find("<tr><td>SessionID</td><td>" + id + "</td></tr>"), std::string::npos);
  EXPECT_NE(body.find("<tr><td>Number of page requested during this session</td><td></td></tr>"), std::string::npos);
  EXPECT_TRUE(std::regex_search(body, std::regex("<pre>StartTime=[0-9-]{10} [0-9:]{8}\r\n</pre>"))) << body;
  EXPECT_EQ(view.Sessions(), std::vector<std::string>{id});

  std::string sessionCookie = "Cookie: IDHTTPSESSIONID=" + id + "\r\n";
  auto post = [&](const std::string& form) {
    return Exchange(port, "POST /sessions HTTP/1.0\r\n" + sessionCookie +
                              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                              std::to_string(form.size()) + "\r\n\r\n" + form);
  };
  EXPECT_NE(BodyOf(post("ParamName=colour&Param=red")).find("colour=red\r\n</pre>"), std::string::npos);
  EXPECT_EQ(BodyOf(post("ParamName=colour&Param=")).find("colour="), std::string::npos);
  // Inserted values are escaped.
  std::string xss = BodyOf(post("ParamName=x&Param=%3Cscript%3E"));
  EXPECT_EQ(xss.find("<script>"), std::string::npos);
  EXPECT_NE(xss.find("x=&lt;script&gt;"), std::string::npos);

  std::string closed = BodyOf(Get(port, "/sessions?action=CLOSE", "GET", sessionCookie));
  EXPECT_NE(closed.find("<h1>Session cleared</h1>"), std::string::npos);
  EXPECT_TRUE(view.Sessions().empty());
  std::vector<std::string> log = view.Log();
  auto ending = std::find_if(log.begin(), log.end(), [&](const std::string& l) { return l.rfind("Ending session " + id, 0) == 0; });
  ASSERT_NE(ending, log.end());
  ASSERT_NE(ending + 1, log.end());
  EXPECT_EQ((ending + 1)->rfind("Session duration was: ", 0), 0u);
  std::string next = Get(port, "/sessions", "GET", sessionCookie);
  EXPECT_NE(HeaderOf(next, "Set-Cookie").substr(16, 15), id);  // a new session

  // The session list's double click ends a session; an unknown identifier changes nothing.
  std::string live = view.Sessions().at(0);
  window->lbSessionListDblClick("nosuchsession12");
  EXPECT_EQ(view.Sessions().size(), 1u);
  window->lbSessionListDblClick(live);
  EXPECT_TRUE(view.Sessions().empty());
}

TEST_F(DispatchTest, SessionPageWithoutSession) {
  Start();
  THTTPRequestInfo request;
  THTTPResponseInfo response(nullptr);
  request.RequestPath = "/session";
  request.DecodeParams("action=close");
  TTCPConnection unconnected{UniqueFd()};
  TPeerThread thread(unconnected);
  window->ServeSessionPage(thread, request, response);
  EXPECT_EQ(response.BodyText,
            "<html><head><title>Virtual folder</title></head><body><h1>Session cleared</h1><p><a "
            "href=\"/sessions\">Back</a></p></body></html>");
  request.DecodeParams("");
  window->ServeSessionPage(thread, request, response);
  EXPECT_EQ(response.BodyText,
            "<html><head><title>Virtual folder</title></head><body><p color=#FF000>No session</p></body></html>");
  EXPECT_EQ(response.ContentType, "text/HTML");
}

}  // namespace
}  // namespace tamsel
