// One CGI child process: a program started directly (no shell) in a process
// group of its own, fed its input and drained of its output by one poll loop
// that keeps a single deadline for writing, waiting and reading.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/fd.h"

namespace tamsel {

enum class TChildOutcome {
  Finished,    // the child ended before the deadline; Output() holds what it wrote
  TimedOut,    // the child was still running at the deadline and was killed
  NotStarted,  // the program could not be started; StartError() tells why
};

class TChildProcess {
 public:
  // Makes the input pipe and the output pipe (close-on-exec); raises EOSError
  // when the system refuses.
  TChildProcess();
  // Ends the child's process group and reaps the child if a run left it
  // behind (a failure in the middle of Run).
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // Starts `program` with the program path as its only argument, exactly
  // `environment` as its environment (one entry per string, each cut at its
  // first NUL by the system) and this process's current folder. Its standard
  // input reads `input` and then end of file; its standard output and
  // standard error both go to Output(). Everything happens within `timeoutMs`
  // milliseconds: after that a running child is killed together with its
  // process group. When the child has ended, whatever it started is killed
  // too once its output has come to an end (or at the deadline). The child is
  // always reaped before Run returns. Call once per object.
  TChildOutcome Run(const std::string& program, const std::vector<std::string>& environment,
                    std::string_view input, int timeoutMs);

  // Raw bytes the child wrote (empty after a time-out).
  const std::string& Output() const { return output_; }
  std::string TakeOutput() { return std::move(output_); }
  // errno-style reason of a failed start.
  int StartError() const { return startError_; }
  // The wait status of a finished child (as from waitpid).
  int WaitStatus() const { return waitStatus_; }

 private:
  bool Spawn(const std::string& program, const std::vector<std::string>& environment);
  void Pump(std::string_view input, int timeoutMs, bool* exited);
  void KillGroupAndReap();

  UniqueFd inputRead_, inputWrite_, outputRead_, outputWrite_;
  pid_t pid_ = -1;
  std::string output_;
  int startError_ = 0;
  int waitStatus_ = 0;
};

}  // namespace tamsel
