// The request's session as extensions see it: HTTP_IDSESSION and the host's
// own request that replaces the session's values.
#include <mutex>

#include "engine/http_records.h"
#include "engine/session.h"
#include "isapi/ecb.h"

namespace tamsel {

// The session's own lock is taken: another request of the same session may
// be reading or changing its values at the same time.
std::string TECB::SessionText() const {
  std::shared_ptr<THTTPSession> session = RequestInfo->SessionRef;
  if (!session) return std::string();
  std::lock_guard lock(session->SessionLock());
  return session->SessionValues().Text();
}

bool TECB::SetSessionValues(const char* text) {
  std::shared_ptr<THTTPSession> session = RequestInfo->SessionRef;
  if (session) {
    std::lock_guard lock(session->SessionLock());
    session->SessionValues().SetText(text ? text : "");
  }
  return true;
}

}  // namespace tamsel
