// The background thread that ends expired sessions once a second and ends
// every remaining session when it is told to stop.
#pragma once

#include "engine/session_list.h"
#include "platform/thread.h"

namespace tamsel {

class THTTPSessionCleanerThread : public TThread {
 public:
  static constexpr int kSweepIntervalMs = 1000;

  // Starts the thread at once, at idle priority. It keeps a reference to
  // `list`, which must outlive it.
  explicit THTTPSessionCleanerThread(THTTPCustomSessionList& list, int sweepIntervalMs = kSweepIntervalMs);
  // Stops the thread (ending every session) if it still runs.
  ~THTTPSessionCleanerThread();

  // Tells the thread to stop and waits until it has ended every session and
  // finished.
  void Stop();

 private:
  void Execute();

  THTTPCustomSessionList& list_;
  const int sweepIntervalMs_;
};

}  // namespace tamsel
