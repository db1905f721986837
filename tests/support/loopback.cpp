#include "support/loopback.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <stdexcept>

#include "platform/text.h"

namespace tamsel::test {

LoopbackClient::LoopbackClient(int port) {
  fd_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  timeval tv{10, 0};
  ::setsockopt(fd_.Get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error("connect failed");
}

void LoopbackClient::Send(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd_.Get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the server may close early; the test reads what it got
    sent += static_cast<size_t>(n);
  }
}

void LoopbackClient::ShutdownWrite() { ::shutdown(fd_.Get(), SHUT_WR); }

bool LoopbackClient::Fill() {
  char chunk[65536];
  ssize_t n;
  // A receive time-out makes reads fail with EINTR whenever a child of this
  // process ends (CGI runs in the server): read again.
  do {
    n = ::recv(fd_.Get(), chunk, sizeof chunk, 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  buffer_.append(chunk, static_cast<size_t>(n));
  return true;
}

std::string LoopbackClient::ReadAll() {
  while (Fill()) {
  }
  return std::exchange(buffer_, std::string());
}

std::string LoopbackClient::ReadResponse() {
  size_t end;
  while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
    if (!Fill()) return std::exchange(buffer_, std::string());
  std::string length = HeaderOf(buffer_.substr(0, end + 4), "Content-Length");
  size_t total = end + 4 + (length.empty() ? 0 : std::stoul(length));
  while (buffer_.size() < total)
    if (!Fill()) break;
  std::string response = buffer_.substr(0, total);
  buffer_.erase(0, total);
  return response;
}

bool LoopbackClient::ServerClosed() {
  char c;
  ssize_t n;
  do {
    n = ::recv(fd_.Get(), &c, 1, 0);
  } while (n < 0 && errno == EINTR);
  return n == 0;
}

std::string Exchange(int port, const std::string& request) {
  LoopbackClient client(port);
  client.Send(request);
  return client.ReadAll();
}

std::string BodyOf(const std::string& response) {
  size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : response.substr(end + 4);
}

std::string HeaderOf(const std::string& response, const std::string& name) {
  size_t end = response.find("\r\n\r\n");
  std::string head = response.substr(0, end);
  size_t pos = 0;
  while (pos < head.size()) {
    size_t eol = head.find("\r\n", pos);
    if (eol == std::string::npos) eol = head.size();
    std::string line = head.substr(pos, eol - pos);
    size_t colon = line.find(':');
    if (colon != std::string::npos && SameText(line.substr(0, colon), name)) return Trim(line.substr(colon + 1));
    pos = eol + 2;
  }
  return {};
}

namespace {
int CountEntries(const char* path) {
  int n = 0;
  if (DIR* d = ::opendir(path)) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') ++n;
    ::closedir(d);
  }
  return n;
}
}  // namespace

int OpenDescriptorCount() { return CountEntries("/proc/self/fd") - 1; }  // less the listing's own
int ThreadCount() { return CountEntries("/proc/self/task"); }

}  // namespace tamsel::test
