// The cleaner thread against the session list, alone and under concurrent
// starts, lookups and ends.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "engine/session_cleaner.h"
#include "engine/session_list.h"

namespace tamsel {
namespace {

// Start and end events counted per identifier, from any thread.
struct EventLedger {
  std::mutex mutex;
  std::set<std::string> started;
  std::map<std::string, int> ends;
  std::set<std::thread::id> endThreads;

  void Attach(THTTPCustomSessionList& list) {
    list.OnSessionStart = [this](THTTPSession& s) {
      std::lock_guard guard(mutex);
      started.insert(s.SessionID());
    };
    list.OnSessionEnd = [this](THTTPSession& s) {
      std::lock_guard guard(mutex);
      ++ends[s.SessionID()];
      endThreads.insert(std::this_thread::get_id());
    };
  }
  int EndsOf(const std::string& id) {
    std::lock_guard guard(mutex);
    auto it = ends.find(id);
    return it == ends.end() ? 0 : it->second;
  }
};

// Polls `done` for at most five seconds.
template <typename Predicate>
bool WaitUntil(Predicate done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TEST(SessionCleanerTest, EndsExpiredSessionsAndEndsTheRestWhenStopped) {
  EventLedger ledger;
  THTTPDefaultSessionList list;
  ledger.Attach(list);
  list.SetSessionTimeout(50);
  auto busy = list.MakeSession("1.1.1.1", "busybusybusybus");
  auto idle = list.MakeSession("1.1.1.1", "idleidleidleidl");
  {
    THTTPSessionCleanerThread cleaner(list, 10);
    // Keep one session in use while the other one times out.
    EXPECT_TRUE(WaitUntil([&] {
      list.FindSession("busybusybusybus", "1.1.1.1");
      return ledger.EndsOf("idleidleidleidl") == 1;
    }));
    EXPECT_FALSE(busy->Ended());
    EXPECT_EQ(list.Count(), 1u);
    cleaner.Stop();
    EXPECT_EQ(ledger.EndsOf("busybusybusybus"), 1);
    EXPECT_EQ(list.Count(), 0u);
  }
  EXPECT_EQ(ledger.EndsOf("idleidleidleidl"), 1);
  EXPECT_EQ(ledger.EndsOf("busybusybusybus"), 1);
  // Both ended on the cleaner's thread.
  EXPECT_EQ(ledger.endThreads.size(), 1u);
  EXPECT_EQ(ledger.endThreads.count(std::this_thread::get_id()), 0u);
}

TEST(SessionCleanerTest, FailingEndHandlerDoesNotStopTheCleaner) {
  THTTPDefaultSessionList list;
  std::atomic<int> ends{0};
  list.OnSessionEnd = [&](THTTPSession&) {
    ++ends;
    throw std::runtime_error("handler failed");
  };
  list.SetSessionTimeout(0);
  THTTPSessionCleanerThread cleaner(list, 5);
  list.MakeSession("1.1.1.1", "firstfirstfirst");
  EXPECT_TRUE(WaitUntil([&] { return ends == 1; }));
  list.MakeSession("1.1.1.1", "secondsecondsec");
  EXPECT_TRUE(WaitUntil([&] { return ends == 2; }));
  cleaner.Stop();
  EXPECT_EQ(list.Count(), 0u);
}

// Several request threads start, look up and end sessions while the cleaner
// expires them with a very short time-out and the cap ends the least recently
// used. Every session started ends exactly once and none outlives its users.
TEST(SessionCleanerTest, ConcurrentUseEndsEverySessionExactlyOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 5000;
  EventLedger ledger;
  auto list = std::make_unique<THTTPDefaultSessionList>();
  ledger.Attach(*list);
  list->SetSessionTimeout(3);
  list->SetMaxSessions(64);
  std::mutex watchMutex;
  std::vector<std::weak_ptr<THTTPSession>> watched;
  std::atomic<int> valueWrites{0};
  {
    THTTPSessionCleanerThread cleaner(*list, 1);
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
      workers.emplace_back([&, t] {
        std::mt19937 random(static_cast<unsigned>(t) * 7919u + 1);
        std::string address = "10.0.0." + std::to_string(t);
        std::vector<std::string> mine;
        for (int round = 0; round < kRounds; ++round) {
          switch (random() % 4) {
            case 0: {
              auto s = list->MakeUniqueSession(address);
              mine.push_back(s->SessionID());
              std::lock_guard guard(watchMutex);
              watched.push_back(s);
              break;
            }
            case 1:
            case 2: {
              if (mine.empty()) break;
              const std::string& id = mine[random() % mine.size()];
              // A request keeps its session while the cleaner may end it.
              if (auto s = list->FindSession(id, (random() % 2) ? address : "")) {
                std::lock_guard guard(s->SessionLock());
                s->SessionValues().SetValue("Views", std::to_string(round));
                ++valueWrites;
              }
              break;
            }
            case 3: {
              if (mine.empty()) break;
              list->EndSession(list->FindSession(mine[random() % mine.size()], ""));
              break;
            }
          }
        }
      });
    }
    for (auto& w : workers) w.join();
    cleaner.Stop();
  }
  EXPECT_EQ(list->Count(), 0u);
  list.reset();
  EXPECT_GT(valueWrites.load(), 0);
  ASSERT_FALSE(ledger.started.empty());
  EXPECT_EQ(ledger.ends.size(), ledger.started.size());
  for (const auto& id : ledger.started) EXPECT_EQ(ledger.EndsOf(id), 1) << id;
  for (const auto& w : watched) EXPECT_TRUE(w.expired());
}

}  // namespace
}  // namespace tamsel
