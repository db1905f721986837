#include "engine/session_cleaner.h"

namespace tamsel {

THTTPSessionCleanerThread::THTTPSessionCleanerThread(THTTPCustomSessionList& list, int sweepIntervalMs)
    : list_(list), sweepIntervalMs_(sweepIntervalMs) {
  Start([this] { Execute(); });
}

THTTPSessionCleanerThread::~THTTPSessionCleanerThread() { Stop(); }

void THTTPSessionCleanerThread::Stop() {
  Terminate();
  WaitFor();
}

namespace {
// A failing OnSessionEnd handler must not end the thread: the sweep has
// unlisted the sessions all the same, and the next sweep goes on.
void SweepQuietly(THTTPCustomSessionList& list, bool endAll) {
  try {
    list.SweepSessions(endAll);
  } catch (...) {
  }
}
}  // namespace

void THTTPSessionCleanerThread::Execute() {
  LowerCurrentPriority();
  while (!Terminated()) {
    Sleep(sweepIntervalMs_);
    SweepQuietly(list_, Terminated());
  }
  // Stopping: back to normal priority so the final pass does not wait behind
  // busy threads.
  RestoreCurrentPriority();
  SweepQuietly(list_, true);
}

}  // namespace tamsel
