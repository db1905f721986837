#include "cgi/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <climits>
#include <thread>
#include <iterator>
#include <string>
#include <vector>

#include "cgi/script_folder.h"
#include "platform/os_error.h"

namespace tamsel {
namespace {

using testing::TScriptFolder;

TChildOutcome RunOnce(const std::string& program, std::string_view input, int timeoutMs,
                      std::string* output, const std::vector<std::string>& env = {}) {
  TChildProcess child;
  TChildOutcome outcome = child.Run(program, env, input, timeoutMs);
  *output = child.Output();
  return outcome;
}

TEST(ChildProcess, PassesInputAndMixesErrorOutputIntoOutput) {
  TScriptFolder folder;
  std::string program = folder.Script("echo.exe", "echo start >&2\ncat\necho end\n");
  std::string output;
  // The gateway closes the input after the last byte, so cat reaches its end.
  EXPECT_EQ(RunOnce(program, "a=1&b=2", 5000, &output), TChildOutcome::Finished);
  EXPECT_EQ(output, "start\na=1&b=2end\n");
}

TEST(ChildProcess, EnvironmentIsExactlyTheEntriesGiven) {
  std::string output;
  std::string withNul("C=a\0D=2", 7);
  std::vector<std::string> env = {"A=1", "B=two words", withNul, "E="};
  ASSERT_EQ(RunOnce("/usr/bin/env", "", 5000, &output, env), TChildOutcome::Finished);
  // Nothing of this process's own environment, and the NUL makes no "D".
  EXPECT_EQ(output, "A=1\nB=two words\nC=a\nE=\n");
}

TEST(ChildProcess, RunsInCurrentFolderInItsOwnGroupWithDefaultSignals) {
  TScriptFolder folder;
  std::string program = folder.Script(
      "where.exe",
      "pwd\n"
      "set -- $(cut -d' ' -f5 /proc/$$/stat)\n"
      "[ \"$1\" = \"$$\" ] && echo own-group\n"
      // Read by the shell itself: a shell blocks signals for a moment while it
      // starts a command, so another process reading its status may see that.
      "while IFS= read -r l; do case \"$l\" in SigIgn:*|SigBlk:*) echo \"$l\";; esac; done < /proc/$$/status\n");
  // A server ignores SIGPIPE and a thread may block signals: the child must
  // get neither.
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old);
  sigset_t block, oldMask;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &block, &oldMask);
  std::string output;
  TChildOutcome outcome = RunOnce(program, "", 5000, &output);
  pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  sigaction(SIGPIPE, &old, nullptr);

  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(outcome, TChildOutcome::Finished);
  // The C library keeps its own two real-time signals (32, 33) to itself;
  // the ordinary signals must all be at their defaults and unblocked.
  std::string expected = std::string(cwd) + "\nown-group\n";
  ASSERT_EQ(output.rfind(expected, 0), 0u) << output;
  for (const char* field : {"SigIgn:\t", "SigBlk:\t"}) {
    size_t at = output.find(field);
    ASSERT_NE(at, std::string::npos) << field;
    unsigned long long mask = std::stoull(output.substr(at + 8, 16), nullptr, 16);
    EXPECT_EQ(mask & 0x7fffffffULL, 0u) << field;
  }
}

TEST(ChildProcess, LargeOutputAndBinaryBytesArriveWhole) {
  TScriptFolder folder;
  std::string program = folder.Script(
      "big.exe", "printf 'a\\000b\\377'\nhead -c 1048576 /dev/zero | tr '\\0' 'x'\n");
  std::string output;
  ASSERT_EQ(RunOnce(program, "", 5000, &output), TChildOutcome::Finished);
  ASSERT_EQ(output.size(), 4u + 1048576u);
  EXPECT_EQ(output.substr(0, 4), std::string("a\0b\377", 4));
  EXPECT_EQ(output.find_first_not_of('x', 4), std::string::npos);
}

TEST(ChildProcess, LargeInputIsWrittenWhileOutputIsDrained) {
  TScriptFolder folder;
  // cat echoes everything: neither side may block on a full pipe.
  std::string program = folder.Script("cat.exe", "exec cat\n");
  std::string input(3 * 1024 * 1024, 'q');
  std::string output;
  ASSERT_EQ(RunOnce(program, input, 10000, &output), TChildOutcome::Finished);
  EXPECT_EQ(output.size(), input.size());
}

TEST(ChildProcess, ChildThatNeverReadsItsInputCannotHoldTheRun) {
  TScriptFolder folder;
  std::string program = folder.Script("deaf.exe", "echo $$ > '" + folder.Path() + "/pid'\nexec sleep 30\n");
  std::string input(4 * 1024 * 1024, 'q');  // far more than a pipe holds
  std::string output;
  EXPECT_EQ(RunOnce(program, input, 300, &output), TChildOutcome::TimedOut);
  EXPECT_EQ(output, "");
  EXPECT_TRUE(testing::ProcessGone(std::stoi(folder.Read("pid"))));
}

TEST(ChildProcess, ChildThatClosesItsInputEarlyStillGivesItsOutput) {
  TScriptFolder folder;
  std::string program = folder.Script("closer.exe", "exec 0<&-\necho done\n");
  std::string output;
  EXPECT_EQ(RunOnce(program, std::string(1024 * 1024, 'q'), 5000, &output), TChildOutcome::Finished);
  EXPECT_EQ(output, "done\n");
}

TEST(ChildProcess, TimeOutKillsTheWholeGroup) {
  TScriptFolder folder;
  std::string dir = folder.Path();
  std::string program = folder.Script("slow.exe",
                                      "echo partial\n"
                                      "sleep 30 &\n"
                                      "echo $! > '" + dir + "/grandchild'\n"
                                      "echo $$ > '" + dir + "/child'\n"
                                      "wait\n");
  std::string output;
  EXPECT_EQ(RunOnce(program, "", 300, &output), TChildOutcome::TimedOut);
  EXPECT_EQ(output, "");  // whatever it wrote is dropped
  EXPECT_TRUE(testing::ProcessGone(std::stoi(folder.Read("child"))));
  EXPECT_TRUE(testing::ProcessGone(std::stoi(folder.Read("grandchild"))));
  EXPECT_FALSE(testing::HasZombieChild());
}

TEST(ChildProcess, ChildThatLeavesAGrandchildBehindFinishes) {
  struct Case {
    const char* name;
    const char* grandchild;  // how the grandchild is started
  };
  const Case cases[] = {
      // Holds the output pipe: the run ends at the deadline with the child's output.
      {"holds-output", "sleep 30 &"},
      // Lets go of the output: the run ends when the child does.
      {"detached", "sleep 30 >/dev/null 2>&1 </dev/null &"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TScriptFolder folder;
    std::string program = folder.Script(
        "fork.exe", std::string(c.grandchild) + "\necho $! > '" + folder.Path() + "/grandchild'\n" +
                        "printf 'Content-Type: text/plain\\r\\n\\r\\nbye'\n");
    std::string output;
    EXPECT_EQ(RunOnce(program, "", 700, &output), TChildOutcome::Finished);
    EXPECT_EQ(output, "Content-Type: text/plain\r\n\r\nbye");
    EXPECT_TRUE(testing::ProcessGone(std::stoi(folder.Read("grandchild"))));
    EXPECT_FALSE(testing::HasZombieChild());
  }
}

TEST(ChildProcess, ProgramsThatCannotStartAreReported) {
  TScriptFolder folder;
  struct Case {
    std::string path;
    int error;
  };
  const Case cases[] = {
      {folder.Path() + "/missing.exe", ENOENT},
      {folder.Write("plain.exe", "#!/bin/sh\necho hi\n", 0644), EACCES},
      {folder.Path(), EACCES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    TChildProcess child;
    EXPECT_EQ(child.Run(c.path, {}, "input", 1000), TChildOutcome::NotStarted);
    EXPECT_EQ(child.StartError(), c.error);
    EXPECT_EQ(child.Output(), "");
  }
}

TEST(ChildProcess, PipeFailureRaisesTheSystemError) {
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  rlimit tight = old;
  // Room for the first pipe and one more descriptor: the second pipe fails.
  int probes[3];
  for (int& probe : probes) probe = fcntl(0, F_DUPFD_CLOEXEC, 0);
  for (int probe : probes) close(probe);
  int before = testing::OpenDescriptors();
  tight.rlim_cur = static_cast<rlim_t>(probes[2] + 1);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  bool raised = false;
  try {
    TChildProcess child;
  } catch (const EOSError& e) {
    raised = true;
    EXPECT_EQ(e.Code(), EMFILE);
    EXPECT_EQ(std::string(e.what()).rfind("System Error.  Code: 24.\r\n", 0), 0u) << e.what();
  }
  int afterFailure = testing::OpenDescriptors();
  setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_TRUE(raised);
  EXPECT_EQ(afterFailure, before);  // the first pipe was let go
}

TEST(ChildProcess, ConcurrentRunsKeepTheirOwnPipes) {
  TScriptFolder folder;
  // A child that inherited another run's input pipe would keep that run's
  // cat from ever seeing the end of its input.
  std::string echo = folder.Script("echo.exe", "cat\n");
  std::string sleeper = folder.Script("sleeper.exe", "cat >/dev/null\nexec sleep 3\n");
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        if (i == 0 && t % 2 == 0) {
          TChildProcess slow;
          slow.Run(sleeper, {}, "x", 200);
        }
        std::string input = "run " + std::to_string(t) + "/" + std::to_string(i) + std::string(100000 + i, 'z');
        TChildProcess child;
        if (child.Run(echo, {}, input, 10000) != TChildOutcome::Finished || child.Output() != input) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_FALSE(testing::HasZombieChild());
}

TEST(ChildProcess, ManyRunsLeaveNoDescriptorsThreadsOrZombies) {
  TScriptFolder folder;
  struct Kind {
    std::string program;
    int timeoutMs;
  };
  const Kind kinds[] = {
      {folder.Script("ok.exe", "cat\n"), 5000},
      {folder.Script("err.exe", "echo oops >&2\nexit 3\n"), 5000},
      {folder.Script("detach.exe", "sleep 5 >/dev/null 2>&1 &\necho x\n"), 5000},
      {folder.Script("hold.exe", "sleep 5 &\necho x\n"), 50},
      {folder.Script("slow.exe", "exec sleep 5\n"), 50},
      {folder.Path() + "/missing.exe", 5000},
  };
  int fds = testing::OpenDescriptors();
  int threads = testing::Threads();
  for (int i = 0; i < 200; ++i) {
    const Kind& kind = kinds[i % std::size(kinds)];
    TChildProcess child;
    child.Run(kind.program, {"PATH=/usr/bin:/bin"}, "in", kind.timeoutMs);
  }
  EXPECT_EQ(testing::OpenDescriptors(), fds);
  EXPECT_EQ(testing::Threads(), threads);
  EXPECT_FALSE(testing::HasZombieChild());
}

}  // namespace
}  // namespace tamsel
