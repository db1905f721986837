#include "engine/session_list.h"

#include "engine/session_id.h"
#include "platform/text.h"

namespace tamsel {

THTTPDefaultSessionList::~THTTPDefaultSessionList() {
  try {
    EndAllSessions();
  } catch (...) {
    // A failing OnSessionEnd handler cannot stop the list from going away.
  }
}

std::string THTTPDefaultSessionList::NewSessionID(int length) { return MakeSessionID(length); }

THTTPDefaultSessionList::EntryList::iterator THTTPDefaultSessionList::Lookup(std::string_view sessionID,
                                                                             std::string_view clientAddress) {
  auto best = entries_.end();
  auto [first, last] = byID_.equal_range(UpperCase(sessionID));
  for (auto it = first; it != last; ++it) {
    auto entry = it->second;
    const THTTPSession& session = *entry->session;
    if (session.Ended()) continue;
    if (!clientAddress.empty() && !SameText(session.ClientAddress(), clientAddress)) continue;
    if (best == entries_.end() || entry->order < best->order) best = entry;
  }
  return best;
}

std::shared_ptr<THTTPSession> THTTPDefaultSessionList::FindSession(std::string_view sessionID,
                                                                   std::string_view clientAddress) {
  std::lock_guard guard(lock_);
  auto entry = Lookup(sessionID, clientAddress);
  if (entry == entries_.end()) return nullptr;
  entry->session->SetLastAccess(CurrentTime());
  recent_.splice(recent_.end(), recent_, entry->recent);
  return entry->session;
}

std::shared_ptr<THTTPSession> THTTPDefaultSessionList::MakeUniqueSession(const std::string& clientAddress) {
  std::string candidate = NewSessionID(kSessionIDLength);
  for (;;) {
    {
      std::lock_guard guard(lock_);
      // A clash is looked up without touching the other session's last use.
      if (Lookup(candidate, clientAddress) == entries_.end()) break;
    }
    candidate += NewSessionID(kSessionIDLength);
  }
  return MakeSession(clientAddress, candidate);
}

std::shared_ptr<THTTPSession> THTTPDefaultSessionList::MakeSession(const std::string& clientAddress,
                                                                   const std::string& sessionID) {
  {
    // When the list is full the least recently used session ends before the
    // new one starts.
    std::lock_guard guard(lock_);
    MakeRoom();
  }
  // Raises OnSessionStart on this thread, without the list lock.
  auto session = std::make_shared<THTTPSession>(this, sessionID, clientAddress);
  std::lock_guard guard(lock_);
  AddEntry(session);
  return session;
}

void THTTPDefaultSessionList::InsertSession(std::shared_ptr<THTTPSession> session) {
  if (!session) return;
  std::lock_guard guard(lock_);
  AddEntry(std::move(session));
}

void THTTPDefaultSessionList::MakeRoom() {
  int32_t max = MaxSessions();
  if (max < 1) return;
  std::exception_ptr failure;
  while (entries_.size() >= static_cast<size_t>(max) && !recent_.empty()) {
    std::shared_ptr<THTTPSession> oldest = recent_.front()->session;
    EndListed(oldest, failure);
  }
  if (failure) std::rethrow_exception(failure);
}

void THTTPDefaultSessionList::AddEntry(std::shared_ptr<THTTPSession> session) {
  if (byPointer_.count(session.get())) return;
  std::exception_ptr failure;
  try {
    MakeRoom();
  } catch (...) {
    // The new session is listed all the same, so that it ends like any other.
    failure = std::current_exception();
  }
  std::string key = UpperCase(session->SessionID());
  const THTTPSession* pointer = session.get();
  entries_.push_back(Entry{std::move(session), key, nextOrder_++, {}});
  auto entry = std::prev(entries_.end());
  entry->recent = recent_.insert(recent_.end(), entry);
  byID_.emplace(std::move(key), entry);
  byPointer_.emplace(pointer, entry);
  if (failure) std::rethrow_exception(failure);
}

void THTTPDefaultSessionList::RemoveEntry(const THTTPSession* session) {
  auto found = byPointer_.find(session);
  if (found == byPointer_.end()) return;
  auto entry = found->second;
  byPointer_.erase(found);
  auto [first, last] = byID_.equal_range(entry->key);
  for (auto it = first; it != last; ++it) {
    if (it->second == entry) {
      byID_.erase(it);
      break;
    }
  }
  recent_.erase(entry->recent);
  // The session may go with its entry: let it go once the structures agree.
  std::shared_ptr<THTTPSession> released = std::move(entry->session);
  entries_.erase(entry);
}

void THTTPDefaultSessionList::DropSession(THTTPSession& session) {
  std::lock_guard guard(lock_);
  RemoveEntry(&session);
}

void THTTPDefaultSessionList::EndListed(const std::shared_ptr<THTTPSession>& session,
                                        std::exception_ptr& failure) {
  if (!byPointer_.count(session.get())) return;
  // A session whose end another thread has claimed (End in progress) only
  // leaves the list here; its event comes from that thread.
  if (session->ClaimEnd()) {
    try {
      session->NotifyEnd();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
    session->ownerList_.store(nullptr, std::memory_order_release);
  }
  RemoveEntry(session.get());
}

void THTTPDefaultSessionList::SweepSessions(bool endAll) {
  std::lock_guard guard(lock_);
  // The sessions to end are picked first, so that OnSessionEnd handlers may
  // use the list while the sweep goes on.
  std::vector<std::shared_ptr<THTTPSession>> doomed;
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (endAll || it->session->IsExpired()) doomed.push_back(it->session);
  std::exception_ptr failure;
  for (const auto& session : doomed) EndListed(session, failure);
  if (failure) std::rethrow_exception(failure);
}

void THTTPDefaultSessionList::EndAllSessions() {
  std::lock_guard guard(lock_);
  std::exception_ptr failure;
  while (!entries_.empty()) {
    std::shared_ptr<THTTPSession> last = entries_.back().session;
    EndListed(last, failure);
  }
  nextOrder_ = 0;
  if (failure) std::rethrow_exception(failure);
}

size_t THTTPDefaultSessionList::Count() const {
  std::lock_guard guard(lock_);
  return entries_.size();
}

std::vector<std::shared_ptr<THTTPSession>> THTTPDefaultSessionList::Sessions() const {
  std::lock_guard guard(lock_);
  std::vector<std::shared_ptr<THTTPSession>> out;
  out.reserve(entries_.size());
  for (const auto& entry : entries_) out.push_back(entry.session);
  return out;
}

}  // namespace tamsel
