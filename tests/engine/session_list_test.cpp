// The session list: lookups, time-outs, ending sessions once, the cap on live
// sessions and the identifiers it hands out.
#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

#include "engine/session_id.h"
#include "engine/session_list.h"

namespace tamsel {
namespace {

constexpr double kMs = 1.0 / 86400000.0;

// A list on a hand-moved clock that records its start and end events.
class SessionListTest : public ::testing::Test {
 protected:
  SessionListTest() {
    list.SetClock([this] { return now; });
    list.SetSessionTimeout(1200000);
    list.OnSessionStart = [this](THTTPSession& s) { events.push_back("start " + s.SessionID()); };
    list.OnSessionEnd = [this](THTTPSession& s) { events.push_back("end " + s.SessionID()); };
  }

  // Handlers set by a test may refer to its locals: none runs once it is over.
  ~SessionListTest() override {
    list.OnSessionStart = nullptr;
    list.OnSessionEnd = nullptr;
  }

  int Ends(const std::string& id) const {
    int n = 0;
    for (const auto& e : events) n += e == "end " + id;
    return n;
  }

  TDateTime now = 46000.5;
  std::vector<std::string> events;
  THTTPDefaultSessionList list;
};

TEST_F(SessionListTest, LookupMatchesIdentifierAndAddressWithoutCase) {
  auto session = list.MakeSession("fe80::aB", "AbCdEfGhIjKlMnP");
  struct Case {
    const char* id;
    const char* address;
    bool found;
  } cases[] = {
      {"AbCdEfGhIjKlMnP", "fe80::aB", true},
      {"abcdefghijklmnp", "fe80::ab", true},
      {"ABCDEFGHIJKLMNP", "FE80::AB", true},
      {"abcdefghijklmnp", "", true},  // an empty address matches any client
      {"abcdefghijklmnp", "127.0.0.1", false},
      {"abcdefghijklmn", "", false},
      {"abcdefghijklmnpq", "", false},
      {"", "", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(list.FindSession(c.id, c.address) == session, c.found) << c.id << " / " << c.address;
}

TEST_F(SessionListTest, SameIdentifierForTwoClientsPicksByAddressElseFirstListed) {
  auto first = list.MakeSession("10.0.0.1", "sharedidentifie");
  auto second = list.MakeSession("10.0.0.2", "SHAREDIDENTIFIE");
  EXPECT_EQ(list.FindSession("sharedidentifie", "10.0.0.2"), second);
  EXPECT_EQ(list.FindSession("sharedidentifie", "10.0.0.1"), first);
  EXPECT_EQ(list.FindSession("sharedidentifie", ""), first);
  first->End();
  EXPECT_EQ(list.FindSession("sharedidentifie", ""), second);
}

TEST_F(SessionListTest, StartEventSeesTheSessionSetUpButNotYetListed) {
  size_t countInHandler = 99;
  std::string seen;
  list.OnSessionStart = [&](THTTPSession& s) {
    countInHandler = list.Count();
    seen = s.SessionID() + "@" + s.ClientAddress();
    EXPECT_EQ(s.LastAccess(), now);
    EXPECT_EQ(list.FindSession(s.SessionID(), ""), nullptr);
  };
  list.MakeSession("1.2.3.4", "startingsession");
  EXPECT_EQ(countInHandler, 0u);
  EXPECT_EQ(seen, "startingsession@1.2.3.4");
  EXPECT_EQ(list.Count(), 1u);
}

TEST_F(SessionListTest, IdleExactlyTheTimeOutIsNotExpiredOneMillisecondMoreIs) {
  auto session = list.MakeSession("1.1.1.1", "idlesessionxxxx");
  const TDateTime made = now;
  now = made + 1200000 * kMs;
  EXPECT_FALSE(session->IsExpired());
  list.SweepSessions(false);
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_EQ(Ends("idlesessionxxxx"), 0);

  now = made + 1200001 * kMs;
  EXPECT_TRUE(session->IsExpired());
  list.SweepSessions(false);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(Ends("idlesessionxxxx"), 1);
  EXPECT_TRUE(session->Ended());
  EXPECT_EQ(session->OwnerList(), nullptr);
}

TEST_F(SessionListTest, LookupRefreshesLastUseSoOnlyIdleSessionsExpire) {
  auto used = list.MakeSession("1.1.1.1", "usedsessionxxxx");
  auto idle = list.MakeSession("1.1.1.1", "idlesessionxxxx");
  now += 1000000 * kMs;
  ASSERT_EQ(list.FindSession("USEDSESSIONXXXX", "1.1.1.1"), used);
  EXPECT_EQ(used->LastAccess(), now);
  now += 300000 * kMs;
  list.SweepSessions(false);
  EXPECT_EQ(Ends("idlesessionxxxx"), 1);
  EXPECT_EQ(Ends("usedsessionxxxx"), 0);
  EXPECT_EQ(list.FindSession("usedsessionxxxx", ""), used);
}

// CloseSession twice; ending from a handler; ending while a request holds it.
TEST_F(SessionListTest, EndingRaisesTheEndEventOnceAndLeavesTheObjectUsable) {
  auto session = list.MakeSession("1.1.1.1", "closedsessionxx");
  session->SessionValues().SetValue("Name", "Value");
  std::string valueInHandler;
  list.OnSessionEnd = [&](THTTPSession& s) {
    events.push_back("end " + s.SessionID());
    valueInHandler = s.SessionValues().Value("name");
  };
  EXPECT_TRUE(list.EndSession(list.FindSession("closedsessionxx", "")));
  EXPECT_FALSE(list.EndSession(list.FindSession("closedsessionxx", "")));
  EXPECT_FALSE(session->End());
  list.SweepSessions(true);
  list.EndAllSessions();
  EXPECT_EQ(Ends("closedsessionxx"), 1);
  EXPECT_EQ(valueInHandler, "Value");
  EXPECT_EQ(list.Count(), 0u);
  // The request still holding the session reads and writes it safely.
  session->LockSession();
  session->SessionValues().SetValue("Other", "1");
  session->UnlockSession();
  EXPECT_EQ(session->SessionValues().Text(), "Name=Value\r\nOther=1\r\n");
}

TEST_F(SessionListTest, SessionHeldOnlyByTheListSurvivesItsOwnEndCall) {
  std::weak_ptr<THTTPSession> watch = list.MakeSession("1.1.1.1", "onlylistedxxxxx");
  THTTPSession& raw = *watch.lock();
  EXPECT_TRUE(raw.End());
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(Ends("onlylistedxxxxx"), 1);
}

TEST_F(SessionListTest, EndAllEndsEachSessionOnceLastToFirst) {
  auto a = list.MakeSession("1.1.1.1", "aaaaaaaaaaaaaaa");
  auto b = list.MakeSession("1.1.1.1", "bbbbbbbbbbbbbbb");
  auto c = list.MakeSession("1.1.1.1", "ccccccccccccccc");
  b->End();
  events.clear();
  list.EndAllSessions();
  EXPECT_EQ(events, (std::vector<std::string>{"end ccccccccccccccc", "end aaaaaaaaaaaaaaa"}));
  EXPECT_EQ(list.Count(), 0u);
  events.clear();
  list.EndAllSessions();
  list.SweepSessions(true);
  EXPECT_TRUE(events.empty());
  // A fresh start after ending all.
  auto d = list.MakeSession("1.1.1.1", "ddddddddddddddd");
  EXPECT_EQ(list.Sessions(), (std::vector<std::shared_ptr<THTTPSession>>{d}));
}

// An end handler running inside a sweep may use the list on the same thread,
// including ending sessions the sweep is about to end.
TEST_F(SessionListTest, EndHandlerMayUseTheListDuringASweep) {
  for (const char* id : {"aaaaaaaaaaaaaaa", "bbbbbbbbbbbbbbb", "ccccccccccccccc", "ddddddddddddddd"})
    list.MakeSession("1.1.1.1", id);
  bool sweeping = true;
  events.clear();
  list.OnSessionEnd = [&](THTTPSession& s) {
    events.push_back("end " + s.SessionID());
    if (!sweeping) return;
    list.EndSession(list.FindSession("bbbbbbbbbbbbbbb", ""));
    list.MakeSession("2.2.2.2", "made-in-handler" + s.SessionID().substr(0, 1));
  };
  now += 1300000 * kMs;
  list.SweepSessions(false);
  sweeping = false;
  for (const char* id : {"aaaaaaaaaaaaaaa", "bbbbbbbbbbbbbbb", "ccccccccccccccc", "ddddddddddddddd"})
    EXPECT_EQ(Ends(id), 1) << id;
  EXPECT_EQ(events.front(), "end ddddddddddddddd");
  // Sessions started during the sweep (one per end, b's from inside d's
  // handler) are fresh and stay.
  EXPECT_EQ(list.Count(), 4u);
  EXPECT_EQ(list.FindSession("made-in-handlerb", "2.2.2.2")->ClientAddress(), "2.2.2.2");
}

TEST_F(SessionListTest, FailingEndHandlerStillEndsAndUnlistsTheSessions) {
  auto a = list.MakeSession("1.1.1.1", "aaaaaaaaaaaaaaa");
  auto b = list.MakeSession("1.1.1.1", "bbbbbbbbbbbbbbb");
  auto c = list.MakeSession("1.1.1.1", "ccccccccccccccc");
  int calls = 0;
  list.OnSessionEnd = [&](THTTPSession&) {
    ++calls;
    throw std::runtime_error("handler failed");
  };
  EXPECT_THROW(a->End(), std::runtime_error);
  EXPECT_TRUE(a->Ended());
  EXPECT_FALSE(a->End());
  EXPECT_THROW(list.EndAllSessions(), std::runtime_error);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_TRUE(b->Ended() && c->Ended());
}

TEST_F(SessionListTest, InsertedSessionIsListedOnceAndEndsLikeAnyOther) {
  auto bare = std::make_shared<THTTPSession>(&list);
  EXPECT_EQ(events, (std::vector<std::string>{"start "}));
  list.InsertSession(bare);
  list.InsertSession(bare);
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.FindSession("", ""), bare);
  // A bare session's last use is its making, so it expires like the others.
  now += 1200001 * kMs;
  list.SweepSessions(false);
  EXPECT_EQ(Ends(""), 1);
  EXPECT_EQ(list.Count(), 0u);
}

// The list's identifiers come from a script so that clashes can be forced.
class ScriptedIDList : public THTTPDefaultSessionList {
 public:
  std::deque<std::string> script;

 protected:
  std::string NewSessionID(int length) override {
    EXPECT_EQ(length, kSessionIDLength);
    std::string id = script.front();
    script.pop_front();
    return id;
  }
};

TEST(SessionListIdentifierTest, EachClashAddsFifteenCharacters) {
  ScriptedIDList list;
  list.MakeSession("1.1.1.1", "AAAAAAAAAAAAAAA");
  list.MakeSession("1.1.1.1", "AAAAAAAAAAAAAAABBBBBBBBBBBBBBB");
  // Clashes ignore case, as lookups do.
  list.script = {"aaaaaaaaaaaaaaa", "bbbbbbbbbbbbbbb", "ccccccccccccccc"};
  auto session = list.MakeUniqueSession("1.1.1.1");
  EXPECT_EQ(session->SessionID(), "aaaaaaaaaaaaaaabbbbbbbbbbbbbbbccccccccccccccc");
  // Another client's identifiers do not clash with this one's.
  list.script = {"AAAAAAAAAAAAAAA"};
  EXPECT_EQ(list.MakeUniqueSession("2.2.2.2")->SessionID(), "AAAAAAAAAAAAAAA");
  EXPECT_EQ(list.Count(), 4u);
}

TEST(SessionListIdentifierTest, FreshIdentifiersAreFifteenCharactersWithoutZero) {
  THTTPDefaultSessionList list;
  for (int i = 0; i < 200; ++i) {
    auto session = list.MakeUniqueSession("127.0.0.1");
    ASSERT_EQ(session->SessionID().size(), 15u);
    EXPECT_EQ(session->SessionID().find('0'), std::string::npos);
  }
  EXPECT_EQ(list.Count(), 200u);
}

TEST_F(SessionListTest, FullListEndsTheLeastRecentlyUsedBeforeStarting) {
  list.SetMaxSessions(3);
  auto a = list.MakeSession("1.1.1.1", "aaaaaaaaaaaaaaa");
  auto b = list.MakeSession("1.1.1.1", "bbbbbbbbbbbbbbb");
  auto c = list.MakeSession("1.1.1.1", "ccccccccccccccc");
  ASSERT_EQ(list.FindSession("aaaaaaaaaaaaaaa", "1.1.1.1"), a);
  events.clear();

  auto d = list.MakeSession("1.1.1.1", "ddddddddddddddd");
  EXPECT_EQ(events, (std::vector<std::string>{"end bbbbbbbbbbbbbbb", "start ddddddddddddddd"}));
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_TRUE(b->Ended());
  EXPECT_EQ(list.FindSession("bbbbbbbbbbbbbbb", ""), nullptr);

  // c is now the least recently used; a handler-made session obeys the cap too.
  events.clear();
  list.InsertSession(std::make_shared<THTTPSession>(&list, "eeeeeeeeeeeeeee", "1.1.1.1"));
  EXPECT_EQ(events, (std::vector<std::string>{"start eeeeeeeeeeeeeee", "end ccccccccccccccc"}));
  auto live = list.Sessions();
  EXPECT_EQ(live.size(), 3u);
  EXPECT_EQ(live[0], a);
  EXPECT_EQ(live[1], d);

  // Lowering the cap ends the oldest ones at the next start.
  list.SetMaxSessions(1);
  events.clear();
  list.MakeSession("1.1.1.1", "fffffffffffffff");
  EXPECT_EQ(events, (std::vector<std::string>{"end aaaaaaaaaaaaaaa", "end ddddddddddddddd", "end eeeeeeeeeeeeeee",
                                              "start fffffffffffffff"}));
}

TEST_F(SessionListTest, CapHoldsAtScaleAndKeepsRecentlyUsedSessions) {
  constexpr int kCap = 1000;
  list.SetMaxSessions(kCap);
  std::vector<std::shared_ptr<THTTPSession>> first;
  for (int i = 0; i < kCap; ++i) first.push_back(list.MakeUniqueSession("9.9.9.9"));
  // Touch every other one, then start half a cap more: exactly the untouched ones end.
  for (int i = 0; i < kCap; i += 2) ASSERT_NE(list.FindSession(first[i]->SessionID(), "9.9.9.9"), nullptr);
  for (int i = 0; i < kCap / 2; ++i) list.MakeUniqueSession("9.9.9.9");
  EXPECT_EQ(list.Count(), static_cast<size_t>(kCap));
  for (int i = 0; i < kCap; ++i) EXPECT_EQ(first[i]->Ended(), i % 2 == 1) << i;
}

}  // namespace
}  // namespace tamsel
