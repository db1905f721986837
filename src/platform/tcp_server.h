// The TCP server platform: listens on IPv4 bindings, serves every accepted
// connection on a thread of its own (reused from a pool), raises connect,
// disconnect and exception events, and stops every thread on deactivation.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/fd.h"
#include "platform/tcp_connection.h"
#include "platform/thread.h"

namespace tamsel {

struct TSocketBinding {
  std::string IP = "0.0.0.0";
  int Port = 0;
};

// The thread serving one connection while it lives.
class TPeerThread {
 public:
  explicit TPeerThread(TTCPConnection& connection) : Connection(connection) {}
  TTCPConnection& Connection;
};

class TTCPServer {
 public:
  TTCPServer();
  virtual ~TTCPServer();
  TTCPServer(const TTCPServer&) = delete;
  TTCPServer& operator=(const TTCPServer&) = delete;

  std::vector<TSocketBinding> Bindings;
  int DefaultPort = 0;
  int ListenQueue;                 // the system maximum by default
  size_t ThreadStackSize = TThread::kDefaultStackSize;

  std::function<void(TPeerThread&)> OnConnect;
  std::function<void(TPeerThread&)> OnDisconnect;
  std::function<void(TPeerThread&, const std::exception&)> OnException;

  bool Active() const { return active_; }
  virtual void SetActive(bool value);
  // The port a binding is listening on (the system's choice for port 0).
  int BoundPort(size_t binding = 0) const;

 protected:
  // Serves the connection; called again and again while it stays connected.
  virtual bool Execute(TPeerThread& thread) = 0;
  // Binds, listens and starts one waiting worker per binding; raises on failure with nothing left running.
  void StartListening();
  // Stops the listeners and every connection thread, also one blocked in a read.
  void StopListening();

 private:
  struct Listener {
    UniqueFd socket;
    int port = 0;
    size_t waiting = 0;  // workers in (or on their way back to) accept; guarded by pool_mutex_
  };
  void StartWorker(Listener& listener);
  void WorkerLoop(Listener& listener);
  void Serve(UniqueFd fd, const sockaddr_in& peer);

  bool active_ = false;
  std::vector<std::unique_ptr<Listener>> listeners_;

  // The worker pool: live sockets and the threads, each of which accepts and
  // serves one connection at a time.
  std::mutex pool_mutex_;
  std::set<int> live_;
  std::vector<std::unique_ptr<TThread>> workers_;
  bool stopping_ = false;
};

}  // namespace tamsel
