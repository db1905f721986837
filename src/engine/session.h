// One HTTP session: the values a browser's requests share, with its identifier,
// client address, last use and the lock handlers take around its values.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "platform/datetime.h"
#include "platform/string_list.h"

namespace tamsel {

class THTTPCustomSessionList;
class THTTPSession;

// Raised when a session starts and when it ends; `Sender` is the session.
using TOnSessionStartEvent = std::function<void(THTTPSession& Sender)>;
using TOnSessionEndEvent = std::function<void(THTTPSession& Sender)>;

// Sessions are shared: the list and every request using one hold a
// std::shared_ptr. Ending a session (End, or the list ending it) raises the
// list's OnSessionEnd exactly once and takes it out of the list; the object
// stays valid for whoever still holds it.
class THTTPSession {
 public:
  // A bare session: empty identifier and address, last use now. Raises the
  // owner's OnSessionStart.
  explicit THTTPSession(THTTPCustomSessionList* owner);
  // An initialised session. Raises the owner's OnSessionStart once its
  // identifier, address and last use are set.
  THTTPSession(THTTPCustomSessionList* owner, std::string sessionID, std::string clientAddress);
  virtual ~THTTPSession() = default;
  THTTPSession(const THTTPSession&) = delete;
  THTTPSession& operator=(const THTTPSession&) = delete;

  // Idle for longer than the owner's SessionTimeout. A session without an
  // owner never expires.
  virtual bool IsExpired() const;
  // Raises the owner's OnSessionEnd with this session, if it has an owner.
  virtual void NotifyEnd();

  // Ends the session on the calling thread: raises OnSessionEnd (outside the
  // list lock), then takes it out of its list. True when this call ended it;
  // false when it had ended already. When the OnSessionEnd handler fails the
  // session still leaves the list and the failure is passed on.
  bool End();
  // The session has ended (or its end is under way); lookups skip it.
  bool Ended() const { return ended_.load(std::memory_order_acquire); }

  // The session's own lock, for handlers reading or changing SessionValues.
  void LockSession() { sessionLock_.lock(); }
  void UnlockSession() { sessionLock_.unlock(); }
  std::mutex& SessionLock() { return sessionLock_; }

  const std::string& SessionID() const { return sessionID_; }
  const std::string& ClientAddress() const { return clientAddress_; }
  TDateTime LastAccess() const { return lastAccess_.load(std::memory_order_relaxed); }
  void SetLastAccess(TDateTime value) { lastAccess_.store(value, std::memory_order_relaxed); }
  // name=value lines; guarded by SessionLock for handlers that share them.
  TStringList& SessionValues() { return sessionValues_; }
  const TStringList& SessionValues() const { return sessionValues_; }
  // The list that owns the session; none once it has ended.
  THTTPCustomSessionList* OwnerList() const { return ownerList_.load(std::memory_order_acquire); }

 private:
  friend class THTTPDefaultSessionList;

  // The once-flag of ending: true for the first caller only.
  bool ClaimEnd() { return !ended_.exchange(true, std::memory_order_acq_rel); }
  void RaiseStart();

  TStringList sessionValues_;
  std::atomic<TDateTime> lastAccess_{0};
  std::mutex sessionLock_;
  std::atomic<THTTPCustomSessionList*> ownerList_{nullptr};
  const std::string sessionID_;
  const std::string clientAddress_;
  std::atomic<bool> ended_{false};
};

}  // namespace tamsel
