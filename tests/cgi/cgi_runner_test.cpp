#include "cgi/cgi_runner.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cgi/cgi_environment.h"
#include "cgi/script_folder.h"
#include "engine/http_server.h"
#include "platform/os_error.h"
#include "platform/tcp_connection.h"
#include "platform/text.h"
#include "support/loopback.h"

namespace tamsel {
namespace {

using test::BodyOf;
using test::Exchange;
using test::HeaderOf;
using testing::TScriptFolder;

const char* const kPhp = "/usr/bin/php-cgi";

std::string StatusLine(const std::string& response) { return response.substr(0, response.find("\r\n")); }

// A loopback server whose handler sends ".php" paths to php-cgi and ".exe"
// paths to the program below the root folder, as the server window does.
class CGIRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Bindings = {{"127.0.0.1", 0}};
    server.ServerSoftware = "TestServer";
    runner.Server = &server;
    runner.BeforeExecute = [this](TCGIRunner& sender) {
      EXPECT_EQ(&sender, &runner);
      ++before;
    };
    runner.AfterExecute = [this](TCGIRunner& sender) {
      EXPECT_EQ(&sender, &runner);
      ++after;
    };
    server.OnCommandGet = [this](TPeerThread& thread, THTTPRequestInfo& request, THTTPResponseInfo& response) {
      std::string lower = LowerCase(request.RequestPath);
      std::string script;
      if (lower.find(".php") != std::string::npos)
        script = kPhp;
      else if (lower.find(".exe") != std::string::npos)
        script = root.Path() + CGIScriptName(request.RequestPath);
      else
        return;
      {
        std::lock_guard lock(mutex);
        entries = runner.EnvironmentEntries(script, thread, request, root.Path(), "");
      }
      result = runner.RunScript(script, thread, request, response, root.Path(), "");
    };
    server.OnException = [](TPeerThread&, const std::exception& e) { ADD_FAILURE() << "server: " << e.what(); };
    port = (server.SetActive(true), server.BoundPort());
  }
  void TearDown() override { server.SetActive(false); }

  std::string Get(const std::string& target, const std::string& headers = "") {
    return Exchange(port, "GET " + target + " HTTP/1.0\r\nHost: localhost\r\n" + headers + "\r\n");
  }

  TScriptFolder root;
  THTTPServer server;
  TCGIRunner runner;
  int port = 0;
  std::atomic<int> before{0}, after{0}, result{0};
  std::mutex mutex;
  std::vector<std::string> entries;  // what the last run's child was given
};

TEST_F(CGIRunnerTest, PhpGetsQueryFormAndScriptPath) {
  root.Write("form.php",
             "<?php echo json_encode([$_GET, $_POST, $_SERVER['SCRIPT_FILENAME'], getenv('QUERY_STRING'),"
             " file_get_contents('php://input')]);");
  std::string body = "a=1&b=%41+B";
  struct Case {
    const char* name;
    std::string request, expected;
  };
  const Case cases[] = {
      {"GET with query", "GET /form.php?x=1&y=a%20b HTTP/1.0\r\n\r\n",
       R"([{"x":"1","y":"a b"},[],")" + root.Path() + R"(/form.php","x=1&y=a%20b",""])"},
      {"urlencoded POST with query",
       "POST /form.php?c=3 HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body,
       // php reads Content-Length bytes of its input: the body without the query.
       R"([{"c":"3"},{"a":"1","b":"A B"},")" + root.Path() + R"(/form.php","c=3","a=1&b=%41+B"])"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string response = Exchange(port, c.request);
    EXPECT_EQ(StatusLine(response), "HTTP/1.1 200 OK");
    std::string expected = c.expected;
    // json_encode writes "/" as "\/".
    for (size_t at = 0; (at = expected.find('/', at)) != std::string::npos; at += 2)
      if (at == 0 || expected[at - 1] != '\\') expected.insert(at, "\\");
    EXPECT_EQ(BodyOf(response), expected);
  }
}

TEST_F(CGIRunnerTest, PhpHeadersStatusAndRedirectReachTheClient) {
  root.Write("missing.php", "<?php header('X-Test: yes'); http_response_code(404); echo 'not here';");
  root.Write("move.php", "<?php header('Location: /elsewhere'); header('Status: 301'); echo 'moved';");
  root.Write("cookie.php", "<?php setcookie('k', 'v'); header('Content-Type: text/plain'); echo 'c';");

  std::string missing = Get("/missing.php");
  EXPECT_EQ(StatusLine(missing), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(HeaderOf(missing, "X-Test"), "yes");
  EXPECT_EQ(BodyOf(missing), "not here");

  std::string move = Get("/move.php");
  EXPECT_EQ(StatusLine(move), "HTTP/1.1 302 Moved Temporarily");
  EXPECT_EQ(HeaderOf(move, "Location"), "/elsewhere");
  EXPECT_EQ(BodyOf(move), "moved");

  std::string cookie = Get("/cookie.php");
  EXPECT_EQ(StatusLine(cookie), "HTTP/1.1 200 OK");
  EXPECT_EQ(HeaderOf(cookie, "Set-Cookie"), "k=v");
  EXPECT_EQ(HeaderOf(cookie, "Content-Type"), "text/plain;charset=UTF-8");
  EXPECT_EQ(BodyOf(cookie), "c");
  EXPECT_EQ(before, 3);
  EXPECT_EQ(after, 3);
  EXPECT_EQ(result, -1);  // no length of its own after a translated reply
}

TEST_F(CGIRunnerTest, PhpLargeAndBinaryBodiesArriveUnchanged) {
  root.Write("big.php", "<?php echo str_repeat('0123456789abcdef', 65536);");
  root.Write("bytes.php", "<?php header('Content-Type: application/octet-stream'); echo \"a\\0b\\r\\n\\r\\n\\xff\\0\";");
  std::string big = BodyOf(Get("/big.php"));
  ASSERT_EQ(big.size(), 1048576u);
  for (size_t at = 0; at < big.size(); at += 16) {
    if (big.compare(at, 16, "0123456789abcdef") != 0) {
      ADD_FAILURE() << "differs at " << at;
      break;
    }
  }
  EXPECT_EQ(BodyOf(Get("/bytes.php")), std::string("a\0b\r\n\r\n\xff\0", 9));
}

TEST_F(CGIRunnerTest, ProgramGetsExactlyTheEnvironmentBlock) {
  runner.PHPSupport = false;
  root.Script("cgi-bin/prog.EXE",
              "printf 'Content-Type: application/octet-stream\\r\\n\\r\\n'\n"
              "cat /proc/$$/environ\n");
  // A NUL inside a header value must not add or change a variable.
  std::string agent("User-Agent: probe\0PATH=/evil\r\n", 30);
  std::string response = Get("/cgi-bin/prog.EXE/extra?q=1", "Cache-Control: no-cache\r\n" + agent);
  ASSERT_EQ(StatusLine(response), "HTTP/1.1 200 OK");
  std::vector<std::string> given;
  {
    std::lock_guard lock(mutex);
    given = entries;
  }
  std::string block = CGIEnvironmentBlock(given);
  EXPECT_EQ(BodyOf(response), block.substr(0, block.size() - 1));  // the system keeps no final NUL

  std::vector<std::string> names;
  for (const std::string& entry : given) names.push_back(entry.substr(0, entry.find('=')));
  const std::vector<std::string> order = {
      "SERVER_SOFTWARE", "HTTP_CONTENT_TYPE", "CONTENT_TYPE", "URL", "CONTENT_LENGTH", "HTTP_CONTENT_LENGTH",
      "SERVER_NAME", "SERVER_PROTOCOL", "SERVER_PORT", "GATEWAY_INTERFACE", "REQUEST_METHOD", "SCRIPT_NAME",
      "QUERY_STRING", "REMOTE_ADDR", "REMOTE_HOST", "SystemRoot", "COMSPEC", "WINDIR", "PATH", "PATH_INFO",
      "REQUEST_URI", "PATH_TRANSLATED", "SCRIPT_FILENAME", "HTTP_DATE", "HTTP_CACHE_CONTROL", "HTTP_ACCEPT",
      "HTTP_FROM", "HTTP_HOST", "HTTP_IF_MODIFIED_SINCE", "HTTP_REFERER", "HTTP_CONTENT_ENCODING",
      "HTTP_CONTENT_VERSION", "HTTP_DERIVED_FROM", "HTTP_EXPIRES", "HTTP_TITLE", "HTTP_CONNECTION",
      "HTTP_AUTHORIZATION", "HTTP_ACCEPT_LANGUAGE", "HTTP_ACCEPT_ENCODING", "HTTP_USER_AGENT", "HTTP_COOKIE",
      "SERVER_ADDR", "DOCUMENT_ROOT", "SERVER_ADMIN"};
  EXPECT_EQ(names, order);
  const char* path = std::getenv("PATH");
  for (const std::string& expected :
       {std::string("SERVER_SOFTWARE=TestServer"), std::string("URL=/cgi-bin/prog.EXE"),
        std::string("SCRIPT_NAME=/cgi-bin/prog.EXE"), std::string("PATH_INFO=/cgi-bin/prog.EXE/extra"),
        std::string("REQUEST_URI=/cgi-bin/prog.EXE/extra"), "PATH_TRANSLATED=" + root.Path() + "/cgi-bin/prog.EXE/extra",
        "SCRIPT_FILENAME=" + root.Path() + "/cgi-bin/prog.EXE", std::string("QUERY_STRING=q=1"),
        std::string("SERVER_NAME=localhost"), std::string("SERVER_PORT=") + std::to_string(port),
        std::string("SERVER_ADDR=127.0.0.1"), std::string("REMOTE_ADDR=127.0.0.1"),
        std::string("HTTP_CACHE_CONTROL=no-cache"), std::string("HTTP_USER_AGENT=probe"),
        std::string("PATH=") + (path ? path : ""), "DOCUMENT_ROOT=" + root.Path()}) {
    EXPECT_NE(std::find(given.begin(), given.end(), expected), given.end()) << expected;
  }
}

TEST_F(CGIRunnerTest, OutputWithoutBlankLineGivesAnEmptyHtmlAnswer) {
  for (const char* body : {"printf 'Content-Type: text/plain\\nno crlf\\n\\n'\n", "exit 1\n"}) {
    SCOPED_TRACE(body);
    root.Script("plain.exe", body);
    EXPECT_EQ(Get("/plain.exe"),
              "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\nServer: TestServer\r\n\r\n");
  }
}

TEST_F(CGIRunnerTest, TimeOutAndStartFailureGive500WithTimeOutMsg) {
  runner.TimeOut = 300;
  runner.TimeOutMsg = "<p>stopped</p>\r\n";
  runner.ErrorMsg = "<p>error</p>";
  std::string dir = root.Path();
  root.Script("sleepy.exe", "printf 'Content-Type: text/plain\\r\\n\\r\\nearly'\necho $$ > '" + dir + "/pid'\nexec sleep 30\n");
  root.Write("noexec.exe", "#!/bin/sh\necho hi\n", 0644);
  root.Write("badinterp.exe", "#!/no/such/interpreter\n", 0755);
  for (const char* target : {"/sleepy.exe", "/noexec.exe", "/badinterp.exe"}) {
    SCOPED_TRACE(target);
    int afterBefore = after;
    std::string response = Get(target);
    EXPECT_EQ(StatusLine(response), "HTTP/1.1 500 Internal Server Error");
    EXPECT_EQ(HeaderOf(response, "Content-Length"), "16");
    EXPECT_EQ(BodyOf(response), "<p>stopped</p>\r\n");
    EXPECT_EQ(after, afterBefore + 1);
    EXPECT_EQ(result, 16);
  }
  EXPECT_TRUE(testing::ProcessGone(std::stoi(root.Read("pid"))));
}

TEST_F(CGIRunnerTest, ChildThatLeavesAGrandchildIsAnsweredAndTheGrandchildEnds) {
  runner.TimeOut = 500;
  root.Script("fork.exe", "sleep 30 &\necho $! > '" + root.Path() +
                              "/grandchild'\nprintf 'Content-Type: text/plain\\r\\n\\r\\nparent done'\n");
  std::string response = Get("/fork.exe");
  EXPECT_EQ(StatusLine(response), "HTTP/1.1 200 OK");
  EXPECT_EQ(BodyOf(response), "parent done");
  EXPECT_TRUE(testing::ProcessGone(std::stoi(root.Read("grandchild"))));
}

TEST_F(CGIRunnerTest, ManyRunsLeaveNoDescriptorsThreadsOrZombies) {
  runner.TimeOut = 150;
  root.Script("ok.exe", "cat\nprintf 'Content-Type: text/plain\\r\\n\\r\\nok'\n");
  root.Script("slow.exe", "exec sleep 5\n");
  root.Write("noexec.exe", "x", 0644);
  root.Write("hello.php", "<?php echo 'hello';");
  // Counted with the server stopped: its pool threads and sockets come and go.
  server.SetActive(false);
  int fds = testing::OpenDescriptors();
  int threads = testing::Threads();
  server.SetActive(true);
  port = server.BoundPort();
  for (int i = 0; i < 200; ++i) {
    const char* target = i % 20 == 0   ? "/slow.exe"
                         : i % 20 == 1 ? "/noexec.exe"
                         : i % 4 == 2  ? "/hello.php"
                                       : "/ok.exe?in";
    std::string response = Get(target);
    ASSERT_NE(response.find("\r\n\r\n"), std::string::npos) << target;
  }
  EXPECT_EQ(after, 200);
  server.SetActive(false);
  EXPECT_EQ(testing::OpenDescriptors(), fds);
  EXPECT_EQ(testing::Threads(), threads);
  EXPECT_FALSE(testing::HasZombieChild());
}

// The runner alone, on a connection made of a socket pair.
class RunnerOnPair : public ::testing::Test {
 protected:
  RunnerOnPair() {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    connection = std::make_unique<TTCPConnection>(UniqueFd(fds[0]));
    peer.Reset(fds[1]);
    thread = std::make_unique<TPeerThread>(*connection);
    response = std::make_unique<THTTPResponseInfo>(connection.get());
    request.Method = "GET";
    request.RequestPath = "/x.exe";
  }
  std::string Value(const std::vector<std::string>& env, const std::string& name) {
    for (const std::string& entry : env)
      if (entry.rfind(name + "=", 0) == 0) return entry.substr(name.size() + 1);
    return "<absent>";
  }

  std::unique_ptr<TTCPConnection> connection;
  UniqueFd peer;
  std::unique_ptr<TPeerThread> thread;
  THTTPRequestInfo request;
  std::unique_ptr<THTTPResponseInfo> response;
  TCGIRunner runner;
};

TEST_F(RunnerOnPair, ClientWithoutAHostNameIsStillServed) {
  TScriptFolder folder;
  std::string program = folder.Script("x.exe", "printf 'Content-Type: text/plain\\r\\n\\r\\n%s' \"$REMOTE_HOST\"\n");
  struct Case {
    const char *address, *host;
  } cases[] = {
      {"127.0.0.1", "localhost"},
      {"192.0.2.1", "192.0.2.1"},  // documentation range: no name anywhere
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    request.ClientAddress = c.address;
    EXPECT_EQ(Value(runner.EnvironmentEntries(program, *thread, request, folder.Path(), ""), "REMOTE_HOST"), c.host);
  }
  request.ClientAddress = "192.0.2.1";
  runner.RunScript(program, *thread, request, *response, folder.Path(), "");
  EXPECT_EQ(response->BodyText, "192.0.2.1");
}

TEST_F(RunnerOnPair, ProgramPathWithABlankStartsAndIsPassedUnquoted) {
  TScriptFolder folder;
  std::string program = folder.Script("my tools/x.exe",
                                      "printf 'Content-Type: text/plain\\r\\n\\r\\n%s' \"$SCRIPT_FILENAME\"\n");
  request.ClientAddress = "127.0.0.1";
  int length = runner.RunScript(program, *thread, request, *response, folder.Path(), "");
  EXPECT_EQ(response->StatusCode, 200);
  EXPECT_EQ(response->BodyText, program);
  EXPECT_EQ(length, -1);
}

TEST_F(RunnerOnPair, SettingsDefaults) {
  EXPECT_EQ(runner.Server, nullptr);
  EXPECT_EQ(runner.TimeOut, 5000);
  EXPECT_EQ(runner.TimeOutMsg, "<html><body><h1><center>Process was terminated.</body></html>");
  EXPECT_EQ(runner.ErrorMsg, "<html><body><h1><center>Internal Server Error</body></html>");
  EXPECT_FALSE(runner.ServerAdmin.empty());
  EXPECT_TRUE(runner.PHPSupport);
  EXPECT_EQ(runner.PHPIniPath, "");
  EXPECT_FALSE(runner.BeforeExecute);
  EXPECT_FALSE(runner.AfterExecute);
  // Unlinked: no SERVER_SOFTWARE entry at all.
  request.ClientAddress = "127.0.0.1";
  std::vector<std::string> env = runner.EnvironmentEntries("/bin/true", *thread, request, "/srv", "");
  EXPECT_EQ(Value(env, "SERVER_SOFTWARE"), "<absent>");
  EXPECT_EQ(env.front().rfind("HTTP_CONTENT_TYPE=", 0), 0u);
}

TEST_F(RunnerOnPair, PipeFailureSkipsAfterExecute) {
  int before = 0, after = 0;
  runner.BeforeExecute = [&](TCGIRunner&) { ++before; };
  runner.AfterExecute = [&](TCGIRunner&) { ++after; };
  request.ClientAddress = "127.0.0.1";
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  int probes[2];
  for (int& probe : probes) probe = fcntl(0, F_DUPFD_CLOEXEC, 0);
  for (int probe : probes) close(probe);
  rlimit tight = old;
  tight.rlim_cur = static_cast<rlim_t>(probes[1] + 1);  // one pipe's worth
  // The name lookup may need descriptors of its own: look up first.
  (void)runner.EnvironmentEntries("/bin/true", *thread, request, "/srv", "");
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  request.ClientAddress = "";  // no lookup inside the run
  bool raised = false;
  try {
    runner.RunScript("/bin/true", *thread, request, *response, "/srv", "");
  } catch (const EOSError& e) {
    raised = e.Code() == EMFILE;
  }
  setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_TRUE(raised);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 0);
  EXPECT_FALSE(response->HeaderWritten);
}

}  // namespace
}  // namespace tamsel
