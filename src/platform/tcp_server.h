// The TCP server platform: listens on IPv4 bindings, serves every accepted
// connection on a thread of its own (reused from a pool), raises connect,
// disconnect and exception events, and stops every thread on deactivation.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
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
  // Binds, listens and starts the listener threads; raises on failure with nothing left running.
  void StartListening();
  // Stops the listeners and every connection thread, also one blocked in a read.
  void StopListening();

 private:
  struct Listener {
    UniqueFd socket;
    int port = 0;
    std::unique_ptr<TThread> thread;
  };
  void AcceptLoop(Listener& listener);
  void WorkerLoop();
  void Serve(UniqueFd fd);

  bool active_ = false;
  std::vector<std::unique_ptr<Listener>> listeners_;
  UniqueFd wake_;  // eventfd that wakes the listeners on stop

  // The connection pool: queued sockets, live sockets, worker threads.
  std::mutex pool_mutex_;
  std::condition_variable pool_wake_;
  std::deque<int> queued_;
  std::set<int> live_;
  std::vector<std::unique_ptr<TThread>> workers_;
  size_t idle_workers_ = 0;
  bool stopping_ = false;
};

}  // namespace tamsel
