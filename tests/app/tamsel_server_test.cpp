// The headless program end to end: started on a free port, fetched with
// curl, stopped with SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <poll.h>

#include <cstdio>
#include <regex>

#include "platform/fd.h"
#include "support/temp_folder.h"

extern char** environ;

namespace tamsel {
namespace {

using tamsel::testing::ReadFileBytes;
using tamsel::testing::TTempFolder;

struct Program {
  pid_t pid = -1;
  UniqueFd out;
  std::string seen;

  // Reads standard output until `pattern` shows up (or 10 seconds pass).
  std::smatch WaitFor(const std::string& pattern) {
    std::regex re(pattern);
    std::smatch m;
    for (int i = 0; i < 100 && !std::regex_search(seen, m, re); ++i) {
      pollfd p{out.Get(), POLLIN, 0};
      if (::poll(&p, 1, 100) > 0) {
        char buf[4096];
        ssize_t n = ::read(out.Get(), buf, sizeof buf);
        if (n <= 0) break;
        seen.append(buf, static_cast<size_t>(n));
      }
    }
    std::regex_search(seen, m, re);
    return m;
  }
  int Wait() {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

Program Launch(const std::vector<std::string>& args, const std::string& folder) {
  int fds[2];
  EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<char*> argv;
  std::string program = std::string(TAMSEL_BINARY_DIR) + "/tamsel-server";
  argv.push_back(program.data());
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  Program p;
  EXPECT_EQ(posix_spawn(&p.pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  p.out.Reset(fds[0]);
  return p;
}

std::string Curl(const std::string& url) {
  std::string command = "curl -s -i --max-time 10 '" + url + "'";
  std::string out;
  if (FILE* f = ::popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    ::pclose(f);
  }
  return out;
}

TEST(TamselServer, ServesTheBundledSiteAndStopsOnSigterm) {
  TTempFolder temp;
  std::string site = std::string(TAMSEL_SOURCE_DIR) + "/www";
  Program p = Launch({"--conf", temp / "none.conf", "--port", "0", "--root", site}, temp.Path());
  std::smatch listening = p.WaitFor("Listening for HTTP connections on 0\\.0\\.0\\.0:([0-9]+)\\.\n");
  ASSERT_FALSE(listening.empty()) << p.seen;
  std::string base = "http://127.0.0.1:" + listening[1].str();

  std::string home = Curl(base + "/");
  EXPECT_EQ(home.rfind("HTTP/1.1 200 OK", 0), 0u) << home;
  EXPECT_NE(home.find("<title>Tamsel</title>"), std::string::npos);
  std::string demo = Curl(base + "/demo.php?greeting=hello");
  EXPECT_EQ(demo.rfind("HTTP/1.1 200 OK", 0), 0u) << demo;
  EXPECT_NE(demo.find("<td>greeting</td><td>hello</td>"), std::string::npos) << demo;

  ::kill(p.pid, SIGTERM);
  EXPECT_FALSE(p.WaitFor("Stop listening\\.\n").empty()) << p.seen;
  EXPECT_EQ(p.Wait(), 0);
  std::string log = ReadFileBytes(temp / "logs/server.log");
  EXPECT_NE(log.find("Command GET / received from 127.0.0.1:"), std::string::npos) << log;
  EXPECT_NE(log.find("Stop listening.\r\n"), std::string::npos);
}

TEST(TamselServer, FailedStartExitsWithOne) {
  TTempFolder temp;
  Program p = Launch({"--conf", temp / "none.conf", "--port", "0", "--root", temp / "missing"}, temp.Path());
  EXPECT_FALSE(p.WaitFor("Web root folder \\(.*missing\\) not found\\.\n").empty()) << p.seen;
  EXPECT_EQ(p.Wait(), 1);
}

TEST(TamselServer, HelpAndVersion) {
  TTempFolder temp;
  Program help = Launch({"--help"}, temp.Path());
  EXPECT_FALSE(help.WaitFor("Usage: tamsel-server").empty());
  EXPECT_EQ(help.Wait(), 0);
  Program version = Launch({"--version"}, temp.Path());
  EXPECT_FALSE(version.WaitFor("Tamsel 1\\.03 beta").empty());
  EXPECT_EQ(version.Wait(), 0);
}

}  // namespace
}  // namespace tamsel
