#include "platform/tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/errors.h"
#include "platform/text.h"

namespace tamsel {

namespace {
void IgnoreSigpipe() {
  static const bool done = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)done;
}
}  // namespace

TTCPServer::TTCPServer() : ListenQueue(SOMAXCONN) { IgnoreSigpipe(); }

TTCPServer::~TTCPServer() {
  // A derived server stops itself first; this only catches a base left running.
  if (active_) StopListening();
}

void TTCPServer::SetActive(bool value) {
  if (value == active_) return;
  if (value)
    StartListening();
  else
    StopListening();
}

int TTCPServer::BoundPort(size_t binding) const {
  return binding < listeners_.size() ? listeners_[binding]->port : 0;
}

void TTCPServer::StartListening() {
  std::vector<TSocketBinding> bindings = Bindings;
  if (bindings.empty()) bindings.push_back({"0.0.0.0", DefaultPort});
  std::vector<std::unique_ptr<Listener>> made;
  for (const auto& b : bindings) {
    auto l = std::make_unique<Listener>();
    l->socket.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!l->socket.Valid()) RaiseSocketError(errno);
    int one = 1;
    ::setsockopt(l->socket.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Accepted sockets inherit it: replies leave without waiting for earlier acknowledgements.
    ::setsockopt(l->socket.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(b.Port));
    if (b.Port < 0 || b.Port > 65535 || inet_pton(AF_INET, b.IP.c_str(), &a.sin_addr) != 1)
      throw ECouldNotBindSocket(EINVAL, Format("Could not bind socket. Address and port are invalid: %s:%d.", b.IP.c_str(), b.Port));
    if (::bind(l->socket.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      int code = errno;
      throw ECouldNotBindSocket(code, Format("Could not bind socket. Address and port are already in use or not available: %s:%d. %s",
                                             b.IP.c_str(), b.Port, std::strerror(code)));
    }
    if (::listen(l->socket.Get(), ListenQueue) != 0) RaiseSocketError(errno);
    socklen_t len = sizeof a;
    ::getsockname(l->socket.Get(), reinterpret_cast<sockaddr*>(&a), &len);
    l->port = ntohs(a.sin_port);
    made.push_back(std::move(l));
  }
  {
    std::lock_guard lock(pool_mutex_);
    stopping_ = false;
  }
  listeners_ = std::move(made);
  active_ = true;
  try {
    std::lock_guard lock(pool_mutex_);
    for (auto& l : listeners_) StartWorker(*l);
  } catch (...) {
    StopListening();
    throw;
  }
}

void TTCPServer::StopListening() {
  std::vector<std::unique_ptr<TThread>> workers;
  {
    std::lock_guard lock(pool_mutex_);
    stopping_ = true;
    // A shut-down listening socket ends every accept blocked on it (and every
    // later one) at once; a shut-down connection ends a read blocked on it.
    for (auto& l : listeners_) ::shutdown(l->socket.Get(), SHUT_RDWR);
    for (int fd : live_) ::shutdown(fd, SHUT_RDWR);
    workers.swap(workers_);
  }
  for (auto& w : workers) w->WaitFor();
  listeners_.clear();
  active_ = false;
}

void TTCPServer::StartWorker(Listener& listener) {
  // Called with pool_mutex_ held.
  auto worker = std::make_unique<TThread>();
  Listener* raw = &listener;
  worker->Start([this, raw] { WorkerLoop(*raw); }, ThreadStackSize);
  ++raw->waiting;
  workers_.push_back(std::move(worker));
}

void TTCPServer::WorkerLoop(Listener& listener) {
  // Each worker accepts its own connection and serves it, so no hand-over
  // between threads stands between a connection and its reply. One worker
  // always waits in accept: the one that takes a connection while no other
  // waits starts the next before it serves.
  for (;;) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd = ::accept4(listener.socket.Get(), reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    int code = errno;
    std::unique_lock lock(pool_mutex_);
    if (stopping_) {
      if (fd >= 0) ::close(fd);
      --listener.waiting;
      return;
    }
    if (fd < 0) {
      lock.unlock();
      // Out of descriptors or memory: wait a moment instead of spinning.
      if (code == EMFILE || code == ENFILE || code == ENOBUFS || code == ENOMEM) ::poll(nullptr, 0, 10);
      continue;
    }
    --listener.waiting;
    live_.insert(fd);
    if (listener.waiting == 0) {
      try {
        StartWorker(listener);
      } catch (const EThreadError&) {
        // No thread to spare: the next connection waits until a worker is free.
      }
    }
    lock.unlock();
    Serve(UniqueFd(fd), peer);
    lock.lock();
    if (stopping_) return;
    ++listener.waiting;
  }
}

void TTCPServer::Serve(UniqueFd fd, const sockaddr_in& peer) {
  int raw = fd.Get();
  {
    TTCPConnection connection(std::move(fd), peer);
    TPeerThread thread(connection);
    try {
      if (OnConnect) OnConnect(thread);
      while (connection.Connected()) Execute(thread);
    } catch (const EConnClosedGracefully&) {
      // The peer went away: nothing to report.
    } catch (const std::exception& e) {
      if (OnException) {
        try {
          OnException(thread, e);
        } catch (...) {
        }
      }
    }
    connection.Disconnect();
    if (OnDisconnect) {
      try {
        OnDisconnect(thread);
      } catch (...) {
      }
    }
    std::lock_guard lock(pool_mutex_);
    live_.erase(raw);
  }  // the socket closes here, after it left the live set
}

}  // namespace tamsel
