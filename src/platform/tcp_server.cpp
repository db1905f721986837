#include "platform/tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
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
  wake_.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake_.Valid()) RaiseSocketError(errno);
  {
    std::lock_guard lock(pool_mutex_);
    stopping_ = false;
  }
  listeners_ = std::move(made);
  active_ = true;
  try {
    for (auto& l : listeners_) {
      l->thread = std::make_unique<TThread>();
      Listener* raw = l.get();
      l->thread->Start([this, raw] { AcceptLoop(*raw); }, ThreadStackSize);
    }
  } catch (...) {
    StopListening();
    throw;
  }
}

void TTCPServer::StopListening() {
  uint64_t one = 1;
  if (wake_.Valid()) (void)!::write(wake_.Get(), &one, sizeof one);
  for (auto& l : listeners_)
    if (l->thread) l->thread->WaitFor();
  listeners_.clear();
  std::vector<std::unique_ptr<TThread>> workers;
  {
    std::lock_guard lock(pool_mutex_);
    stopping_ = true;
    for (int fd : live_) ::shutdown(fd, SHUT_RDWR);
    for (int fd : queued_) ::close(fd);
    queued_.clear();
    workers.swap(workers_);
  }
  pool_wake_.notify_all();
  for (auto& w : workers) w->WaitFor();
  wake_.Reset();
  active_ = false;
}

void TTCPServer::AcceptLoop(Listener& listener) {
  pollfd fds[2] = {{listener.socket.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
  for (;;) {
    int n = ::poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    int fd = ::accept4(listener.socket.Get(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::unique_lock lock(pool_mutex_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    queued_.push_back(fd);
    if (idle_workers_ >= queued_.size()) {
      lock.unlock();
      pool_wake_.notify_one();
      continue;
    }
    auto worker = std::make_unique<TThread>();
    try {
      worker->Start([this] { WorkerLoop(); }, ThreadStackSize);
      workers_.push_back(std::move(worker));
    } catch (const EThreadError&) {
      // No thread to spare: the connection waits for a busy worker to finish.
    }
  }
}

void TTCPServer::WorkerLoop() {
  for (;;) {
    int fd;
    {
      std::unique_lock lock(pool_mutex_);
      ++idle_workers_;
      pool_wake_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
      --idle_workers_;
      if (stopping_) return;
      fd = queued_.front();
      queued_.pop_front();
      live_.insert(fd);
    }
    Serve(UniqueFd(fd));
  }
}

void TTCPServer::Serve(UniqueFd fd) {
  int raw = fd.Get();
  {
    TTCPConnection connection(std::move(fd));
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
