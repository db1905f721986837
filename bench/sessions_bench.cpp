// Session lookups, attaching a request's session, starting sessions at the
// cap and sweeping, with 10, 1000 and 100000 live sessions.
#include <benchmark/benchmark.h>

#include <random>

#include "engine/http_server.h"

namespace tamsel {
namespace {

const char* const kAddresses[] = {"192.168.1.10", "192.168.1.11", "10.0.0.7", "127.0.0.1"};

struct FilledList {
  explicit FilledList(int64_t count) {
    list.SetSessionTimeout(1200000);
    list.SetMaxSessions(static_cast<int32_t>(count));
    for (int64_t i = 0; i < count; ++i) {
      auto s = list.MakeUniqueSession(kAddresses[i % 4]);
      ids.push_back(s->SessionID());
      addresses.push_back(s->ClientAddress());
    }
  }
  THTTPDefaultSessionList list;
  std::vector<std::string> ids, addresses;
};

void BM_FindSession(benchmark::State& state) {
  FilledList filled(state.range(0));
  std::mt19937 random(7);
  size_t n = filled.ids.size();
  for (auto _ : state) {
    size_t i = random() % n;
    benchmark::DoNotOptimize(filled.list.FindSession(filled.ids[i], filled.addresses[i]));
  }
}
BENCHMARK(BM_FindSession)->Arg(10)->Arg(1000)->Arg(100000);

void BM_FindSessionMiss(benchmark::State& state) {
  FilledList filled(state.range(0));
  const std::string forged = "ForgedForgedFor";
  for (auto _ : state) benchmark::DoNotOptimize(filled.list.FindSession(forged, "192.168.1.10"));
}
BENCHMARK(BM_FindSessionMiss)->Arg(10)->Arg(1000)->Arg(100000);

// The server's step for every request: walk the session cookies, look the
// session up, set both records' references.
class AttachingServer : public THTTPServer {
 public:
  using TCustomHTTPServer::AttachSession;
};

void BM_AttachSession(benchmark::State& state) {
  AttachingServer server;
  server.SetSessionState(true);
  server.AutoStartSession = true;
  server.SessionList().SetSessionTimeout(1200000);
  std::vector<std::string> ids;
  for (int64_t i = 0; i < state.range(0); ++i)
    ids.push_back(server.SessionList().MakeUniqueSession("127.0.0.1")->SessionID());
  TTCPConnection connection{UniqueFd()};
  TPeerThread thread(connection);
  // Prepared requests, each bringing two other cookies and one live session
  // cookie; attaching only replaces the records' session references.
  std::mt19937 random(11);
  std::vector<std::unique_ptr<THTTPRequestInfo>> requests;
  for (int i = 0; i < 256; ++i) {
    auto request = std::make_unique<THTTPRequestInfo>();
    request->ClientAddress = "127.0.0.1";
    ReadRequestCookies({"lang=de; IDHTTPSESSIONID=" + ids[random() % ids.size()] + "; theme=dark"},
                       request->RequestCookies);
    requests.push_back(std::move(request));
  }
  THTTPResponseInfo response(nullptr);
  size_t next = 0;
  for (auto _ : state) {
    THTTPRequestInfo& request = *requests[next++ % requests.size()];
    benchmark::DoNotOptimize(server.AttachSession(thread, request, response));
  }
}
BENCHMARK(BM_AttachSession)->Arg(10)->Arg(1000)->Arg(100000);

// A flood at the cap: every start ends the least recently used session first.
void BM_StartSessionAtCap(benchmark::State& state) {
  FilledList filled(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(filled.list.MakeUniqueSession("203.0.113.9"));
  state.counters["live"] = static_cast<double>(filled.list.Count());
}
BENCHMARK(BM_StartSessionAtCap)->Arg(10)->Arg(1000)->Arg(100000);

// One cleaner pass that finds nothing expired: how long lookups wait for it.
void BM_SweepNothingExpired(benchmark::State& state) {
  FilledList filled(state.range(0));
  for (auto _ : state) filled.list.SweepSessions(false);
}
BENCHMARK(BM_SweepNothingExpired)->Arg(10)->Arg(1000)->Arg(100000);

}  // namespace
}  // namespace tamsel
