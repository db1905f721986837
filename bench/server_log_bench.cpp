// Cost of one log line: list, sink and an open/append/close of the file under
// the lock, from one thread and from several at once.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "server/server_log.h"

namespace {

class TNullSink : public tamsel::TLogSink {
 public:
  void LineAdded(const std::string& line) override { benchmark::DoNotOptimize(line.data()); }
};

// A temporary folder removed with its log when the program ends.
struct TBenchFolder {
  TBenchFolder() {
    path = (std::filesystem::temp_directory_path() / "tamsel-bench-XXXXXX").string();
    if (::mkdtemp(path.data()) == nullptr) std::abort();
  }
  ~TBenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

tamsel::TServerLog& SharedLog() {
  static const TBenchFolder folder;
  static tamsel::TServerLog log(folder.path + "/logs/server.log");
  static bool ready = [] {
    log.SetSink(std::make_shared<TNullSink>());
    log.SetLoggingOn(true);
    return true;
  }();
  (void)ready;
  return log;
}

void BM_LogMessage(benchmark::State& state) {
  tamsel::TServerLog& log = SharedLog();
  const std::string line = "Command GET /docs/page.php received from 127.0.0.1:40312";
  for (auto _ : state) log.LogMessage(line);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogMessage)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();

void BM_LoggingOff(benchmark::State& state) {
  tamsel::TServerLog log("/nonexistent/never/server.log");
  for (auto _ : state) log.LogMessage("User logged in");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoggingOff);

}  // namespace
