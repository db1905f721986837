// An automatic-reset event: one Wait returns per Signal, the signal is kept
// until someone waits. Ends a pending extension request.
#pragma once

#include <condition_variable>
#include <mutex>

namespace tamsel {

class TDoneEvent {
 public:
  // Notifies under the lock: the waiter may destroy the event as soon as it wakes.
  void Signal() {
    std::lock_guard lock(mutex_);
    signalled_ = true;
    wake_.notify_one();
  }
  // Waits without a time limit, then resets the event.
  void Wait() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool signalled_ = false;
};

}  // namespace tamsel
