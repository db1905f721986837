// Sessions through a running server: the session cookie, lookups per client,
// invalid cookies, the event order, closing sessions, activation and
// deactivation.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <map>
#include <mutex>
#include <thread>

#include "engine/http_server.h"
#include "platform/text.h"
#include "support/loopback.h"

namespace tamsel {
namespace {

using test::BodyOf;
using test::HeaderOf;

// One request on a new connection from the loopback address `source`
// (127.0.0.1, 127.0.0.2, ...); returns everything the server sent.
std::string ExchangeFrom(const char* source, int port, const std::string& request) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  timeval tv{10, 0};
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, source, &local.sin_addr);
  if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return "bind failed";
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<uint16_t>(port));
  remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) return "connect failed";
  ::send(fd.Get(), request.data(), request.size(), MSG_NOSIGNAL);
  std::string out;
  char chunk[4096];
  ssize_t n;
  while ((n = ::recv(fd.Get(), chunk, sizeof chunk, 0)) > 0) out.append(chunk, static_cast<size_t>(n));
  return out;
}

// Every "Set-Cookie: " line of a response text.
std::vector<std::string> SetCookieLines(const std::string& response) {
  std::vector<std::string> lines;
  std::string head = response.substr(0, response.find("\r\n\r\n"));
  size_t at = 0;
  while ((at = head.find("\r\nSet-Cookie: ", at)) != std::string::npos) {
    at += 2;
    size_t end = head.find("\r\n", at);
    lines.push_back(head.substr(at + 12, end == std::string::npos ? std::string::npos : end - at - 12));
  }
  return lines;
}

std::string CookieRequest(const std::string& cookieLine) {
  return "GET /page HTTP/1.0\r\n" + (cookieLine.empty() ? "" : "Cookie: " + cookieLine + "\r\n") + "\r\n";
}

// A server with sessions on that records the events and the session each
// request saw (its identifier as the body).
class HTTPSessionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Bindings = {{"127.0.0.1", 0}};
    server.SetSessionState(true);
    server.AutoStartSession = true;
    server.SessionTimeOut = 1200000;
    server.OnCommandGet = [this](TPeerThread&, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
      Record("handler");
      EXPECT_EQ(req.SessionRef, resp.SessionRef);
      resp.BodyText = req.SessionRef ? req.SessionRef->SessionID() : "none";
      ++handled;
    };
    server.OnSessionStart = [this](THTTPSession& s) {
      std::lock_guard guard(mutex);
      events.push_back("start " + s.SessionID());
      ++starts[s.SessionID()];
    };
    server.OnSessionEnd = [this](THTTPSession& s) {
      std::lock_guard guard(mutex);
      events.push_back("end " + s.SessionID());
      ++ends[s.SessionID()];
    };
    server.OnInvalidSession = [this](TPeerThread&, THTTPRequestInfo&, THTTPResponseInfo&, bool& go,
                                     const std::string& id) {
      Record("invalid " + id);
      go = continueOnInvalid;
    };
  }
  void TearDown() override { server.SetActive(false); }

  int Start() {
    server.SetActive(true);
    return server.BoundPort();
  }
  void Record(const std::string& event) {
    std::lock_guard guard(mutex);
    events.push_back(event);
  }
  std::vector<std::string> Events() {
    std::lock_guard guard(mutex);
    return std::exchange(events, {});
  }

  std::mutex mutex;
  std::vector<std::string> events;
  std::map<std::string, int> starts, ends;  // guarded by mutex while the server runs
  std::atomic<int> handled{0};
  bool continueOnInvalid = true;
  THTTPServer server;
};

TEST_F(HTTPSessionsTest, NewSessionGetsOneCookieAndLaterRequestsReuseIt) {
  int port = Start();
  std::string first = ExchangeFrom("127.0.0.1", port, CookieRequest(""));
  std::string id = BodyOf(first);
  ASSERT_EQ(id.size(), 15u) << first;
  EXPECT_EQ(id.find('0'), std::string::npos);
  EXPECT_EQ(SetCookieLines(first), std::vector<std::string>{"IDHTTPSESSIONID=" + id + "; path=/"});
  EXPECT_EQ(Events(), (std::vector<std::string>{"start " + id, "handler"}));

  // The same cookie again, its name and identifier in another letter case.
  for (const std::string& cookie : {"IDHTTPSESSIONID=" + id, "idhttpsessionid=" + UpperCase(id)}) {
    std::string again = ExchangeFrom("127.0.0.1", port, CookieRequest("lang=de; " + cookie));
    EXPECT_EQ(BodyOf(again), id) << cookie;
    EXPECT_TRUE(SetCookieLines(again).empty()) << again;
  }
  EXPECT_EQ(Events(), (std::vector<std::string>{"handler", "handler"}));
  EXPECT_EQ(server.SessionList().Count(), 1u);
}

TEST_F(HTTPSessionsTest, CookieFromAnotherClientAddressIsInvalid) {
  int port = Start();
  std::string id = BodyOf(ExchangeFrom("127.0.0.1", port, CookieRequest("")));
  Events();
  std::string other = ExchangeFrom("127.0.0.2", port, CookieRequest("IDHTTPSESSIONID=" + id));
  std::string second = BodyOf(other);
  ASSERT_EQ(second.size(), 15u) << other;
  EXPECT_NE(second, id);
  EXPECT_EQ(Events(), (std::vector<std::string>{"invalid " + id, "start " + second, "handler"}));
  EXPECT_EQ(server.SessionList().Count(), 2u);
}

TEST_F(HTTPSessionsTest, OnlyTheSecondOfTwoSessionCookiesIsLive) {
  int port = Start();
  std::string id = BodyOf(ExchangeFrom("127.0.0.1", port, CookieRequest("")));
  Events();
  std::string reply =
      ExchangeFrom("127.0.0.1", port, CookieRequest("IDHTTPSESSIONID=stale; IDHTTPSESSIONID=" + id +
                                                    "; IDHTTPSESSIONID=alsostale"));
  EXPECT_EQ(BodyOf(reply), id);
  EXPECT_TRUE(SetCookieLines(reply).empty());
  EXPECT_EQ(Events(), (std::vector<std::string>{"invalid stale", "handler"}));
}

TEST_F(HTTPSessionsTest, InvalidSessionHandlerStoppingTheRequestStopsHandlerAndNewSession) {
  continueOnInvalid = false;
  int port = Start();
  std::string reply = ExchangeFrom("127.0.0.1", port, CookieRequest("IDHTTPSESSIONID=a; IDHTTPSESSIONID=b"));
  // Both cookies are still reported; no session, no handler, the untouched response.
  EXPECT_EQ(Events(), (std::vector<std::string>{"invalid a", "invalid b"}));
  EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
  EXPECT_TRUE(SetCookieLines(reply).empty());
  EXPECT_EQ(BodyOf(reply), "");
  EXPECT_EQ(handled, 0);
  EXPECT_EQ(server.SessionList().Count(), 0u);
}

TEST_F(HTTPSessionsTest, SessionMadeByCreateHandlerStartsInsideItAndIsListed) {
  server.OnCreateSession = [this](TPeerThread&, std::shared_ptr<THTTPSession>& session) {
    Record("create");
    EXPECT_EQ(session, nullptr);
    session = std::make_shared<THTTPSession>(&server.SessionList(), "HandlerMadeSess", "127.0.0.1");
    Record("create done");
  };
  int port = Start();
  std::string reply = ExchangeFrom("127.0.0.1", port, CookieRequest("IDHTTPSESSIONID=gone"));
  EXPECT_EQ(Events(), (std::vector<std::string>{"invalid gone", "create", "start HandlerMadeSess", "create done",
                                                "handler"}));
  EXPECT_EQ(SetCookieLines(reply), std::vector<std::string>{"IDHTTPSESSIONID=HandlerMadeSess; path=/"});
  EXPECT_EQ(BodyOf(ExchangeFrom("127.0.0.1", port, CookieRequest("IDHTTPSESSIONID=handlermadesess"))),
            "HandlerMadeSess");
}

TEST_F(HTTPSessionsTest, NoSessionStartsWithoutAutoStartOrWithSessionsOff) {
  struct Case {
    bool state, autoStart;
    int32_t timeOut;
  } cases[] = {{true, false, 1200000}, {false, true, 1200000}, {true, true, 0}};
  for (const Case& c : cases) {
    server.SetSessionState(c.state);
    server.AutoStartSession = c.autoStart;
    server.SessionTimeOut = c.timeOut;
    int port = Start();
    EXPECT_EQ(server.CleanerThread() != nullptr, c.state && c.timeOut != 0);
    std::string reply = ExchangeFrom("127.0.0.1", port, CookieRequest(""));
    EXPECT_EQ(BodyOf(reply), "none");
    EXPECT_TRUE(SetCookieLines(reply).empty());
    server.SetActive(false);
    // A time-out of 0 has switched sessions off for good.
    EXPECT_EQ(server.SessionState(), c.state && c.timeOut != 0);
  }
  EXPECT_TRUE(starts.empty());
}

TEST_F(HTTPSessionsTest, SessionStateCannotChangeWhileActive) {
  Start();
  try {
    server.SetSessionState(false);
    FAIL() << "no exception";
  } catch (const EHTTPCannotSwitchSessionStateWhenActive& e) {
    EXPECT_STREQ(e.what(), "Cannot change session state when the server is active.");
  }
  EXPECT_TRUE(server.SessionState());
  server.SetActive(false);
  server.SetSessionState(false);
  EXPECT_FALSE(server.SessionState());
}

TEST_F(HTTPSessionsTest, CloseSessionEndsAnyClientsSessionOnce) {
  int port = Start();
  std::string id = BodyOf(ExchangeFrom("127.0.0.2", port, CookieRequest("")));
  ASSERT_EQ(id.size(), 15u);
  EXPECT_FALSE(server.CloseSession("nosuchsession"));
  EXPECT_TRUE(server.CloseSession(LowerCase(id)));
  EXPECT_FALSE(server.CloseSession(id));
  EXPECT_EQ(ends[id], 1);
  // The browser's next request brings the dead cookie and gets a new session.
  std::string reply = ExchangeFrom("127.0.0.2", port, CookieRequest("IDHTTPSESSIONID=" + id));
  EXPECT_NE(BodyOf(reply), id);
  EXPECT_EQ(SetCookieLines(reply).size(), 1u);
}

// A handler ends the request's session (as the session page's close action
// does) and goes on using it; a second request of the same session running at
// the same time keeps its reference too.
TEST_F(HTTPSessionsTest, HandlerEndingItsSessionKeepsUsingIt) {
  int port = Start();
  std::string id = BodyOf(ExchangeFrom("127.0.0.1", port, CookieRequest("")));
  server.OnCommandGet = [this](TPeerThread&, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
    ASSERT_TRUE(req.SessionRef);
    req.SessionRef->SessionValues().SetValue("Seen", "yes");
    bool endedHere = req.SessionRef->End();
    resp.BodyText = std::string(endedHere ? "ended " : "already ") + req.SessionRef->SessionValues().Value("seen");
  };
  std::string reply = ExchangeFrom("127.0.0.1", port, CookieRequest("IDHTTPSESSIONID=" + id));
  EXPECT_EQ(BodyOf(reply), "ended yes");
  EXPECT_EQ(ends[id], 1);
  EXPECT_EQ(server.SessionList().Count(), 0u);
}

TEST_F(HTTPSessionsTest, DeactivationEndsEachLiveSessionOnceAndReactivationStartsEmpty) {
  int port = Start();
  std::vector<std::string> ids;
  for (int i = 0; i < 5; ++i) ids.push_back(BodyOf(ExchangeFrom("127.0.0.1", port, CookieRequest(""))));
  server.CloseSession(ids[2]);
  server.SetActive(false);
  EXPECT_EQ(server.CleanerThread(), nullptr);
  for (const auto& id : ids) EXPECT_EQ(ends[id], 1) << id;
  EXPECT_EQ(ends.size(), 5u);
  EXPECT_EQ(server.SessionList().Count(), 0u);

  port = Start();
  std::string reply = ExchangeFrom("127.0.0.1", port, CookieRequest("IDHTTPSESSIONID=" + ids[0]));
  EXPECT_NE(BodyOf(reply), ids[0]);
  EXPECT_EQ(server.SessionList().Count(), 1u);
}

TEST_F(HTTPSessionsTest, FailedListenerStartLeavesNoCleanerRunning) {
  int port = Start();
  THTTPServer second;
  second.Bindings = {{"127.0.0.1", port}};
  second.SetSessionState(true);
  second.SessionTimeOut = 1000;
  EXPECT_THROW(second.SetActive(true), ESocketError);
  EXPECT_FALSE(second.Active());
  EXPECT_EQ(second.CleanerThread(), nullptr);
}

// Requests on several connections start, reuse and close sessions while the
// cleaner expires them; every session that started ends exactly once.
TEST_F(HTTPSessionsTest, ConcurrentRequestsEndEverySessionOnce) {
  server.SessionTimeOut = 50;
  int port = Start();
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      std::string source = "127.0.0." + std::to_string(c + 1);
      std::string id;
      for (int i = 0; i < 40; ++i) {
        std::string reply = ExchangeFrom(source.c_str(), port, CookieRequest(id.empty() ? "" : "IDHTTPSESSIONID=" + id));
        id = BodyOf(reply);
        if (i % 7 == 6) server.CloseSession(id);
      }
    });
  }
  for (auto& t : clients) t.join();
  server.SetActive(false);
  std::lock_guard guard(mutex);
  ASSERT_FALSE(starts.empty());
  EXPECT_EQ(ends.size(), starts.size());
  for (const auto& [id, n] : starts) {
    EXPECT_EQ(n, 1) << id;
    EXPECT_EQ(ends[id], 1) << id;
  }
}

}  // namespace
}  // namespace tamsel
