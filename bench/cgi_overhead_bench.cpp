// What the CGI gateway adds to a run: RunScript (environment, pipes, poll
// loop, translation, header) against a bare posix_spawn + wait of the same
// program with the same environment, for a tiny compiled program and for
// php-cgi on a hello-world script.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cgi/cgi_runner.h"
#include "engine/http_records.h"
#include "platform/fd.h"
#include "platform/tcp_connection.h"
#include "platform/tcp_server.h"

namespace {

// The tiny CGI program: a few lines of C built once with the system's C
// compiler (statically when it can), answering at once.
std::string BuildTinyProgram(const std::string& folder) {
  const std::string source = folder + "/tiny.c";
  const std::string program = folder + "/tiny.exe";
  std::ofstream(source) << "#include <unistd.h>\n"
                           "int main(void) {\n"
                           "  static const char reply[] = \"Content-Type: text/plain\\r\\n\\r\\nhello\";\n"
                           "  return write(1, reply, sizeof reply - 1) < 0;\n"
                           "}\n";
  std::string quiet = " 2>/dev/null";
  if (std::system(("cc -O2 -static -o '" + program + "' '" + source + "'" + quiet).c_str()) != 0 &&
      std::system(("cc -O2 -o '" + program + "' '" + source + "'" + quiet).c_str()) != 0)
    return {};
  return program;
}

struct TBenchFolder {
  TBenchFolder() {
    path = (std::filesystem::temp_directory_path() / "tamsel-cgi-bench-XXXXXX").string();
    if (::mkdtemp(path.data()) == nullptr) std::abort();
    std::ofstream(path + "/hello.php") << "<?php echo 'hello';";
    tiny = BuildTinyProgram(path);
  }
  ~TBenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
  std::string tiny;
};

// A runner, a request and a connection whose peer end is drained after each run.
class TGatewaySetup {
 public:
  TGatewaySetup(const std::string& requestPath) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) std::abort();
    connection = std::make_unique<tamsel::TTCPConnection>(tamsel::UniqueFd(fds[0]));
    peer.Reset(fds[1]);
    ::fcntl(peer.Get(), F_SETFL, O_NONBLOCK);
    thread = std::make_unique<tamsel::TPeerThread>(*connection);
    request.Method = "GET";
    request.RequestPath = requestPath;
    request.ProtocolVersion = "HTTP/1.1";
    request.ClientAddress = "127.0.0.1";
    request.Host = "localhost";
    request.HeaderLines.Add("Host: localhost");
    request.HeaderLines.Add("User-Agent: bench");
  }
  void Drain() {
    char buffer[4096];
    while (::recv(peer.Get(), buffer, sizeof buffer, 0) > 0) {
    }
  }

  std::unique_ptr<tamsel::TTCPConnection> connection;
  tamsel::UniqueFd peer;
  std::unique_ptr<tamsel::TPeerThread> thread;
  tamsel::THTTPRequestInfo request;
  tamsel::TCGIRunner runner;
};

const TBenchFolder& Folder() {
  static const TBenchFolder folder;
  return folder;
}

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double ThreadCpuMicros() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// One gateway run and one bare run per iteration, each timed on the wall
// clock, so that both see the same machine load; the medians of the single
// runs and their difference are reported as counters (microseconds).
void RunPaired(benchmark::State& state, const std::string& program, const std::string& requestPath) {
  if (program.empty()) {
    state.SkipWithError("no C compiler for the tiny program");
    return;
  }
  TGatewaySetup setup(requestPath);
  std::vector<std::string> entries =
      setup.runner.EnvironmentEntries(program, *setup.thread, setup.request, Folder().path, "");
  std::vector<char*> envp;
  for (std::string& entry : entries) envp.push_back(entry.data());
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

  std::vector<double> bare, gateway, bareCpu, gatewayCpu;
  auto runBare = [&] {
    pid_t pid;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) return false;
    int status;
    ::waitpid(pid, &status, 0);
    return true;
  };
  auto runGateway = [&] {
    tamsel::THTTPResponseInfo response(setup.connection.get());
    setup.runner.RunScript(program, *setup.thread, setup.request, response, Folder().path, "");
    setup.Drain();
    return response.StatusCode == 200 && response.BodyText == "hello";
  };
  auto timed = [](auto&& run, std::vector<double>& wall, std::vector<double>& cpu) {
    Clock::time_point w0 = Clock::now();
    double c0 = ThreadCpuMicros();
    bool ok = run();
    cpu.push_back(ThreadCpuMicros() - c0);
    wall.push_back(std::chrono::duration<double, std::micro>(Clock::now() - w0).count());
    return ok;
  };
  bool even = true;
  for (auto _ : state) {
    // Alternate which one goes first, so neither always follows the other.
    bool ok = even ? timed(runBare, bare, bareCpu) && timed(runGateway, gateway, gatewayCpu)
                   : timed(runGateway, gateway, gatewayCpu) && timed(runBare, bare, bareCpu);
    even = !even;
    if (!ok) {
      state.SkipWithError("a run failed");
      break;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  double bareMedian = Median(bare), gatewayMedian = Median(gateway);
  state.counters["bare_median_us"] = bareMedian;
  state.counters["gateway_median_us"] = gatewayMedian;
  state.counters["added_us"] = gatewayMedian - bareMedian;
  // Work done on the calling (connection) thread itself, free of the load
  // other processes put on the machine.
  state.counters["bare_thread_cpu_us"] = Median(bareCpu);
  state.counters["gateway_thread_cpu_us"] = Median(gatewayCpu);
}

// The gateway's own work without a child's start-up: environment with the
// host name lookup, and the block alone.
void BM_EnvironmentEntries(benchmark::State& state) {
  TGatewaySetup setup("/hello.php");
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        setup.runner.EnvironmentEntries("/usr/bin/php-cgi", *setup.thread, setup.request, Folder().path, ""));
  }
}
BENCHMARK(BM_EnvironmentEntries)->Unit(benchmark::kMicrosecond);

void BM_Paired_TinyProgram(benchmark::State& state) { RunPaired(state, Folder().tiny, "/tiny.exe"); }
void BM_Paired_PhpHello(benchmark::State& state) { RunPaired(state, "/usr/bin/php-cgi", "/hello.php"); }
BENCHMARK(BM_Paired_TinyProgram)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(1000);
BENCHMARK(BM_Paired_PhpHello)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(150);

}  // namespace
