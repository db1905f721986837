#include "platform/thread.h"

#include <sched.h>

#include <chrono>
#include <cstring>

#include "platform/errors.h"
#include "platform/text.h"

namespace tamsel {

TThread::~TThread() {
  if (started_) {
    Terminate();
    WaitFor();
  }
}

void TThread::Start(std::function<void()> body, size_t stackSize) {
  body_ = std::move(body);
  terminated_ = false;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stackSize);
  int rc = pthread_create(
      &handle_, &attr,
      [](void* self) -> void* {
        static_cast<TThread*>(self)->body_();
        return nullptr;
      },
      this);
  pthread_attr_destroy(&attr);
  if (rc != 0) throw EThreadError(Format("Cannot create thread. %s", std::strerror(rc)));
  started_ = true;
}

void TThread::Terminate() {
  {
    std::lock_guard lock(mutex_);
    terminated_.store(true, std::memory_order_release);
  }
  wake_.notify_all();
}

void TThread::WaitFor() {
  if (!started_) return;
  pthread_join(handle_, nullptr);
  started_ = false;
}

bool TThread::Sleep(int ms) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Terminated(); });
  return !Terminated();
}

void TThread::LowerCurrentPriority() {
  struct sched_param param {};
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
}

void TThread::RestoreCurrentPriority() {
  struct sched_param param {};
  pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
}

}  // namespace tamsel
