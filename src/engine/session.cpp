#include "engine/session.h"

#include <exception>

#include "engine/elapsed_time.h"
#include "engine/session_list.h"

namespace tamsel {

THTTPSession::THTTPSession(THTTPCustomSessionList* owner) : ownerList_(owner) {
  lastAccess_.store(owner ? owner->CurrentTime() : Now());
  RaiseStart();
}

THTTPSession::THTTPSession(THTTPCustomSessionList* owner, std::string sessionID, std::string clientAddress)
    : ownerList_(owner), sessionID_(std::move(sessionID)), clientAddress_(std::move(clientAddress)) {
  lastAccess_.store(owner ? owner->CurrentTime() : Now());
  RaiseStart();
}

void THTTPSession::RaiseStart() {
  THTTPCustomSessionList* owner = OwnerList();
  if (owner && owner->OnSessionStart) owner->OnSessionStart(*this);
}

bool THTTPSession::IsExpired() const {
  THTTPCustomSessionList* owner = OwnerList();
  if (!owner) return false;
  return ElapsedMilliseconds(LastAccess(), owner->CurrentTime()) > owner->SessionTimeout();
}

void THTTPSession::NotifyEnd() {
  THTTPCustomSessionList* owner = OwnerList();
  if (owner && owner->OnSessionEnd) owner->OnSessionEnd(*this);
}

bool THTTPSession::End() {
  if (!ClaimEnd()) return false;
  THTTPCustomSessionList* owner = OwnerList();
  std::exception_ptr failure;
  try {
    NotifyEnd();
  } catch (...) {
    failure = std::current_exception();
  }
  ownerList_.store(nullptr, std::memory_order_release);
  // The list may hold the last reference: nothing of this object is touched
  // after DropSession.
  if (owner) owner->DropSession(*this);
  if (failure) std::rethrow_exception(failure);
  return true;
}

}  // namespace tamsel
