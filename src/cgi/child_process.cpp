#include "cgi/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

#include "platform/os_error.h"

namespace tamsel {

namespace {

using Clock = std::chrono::steady_clock;

// A close-on-exec descriptor numbered 3 or above, so that the child's
// standard handles can never collide with it; -1 with errno set on failure.
int AboveStandardHandles(int fd) {
  if (fd > STDERR_FILENO) return fd;
  int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  int error = errno;
  ::close(fd);
  errno = error;
  return moved;
}

// Makes one close-on-exec pipe; the errno-style code on failure, else 0.
int MakePipe(UniqueFd* readEnd, UniqueFd* writeEnd) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
  UniqueFd writer(AboveStandardHandles(fds[1]));
  int error = errno;
  UniqueFd reader(AboveStandardHandles(fds[0]));
  if (!writer.Valid()) return error;
  if (!reader.Valid()) return errno;
  *readEnd = std::move(reader);
  *writeEnd = std::move(writer);
  return 0;
}

void SetNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// Blocks SIGPIPE on this thread while the child's input is written, so that
// writing to a child that closed its input gives EPIPE instead of a signal.
class TSigPipeGuard {
 public:
  TSigPipeGuard() {
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &block, &old_);
  }
  ~TSigPipeGuard() {
    if (raised_ && !wasPending_) {
      // Swallow the SIGPIPE our own write raised before unblocking.
      sigset_t only;
      sigemptyset(&only);
      sigaddset(&only, SIGPIPE);
      timespec zero{0, 0};
      while (sigtimedwait(&only, nullptr, &zero) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  void Raised() { raised_ = true; }

 private:
  sigset_t old_;
  bool wasPending_ = false;
  bool raised_ = false;
};

class TSpawnSetup {
 public:
  TSpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~TSpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  TSpawnSetup(const TSpawnSetup&) = delete;
  TSpawnSetup& operator=(const TSpawnSetup&) = delete;

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
};

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  if (left > 1000 * 1000 * 1000) return 1000 * 1000 * 1000;
  return static_cast<int>(left);
}

// True once the child has ended; it stays a zombie (not reaped), so its
// process id, and with it its group id, cannot be handed to another process
// while the group may still be signalled.
bool HasEnded(pid_t pid) {
  siginfo_t info{};
  info.si_pid = 0;
  while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    if (errno != EINTR) return true;  // nothing left to wait for
  }
  return info.si_pid == pid;
}

// Reads what the pipe holds now; false once it has come to its end.
bool DrainAvailable(int fd, std::string* into) {
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      into->append(buffer, static_cast<size_t>(got));
      continue;
    }
    if (got == 0) return false;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    return false;
  }
}

}  // namespace

TChildProcess::TChildProcess() {
  int error = MakePipe(&outputRead_, &outputWrite_);
  if (error == 0) error = MakePipe(&inputRead_, &inputWrite_);
  if (error != 0) {
    // Let go of the first pipe before raising: the descriptors may be what ran out.
    outputRead_.Reset();
    outputWrite_.Reset();
    RaiseOSError(error);
  }
}

TChildProcess::~TChildProcess() {
  if (pid_ > 0) KillGroupAndReap();
}

bool TChildProcess::Spawn(const std::string& program, const std::vector<std::string>& environment) {
  TSpawnSetup setup;
  posix_spawn_file_actions_adddup2(&setup.actions, inputRead_.Get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, outputWrite_.Get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, outputWrite_.Get(), STDERR_FILENO);
  // Whatever descriptor someone forgot to mark close-on-exec stays here.
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);

  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setflags(&setup.attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&setup.attributes, 0);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setsigdefault(&setup.attributes, &all);

  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};

  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv, envp.data());
  if (rc != 0) {
    startError_ = rc;
    return false;
  }
  pid_ = pid;
  return true;
}

TChildOutcome TChildProcess::Run(const std::string& program,
                                 const std::vector<std::string>& environment,
                                 std::string_view input, int timeoutMs) {
  if (!Spawn(program, environment)) return TChildOutcome::NotStarted;
  // Only the child holds its ends now: end of file on the output pipe means
  // the child and everything it started have let go of it.
  inputRead_.Reset();
  outputWrite_.Reset();

  bool exited = false;
  Pump(input, timeoutMs, &exited);
  KillGroupAndReap();
  if (!exited) {
    output_.clear();
    return TChildOutcome::TimedOut;
  }
  return TChildOutcome::Finished;
}

void TChildProcess::Pump(std::string_view input, int timeoutMs, bool* exited) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  SetNonBlocking(outputRead_.Get());
  SetNonBlocking(inputWrite_.Get());
  if (input.empty()) inputWrite_.Reset();

  // A descriptor that becomes readable when the child ends; without one the
  // loop looks at the child every few milliseconds.
  UniqueFd pidFd(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
  TSigPipeGuard sigPipe;
  size_t written = 0;
  bool outputOpen = true;

  while (!(*exited && !outputOpen)) {
    int wait = RemainingMs(deadline);
    if (wait == 0) break;
    pollfd fds[3];
    nfds_t count = 0;
    int outputSlot = -1, inputSlot = -1, pidSlot = -1;
    if (outputOpen) {
      outputSlot = static_cast<int>(count);
      fds[count++] = {outputRead_.Get(), POLLIN, 0};
    }
    if (inputWrite_.Valid()) {
      inputSlot = static_cast<int>(count);
      fds[count++] = {inputWrite_.Get(), POLLOUT, 0};
    }
    if (!*exited && pidFd.Valid()) {
      pidSlot = static_cast<int>(count);
      fds[count++] = {pidFd.Get(), POLLIN, 0};
    }
    if (!*exited && !pidFd.Valid() && wait > 5) wait = 5;
    int ready = count > 0 ? ::poll(fds, count, wait) : ::poll(nullptr, 0, wait > 5 ? 5 : wait);
    if (ready < 0 && errno != EINTR) break;

    if (outputSlot >= 0 && (fds[outputSlot].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      outputOpen = DrainAvailable(outputRead_.Get(), &output_);
    }
    if (inputSlot >= 0 && fds[inputSlot].revents != 0) {
      if ((fds[inputSlot].revents & (POLLERR | POLLHUP)) != 0) {
        inputWrite_.Reset();  // the child closed its input
      } else {
        size_t chunk = input.size() - written;
        if (chunk > 65536) chunk = 65536;
        ssize_t put = ::write(inputWrite_.Get(), input.data() + written, chunk);
        if (put > 0) {
          written += static_cast<size_t>(put);
        } else if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
          if (errno == EPIPE) sigPipe.Raised();
          inputWrite_.Reset();
        }
        // Closed right after the last byte, so a child reading to the end finishes.
        if (written == input.size()) inputWrite_.Reset();
      }
    }
    if (!*exited && (pidSlot < 0 || fds[pidSlot].revents != 0)) *exited = HasEnded(pid_);
  }
  if (!*exited) *exited = HasEnded(pid_);
  inputWrite_.Reset();
}

void TChildProcess::KillGroupAndReap() {
  // The child is not reaped yet, so its group id still names only its group.
  ::kill(-pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  waitStatus_ = status;
  pid_ = -1;
  // What the child's descendants had already written before they died.
  if (outputRead_.Valid()) DrainAvailable(outputRead_.Get(), &output_);
}

}  // namespace tamsel
