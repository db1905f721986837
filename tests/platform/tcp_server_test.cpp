// The TCP server's worker pool: many connections held at once, addresses and
// options of an accepted socket, stopping with workers blocked in accept and
// in reads, and starting again.
#include "platform/tcp_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "support/loopback.h"

namespace tamsel {
namespace {

// Answers each line with "port-of-peer line" and records what the connection saw.
class TEchoServer : public TTCPServer {
 public:
  TEchoServer() { Bindings = {{"127.0.0.1", 0}}; }
  ~TEchoServer() override { SetActive(false); }

  std::atomic<int> noDelay{-1};
  std::atomic<int> connects{0};
  std::atomic<int> disconnects{0};
  std::string localIP;
  int localPort = 0;

 protected:
  bool Execute(TPeerThread& thread) override {
    TTCPConnection& c = thread.Connection;
    std::string line = c.ReadLn();
    int on = 0;
    socklen_t len = sizeof on;
    ::getsockopt(c.Handle(), IPPROTO_TCP, TCP_NODELAY, &on, &len);
    noDelay = on;
    localIP = c.LocalIP();
    localPort = c.LocalPort();
    c.WriteLn(c.PeerIP() + ":" + std::to_string(c.PeerPort()) + " " + line);
    return true;
  }
};

class TcpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.OnConnect = [this](TPeerThread&) { ++server.connects; };
    server.OnDisconnect = [this](TPeerThread&) { ++server.disconnects; };
    server.SetActive(true);
    port = server.BoundPort();
  }
  TEchoServer server;
  int port = 0;
};

int LocalPortOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

TEST_F(TcpServerTest, ServesWhileManyIdleConnectionsAreHeldAndAfterThey) {
  // Every held connection occupies a worker; a new one is still served at once.
  std::vector<std::unique_ptr<test::LoopbackClient>> held;
  for (int i = 0; i < 40; ++i) held.push_back(std::make_unique<test::LoopbackClient>(port));
  {
    test::LoopbackClient probe(port);
    probe.Send("ping\r\n");
    probe.ShutdownWrite();
    std::string answer = probe.ReadAll();
    EXPECT_NE(answer.find("127.0.0.1:"), std::string::npos) << answer;
    EXPECT_NE(answer.find(" ping\r\n"), std::string::npos) << answer;
  }
  // The held ones are served too, each on its own worker.
  for (auto& c : held) c->Send("late\r\n");
  for (auto& c : held) {
    c->ShutdownWrite();
    EXPECT_NE(c->ReadAll().find(" late\r\n"), std::string::npos);
  }
  held.clear();
  // Workers that served go back to accepting.
  for (int i = 0; i < 5; ++i) {
    test::LoopbackClient again(port);
    again.Send("again\r\n");
    again.ShutdownWrite();
    EXPECT_NE(again.ReadAll().find(" again\r\n"), std::string::npos);
  }
}

TEST_F(TcpServerTest, AcceptedSocketReportsBothAddressesAndSendsWithoutDelay) {
  test::LoopbackClient client(port);
  client.Send("who\r\n");
  client.ShutdownWrite();
  std::string answer = client.ReadAll();
  // The peer's address is the client's own end.
  EXPECT_EQ(answer.rfind("127.0.0.1:", 0), 0u) << answer;
  EXPECT_EQ(server.localIP, "127.0.0.1");
  EXPECT_EQ(server.localPort, port);
  EXPECT_NE(server.noDelay.load(), 0);
  EXPECT_NE(server.noDelay.load(), -1);
}

TEST_F(TcpServerTest, PeerPortIsTheClientsPort) {
  test::LoopbackClient client(port);
  // The loopback client keeps its descriptor private: a raw socket shows the port.
  UniqueFd raw(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(raw.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  const std::string line = "x\r\n";
  ASSERT_EQ(::send(raw.Get(), line.data(), line.size(), 0), static_cast<ssize_t>(line.size()));
  ::shutdown(raw.Get(), SHUT_WR);
  std::string answer;
  char buffer[256];
  for (ssize_t n; (n = ::recv(raw.Get(), buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<size_t>(n));
  EXPECT_EQ(answer, "127.0.0.1:" + std::to_string(LocalPortOf(raw.Get())) + " x\r\n");
}

TEST_F(TcpServerTest, StopsWithWorkersInAcceptAndInReadsThenStartsAgain) {
  std::vector<std::unique_ptr<test::LoopbackClient>> held;
  for (int i = 0; i < 8; ++i) held.push_back(std::make_unique<test::LoopbackClient>(port));
  // Wait until every held connection is on a worker (connect events seen).
  for (int spin = 0; spin < 400 && server.connects.load() < 8; ++spin) ::poll(nullptr, 0, 5);
  ASSERT_EQ(server.connects.load(), 8);
  server.SetActive(false);  // must return: blocked reads and accepts all end
  EXPECT_FALSE(server.Active());
  EXPECT_EQ(server.disconnects.load(), 8);
  for (auto& c : held) EXPECT_TRUE(c->ServerClosed());

  server.SetActive(true);
  test::LoopbackClient client(server.BoundPort());
  client.Send("back\r\n");
  client.ShutdownWrite();
  EXPECT_NE(client.ReadAll().find(" back\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tamsel
