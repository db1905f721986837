// The server's list of live sessions: lookups by identifier and client
// address, starting and ending sessions, time-outs and a cap on their number.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/session.h"
#include "platform/datetime.h"

namespace tamsel {

// Settings and operations of a session list.
class THTTPCustomSessionList {
 public:
  static constexpr int32_t kDefaultMaxSessions = 100000;

  THTTPCustomSessionList() = default;
  virtual ~THTTPCustomSessionList() = default;
  THTTPCustomSessionList(const THTTPCustomSessionList&) = delete;
  THTTPCustomSessionList& operator=(const THTTPCustomSessionList&) = delete;

  // Takes the session's entry out of the list, if it is there. Raises nothing.
  virtual void DropSession(THTTPSession& session) = 0;
  // Ends every listed session, last to first, under the list lock.
  virtual void EndAllSessions() = 0;
  // Ends, under the list lock, every session that has expired (every one with `endAll`).
  virtual void SweepSessions(bool endAll) = 0;
  // A new session under a fresh identifier for `clientAddress`.
  virtual std::shared_ptr<THTTPSession> MakeUniqueSession(const std::string& clientAddress) = 0;
  // A new session with the given identifier, listed.
  virtual std::shared_ptr<THTTPSession> MakeSession(const std::string& clientAddress,
                                                    const std::string& sessionID) = 0;
  // The first live session with this identifier (without case) whose address
  // equals `clientAddress` (without case; empty matches any); refreshes its
  // last use. None otherwise.
  virtual std::shared_ptr<THTTPSession> FindSession(std::string_view sessionID,
                                                    std::string_view clientAddress) = 0;
  // Lists a session made elsewhere; one already listed is not added again.
  virtual void InsertSession(std::shared_ptr<THTTPSession> session) = 0;

  // Ends `session` now on the calling thread (THTTPSession::End); false when
  // there is none or it had ended already.
  bool EndSession(const std::shared_ptr<THTTPSession>& session) { return session && session->End(); }

  // Idle time in milliseconds after which a session expires.
  int32_t SessionTimeout() const { return sessionTimeout_.load(std::memory_order_relaxed); }
  void SetSessionTimeout(int32_t ms) { sessionTimeout_.store(ms, std::memory_order_relaxed); }
  // Most live sessions at once; starting one more ends the least recently
  // used first. Below 1: no limit.
  int32_t MaxSessions() const { return maxSessions_.load(std::memory_order_relaxed); }
  void SetMaxSessions(int32_t count) { maxSessions_.store(count, std::memory_order_relaxed); }

  // The time source for last use and expiry; the local clock unless replaced
  // (set it only while no other thread uses the list).
  void SetClock(std::function<TDateTime()> clock) { clock_ = std::move(clock); }
  TDateTime CurrentTime() const { return clock_ ? clock_() : Now(); }

  // Copied from the server at activation; set them while the list is idle.
  TOnSessionStartEvent OnSessionStart;
  TOnSessionEndEvent OnSessionEnd;

 private:
  std::atomic<int32_t> sessionTimeout_{0};
  std::atomic<int32_t> maxSessions_{kDefaultMaxSessions};
  std::function<TDateTime()> clock_;
};

// The list the server uses. Entries keep their listing order (for lookups
// that match several sessions and for the order in which sweeps end them);
// beside them an index by upper-cased identifier and a least-recently-used
// order keep lookups and starts free of walks over all sessions.
class THTTPDefaultSessionList : public THTTPCustomSessionList {
 public:
  THTTPDefaultSessionList() = default;
  // Ends every session still listed.
  ~THTTPDefaultSessionList() override;

  void DropSession(THTTPSession& session) override;
  void EndAllSessions() override;
  void SweepSessions(bool endAll) override;
  std::shared_ptr<THTTPSession> MakeUniqueSession(const std::string& clientAddress) override;
  std::shared_ptr<THTTPSession> MakeSession(const std::string& clientAddress,
                                            const std::string& sessionID) override;
  std::shared_ptr<THTTPSession> FindSession(std::string_view sessionID,
                                            std::string_view clientAddress) override;
  void InsertSession(std::shared_ptr<THTTPSession> session) override;

  // Number of listed sessions.
  size_t Count() const;
  // The listed sessions in listing order.
  std::vector<std::shared_ptr<THTTPSession>> Sessions() const;

 protected:
  // A fresh identifier of `length` characters (MakeSessionID).
  virtual std::string NewSessionID(int length);

 private:
  struct Entry;
  using EntryList = std::list<Entry>;
  struct Entry {
    std::shared_ptr<THTTPSession> session;
    std::string key;                         // upper-cased identifier
    uint64_t order = 0;                      // listing order
    std::list<EntryList::iterator>::iterator recent;  // place in recent_
  };

  // The first listed entry that matches, or entries_.end(); under the lock.
  EntryList::iterator Lookup(std::string_view sessionID, std::string_view clientAddress);
  // Adds an entry, ending least recently used sessions first to stay within
  // MaxSessions; under the lock.
  void AddEntry(std::shared_ptr<THTTPSession> session);
  // Ends least recently used sessions until one more fits; under the lock.
  void MakeRoom();
  // Removes the entry of `session`, if listed; under the lock.
  void RemoveEntry(const THTTPSession* session);
  // Ends a listed session as the list does (sweep, cap, end-all): raises
  // OnSessionEnd unless its end was already claimed, then unlists it. A
  // failing handler's exception is kept in `failure` (the first one).
  void EndListed(const std::shared_ptr<THTTPSession>& session, std::exception_ptr& failure);

  mutable std::recursive_mutex lock_;
  EntryList entries_;
  std::unordered_multimap<std::string, EntryList::iterator> byID_;
  std::unordered_map<const THTTPSession*, EntryList::iterator> byPointer_;
  std::list<EntryList::iterator> recent_;  // least recently used first
  uint64_t nextOrder_ = 0;
};

}  // namespace tamsel
