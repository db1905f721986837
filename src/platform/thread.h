// A joinable thread with a chosen stack size and a stop request flag; the
// base of the connection workers and of helper threads such as the session
// cleaner.
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

namespace tamsel {

class TThread {
 public:
  static constexpr size_t kDefaultStackSize = 256 * 1024;

  TThread() = default;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  // Joins the thread when it is still running (after asking it to stop).
  ~TThread();

  // Starts `body` on a new thread; raises EThreadError when the system refuses.
  void Start(std::function<void()> body, size_t stackSize = kDefaultStackSize);
  // Asks the thread to stop and wakes a Sleep in progress.
  void Terminate();
  bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
  // Waits until the thread has finished.
  void WaitFor();
  bool Running() const { return started_; }
  // Sleeps for `ms` milliseconds or until Terminate; false when terminated.
  bool Sleep(int ms);
  // Runs the thread at the lowest scheduling priority (best effort).
  static void LowerCurrentPriority();
  static void RestoreCurrentPriority();

 private:
  pthread_t handle_{};
  bool started_ = false;
  std::function<void()> body_;
  std::atomic<bool> terminated_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
};

}  // namespace tamsel
