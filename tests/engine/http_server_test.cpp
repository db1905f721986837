#include "engine/http_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>

#include "support/loopback.h"

namespace tamsel {
namespace {

using test::BodyOf;
using test::Exchange;
using test::HeaderOf;
using test::LoopbackClient;

class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Bindings = {{"127.0.0.1", 0}};
    server.ServerSoftware = "TestServer";
    server.OnCommandGet = [this](TPeerThread& t, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
      {
        std::lock_guard lock(mutex);
        last.Method = req.Method;
        last.RequestPath = req.RequestPath;
        last.QueryText = req.QueryText;
        last.ProtocolVersion = req.ProtocolVersion;
        last.FormText = req.FormText;
        last.ParamText = req.ParamText;
        last.Params = req.ParamList.Lines();
        last.Host = req.Host;
        ++calls;
      }
      if (handler) handler(t, req, resp);
    };
  }
  void TearDown() override { server.SetActive(false); }
  int Start() {
    server.SetActive(true);
    return server.BoundPort();
  }

  struct Seen {
    std::string Method, RequestPath, QueryText, ProtocolVersion, FormText, ParamText, Host;
    std::vector<std::string> Params;
  };
  THTTPServer server;
  THTTPGetEvent handler;
  std::mutex mutex;
  Seen last;
  int calls = 0;
};

TEST_F(HttpServerTest, ExactWireFormOfATextBody) {
  handler = [](TPeerThread&, THTTPRequestInfo&, THTTPResponseInfo& resp) { resp.BodyText = "hello"; };
  int port = Start();
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"),
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\nContent-Length: 5\r\n"
            "Server: TestServer\r\n\r\nhello");
}

TEST_F(HttpServerTest, HandlerThatSetsNothingSendsHeaderOnly) {
  int port = Start();
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"),
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\nServer: TestServer\r\n\r\n");
}

TEST_F(HttpServerTest, RequestLineSplitting) {
  struct Case {
    const char* line;
    const char *method, *path, *query, *version;
  } cases[] = {
      {"get /a HTTP/1.0", "GET", "/a", "", "HTTP/1.0"},
      {"GET /a%20b/c%2Fd.html?x=1 HTTP/1.1", "GET", "/a b/c/d.html", "x=1", "HTTP/1.1"},
      {"GET / HTTP/1.0 ", "GET", "/ HTTP/1.0", "", ""},
      {"GET /", "GET", "", "", "/"},
      {"GET /dir\\file.txt HTTP/1.0", "GET", "/dir/file.txt", "", "HTTP/1.0"},
      {"GET /a%5Cb HTTP/1.0", "GET", "/a\\b", "", "HTTP/1.0"},
      {"GET /x%00y%zz% HTTP/1.0", "GET", "/xy", "", "HTTP/1.0"},
      {"GET * HTTP/1.0", "GET", "*", "", "HTTP/1.0"},
  };
  int port = Start();
  for (const auto& c : cases) {
    std::string response = Exchange(port, std::string(c.line) + "\r\n\r\n");
    EXPECT_EQ(response.substr(0, 15), "HTTP/1.1 200 OK") << c.line;
    std::lock_guard lock(mutex);
    EXPECT_EQ(last.Method, c.method) << c.line;
    EXPECT_EQ(last.RequestPath, c.path) << c.line;
    EXPECT_EQ(last.QueryText, c.query) << c.line;
    EXPECT_EQ(last.ProtocolVersion, c.version) << c.line;
  }
}

TEST_F(HttpServerTest, BadRequestsGetNoAnswer) {
  std::string longHeader = "GET / HTTP/1.0\r\nX-Long: " + std::string(20000, 'a') + "\r\n\r\n";
  std::string manyHeaders = "GET / HTTP/1.0\r\n";
  for (int i = 0; i < 1001; ++i) manyHeaders += "X-" + std::to_string(i) + ": v\r\n";
  manyHeaders += "\r\n";
  const std::string cases[] = {"NOBLANK\r\n\r\n", "\r\n", longHeader, manyHeaders,
                               "GET / HTTP/1.0\r\nHost: x\r\n" /* the client gives up mid-request */};
  int port = Start();
  for (const auto& request : cases) {
    LoopbackClient client(port);
    client.Send(request);
    client.ShutdownWrite();
    EXPECT_EQ(client.ReadAll(), "") << request.substr(0, 40);
  }
  EXPECT_EQ(calls, 0);
}

TEST_F(HttpServerTest, AbsoluteTargetGivesHost) {
  int port = Start();
  Exchange(port, "GET http://h:81/p/q.html HTTP/1.0\r\n\r\n");
  EXPECT_EQ(last.RequestPath, "/p/q.html");
  EXPECT_EQ(last.Host, "h");
  Exchange(port, "GET http://h:81/p/q.html HTTP/1.0\r\nHost: given\r\n\r\n");
  EXPECT_EQ(last.Host, "given");
}

TEST_F(HttpServerTest, FormPosts) {
  struct Case {
    const char* contentType;
    std::vector<std::string> params;
  } cases[] = {
      {"Application/X-WWW-Form-URLEncoded", {"a=1", "b=A B", "c=3"}},
      {"application/x-www-form-urlencoded; charset=x", {"c=3"}},
  };
  int port = Start();
  for (const auto& c : cases) {
    std::string body = "a=1&b=%41+B";
    Exchange(port, std::string("POST /f?c=3 HTTP/1.0\r\nContent-Type: ") + c.contentType +
                       "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    std::lock_guard lock(mutex);
    EXPECT_EQ(last.FormText, body);
    EXPECT_EQ(last.ParamText, body + "&c=3");
    EXPECT_EQ(last.QueryText, "c=3");
    EXPECT_EQ(last.Params, c.params) << c.contentType;
  }
}

TEST_F(HttpServerTest, PostWithoutLengthIsReadUntilClose) {
  int port = Start();
  LoopbackClient client(port);
  client.Send("POST /p HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
  client.ShutdownWrite();
  client.ReadAll();
  std::lock_guard lock(mutex);
  EXPECT_EQ(last.FormText, "5\r\nhello\r\n0\r\n\r\n");
}

TEST_F(HttpServerTest, OversizedBodiesGet413WithoutBeingRead) {
  server.MaxContentLength = 1000;
  int port = Start();
  std::string response = Exchange(port, "POST /p HTTP/1.0\r\nContent-Length: 1001\r\n\r\n");
  EXPECT_EQ(response.substr(0, response.find("\r\n")), "HTTP/1.1 413 Request Entity To Long");
  EXPECT_EQ(HeaderOf(response, "Connection"), "close");

  LoopbackClient client(port);
  client.Send("POST /p HTTP/1.0\r\n\r\n" + std::string(2000, 'x'));
  client.ShutdownWrite();
  std::string unbounded = client.ReadAll();
  EXPECT_EQ(unbounded.substr(0, 12), "HTTP/1.1 413");
  EXPECT_EQ(calls, 0);
}

TEST_F(HttpServerTest, KeepAlive) {
  server.KeepAlive = true;
  handler = [](TPeerThread&, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
    if (req.RequestPath == "/missing") resp.SetStatus(404);
    resp.BodyText = "ok";
  };
  int port = Start();
  {
    LoopbackClient client(port);
    client.Send("GET /1 HTTP/1.1\r\nConnection: keep-alive\r\n\r\n");
    std::string first = client.ReadResponse();
    EXPECT_EQ(HeaderOf(first, "Connection"), "keep-alive");
    client.Send("GET /2 HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n");
    EXPECT_EQ(BodyOf(client.ReadResponse()), "ok");
    client.Send("GET /missing HTTP/1.1\r\nConnection: keep-alive\r\n\r\n");
    std::string missing = client.ReadResponse();
    EXPECT_EQ(HeaderOf(missing, "Connection"), "close");
    EXPECT_TRUE(client.ServerClosed());
  }
  for (const char* header : {"Connection: close\r\n", ""}) {
    LoopbackClient client(port);
    client.Send(std::string("GET /1 HTTP/1.1\r\n") + header + "\r\n");
    client.ReadResponse();
    EXPECT_TRUE(client.ServerClosed()) << header;
  }
}

TEST_F(HttpServerTest, HandlerFailureBecomes500) {
  handler = [](TPeerThread&, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
    if (req.RequestPath == "/late") resp.SendHeader();
    throw std::runtime_error("boom");
  };
  int port = Start();
  std::string response = Exchange(port, "GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(response.substr(0, response.find("\r\n")), "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(HeaderOf(response, "Content-Length"), "4");
  EXPECT_EQ(BodyOf(response), "boom");

  std::string late = Exchange(port, "GET /late HTTP/1.0\r\n\r\n");
  EXPECT_EQ(late.substr(0, 15), "HTTP/1.1 200 OK");  // the header was out already
  EXPECT_EQ(BodyOf(late), "boom");
}

TEST_F(HttpServerTest, SecondSendHeaderRaisesAndSendsNothing) {
  handler = [](TPeerThread&, THTTPRequestInfo&, THTTPResponseInfo& resp) {
    resp.SendHeader();
    resp.SendHeader();
  };
  int port = Start();
  std::string response = Exchange(port, "GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(BodyOf(response), "Header has already been written.");
  EXPECT_EQ(response.find("HTTP/1.1", 1), std::string::npos);
}

TEST_F(HttpServerTest, OtherMethodsReachTheirHandler) {
  std::string seen;
  std::mutex m;
  server.OnCommandOther = [&](TPeerThread& t, const std::string& cmd, const std::string& data, const std::string& ver) {
    std::lock_guard lock(m);
    seen = cmd + "|" + data + "|" + ver;
    t.Connection.Write("HTTP/1.1 200 OK\r\n\r\n");
  };
  int port = Start();
  EXPECT_EQ(Exchange(port, "delete /x?y=1 HTTP/1.1\r\n\r\n"), "HTTP/1.1 200 OK\r\n\r\n");
  std::lock_guard lock(m);
  EXPECT_EQ(seen, "DELETE|/x?y=1|HTTP/1.1");
}

TEST_F(HttpServerTest, SendFileAndStreams) {
  std::string path = ::testing::TempDir() + "sendfile_test.txt";
  std::ofstream(path) << "file body";
  std::string empty = ::testing::TempDir() + "sendfile_empty.txt";
  std::ofstream{empty};
  std::atomic<int64_t> sent{-1};
  handler = [&](TPeerThread& t, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
    if (req.RequestPath == "/file") sent = server.SendFile(t, resp, path);
    if (req.RequestPath == "/empty") sent = server.SendFile(t, resp, empty);
    if (req.RequestPath == "/stream") resp.SetBodyStream(std::make_unique<TStringStream>("streamed"));
    if (req.RequestPath == "/redirect") resp.RedirectTo("/elsewhere");
  };
  int port = Start();
  std::string file = Exchange(port, "GET /file HTTP/1.0\r\n\r\n");
  EXPECT_EQ(HeaderOf(file, "Content-Type"), "text/html");
  EXPECT_EQ(HeaderOf(file, "Content-Length"), "9");
  EXPECT_EQ(BodyOf(file), "file body");
  EXPECT_EQ(sent, 9);
  std::string none = Exchange(port, "GET /empty HTTP/1.0\r\n\r\n");
  EXPECT_EQ(HeaderOf(none, "Content-Length"), "0");
  EXPECT_EQ(BodyOf(none), "");
  EXPECT_EQ(sent, 0);
  std::string stream = Exchange(port, "GET /stream HTTP/1.0\r\n\r\n");
  EXPECT_EQ(HeaderOf(stream, "Content-Length"), "8");
  EXPECT_EQ(BodyOf(stream), "streamed");
  std::string redirect = Exchange(port, "GET /redirect HTTP/1.0\r\n\r\n");
  EXPECT_EQ(redirect.substr(0, redirect.find("\r\n")), "HTTP/1.1 302 Moved Temporarily");
  EXPECT_GT(redirect.find("Location: /elsewhere"), redirect.find("Server: TestServer"));
}

TEST_F(HttpServerTest, FilesOfEverySizeArriveWholeOnAKeptConnection) {
  // Small files leave with their header, larger ones by a file send after it:
  // either way the bytes are the file's and each reply arrives complete while
  // the connection stays open (nothing held back waiting for more).
  const size_t sizes[] = {0, 1, 100, 16383, 16384, 16385, 300000};
  std::vector<std::string> paths, contents;
  for (size_t size : sizes) {
    std::string text;
    for (size_t i = 0; i < size; ++i) text += static_cast<char>('a' + (i * 7 + i / 13) % 26);
    paths.push_back(::testing::TempDir() + "sendfile_size_" + std::to_string(size) + ".bin");
    std::ofstream(paths.back(), std::ios::binary) << text;
    contents.push_back(text);
  }
  std::atomic<int64_t> sent{-1};
  handler = [&](TPeerThread& t, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
    size_t index = static_cast<size_t>(std::stoul(req.RequestPath.substr(1)));
    sent = server.SendFile(t, resp, paths[index]);
  };
  server.KeepAlive = true;
  int port = Start();
  LoopbackClient client(port);
  for (size_t i = 0; i < std::size(sizes); ++i) {
    client.Send("GET /" + std::to_string(i) + " HTTP/1.1\r\nConnection: Keep-alive\r\n\r\n");
    std::string reply = client.ReadResponse();
    EXPECT_EQ(reply.substr(0, 17), "HTTP/1.1 200 OK\r\n") << sizes[i];
    EXPECT_EQ(HeaderOf(reply, "Content-Length"), std::to_string(sizes[i]));
    EXPECT_TRUE(BodyOf(reply) == contents[i]) << sizes[i] << " bytes: body differs";
  }
  // The count returned is the bytes sent (read once the server closed, so the handler has returned).
  for (size_t i = 0; i < std::size(sizes); ++i) {
    std::string reply = Exchange(port, "GET /" + std::to_string(i) + " HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(BodyOf(reply) == contents[i]) << sizes[i];
    EXPECT_EQ(sent, static_cast<int64_t>(sizes[i]));
  }
}

TEST_F(HttpServerTest, DeactivationStopsBlockedConnectionsAndPortIsReusable) {
  int port = Start();
  LoopbackClient idle(port);
  idle.Send("GET / HTTP/1.0\r\n");  // the server now waits for more header lines
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  server.SetActive(false);
  EXPECT_TRUE(idle.ServerClosed());
  server.Bindings = {{"127.0.0.1", port}};
  ASSERT_NO_THROW(server.SetActive(true));
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
}

TEST_F(HttpServerTest, PortInUseRaisesAndLeavesNothingRunning) {
  int port = Start();
  THTTPServer other;
  other.Bindings = {{"127.0.0.1", port}};
  int threads = test::ThreadCount();
  EXPECT_THROW(other.SetActive(true), ECouldNotBindSocket);
  EXPECT_FALSE(other.Active());
  EXPECT_EQ(test::ThreadCount(), threads);
}

TEST_F(HttpServerTest, ThousandConnectionsLeakNothing) {
  handler = [](TPeerThread&, THTTPRequestInfo&, THTTPResponseInfo& resp) { resp.BodyText = "x"; };
  int fds = test::OpenDescriptorCount();
  int threads = test::ThreadCount();
  int port = Start();
  std::vector<std::thread> clients;
  for (int t = 0; t < 4; ++t) {
    clients.emplace_back([port, t] {
      for (int i = 0; i < 250; ++i) {
        LoopbackClient client(port);
        if ((i + t) % 5 == 0) {
          client.Send("GET / HTTP/1.0\r\nHost: x");  // closes in the middle of a request
          client.ShutdownWrite();
        } else {
          client.Send("GET / HTTP/1.0\r\n\r\n");
        }
        client.ReadAll();
      }
    });
  }
  for (auto& c : clients) c.join();
  server.SetActive(false);
  EXPECT_EQ(test::OpenDescriptorCount(), fds);
  EXPECT_EQ(test::ThreadCount(), threads);
}

}  // namespace
}  // namespace tamsel
