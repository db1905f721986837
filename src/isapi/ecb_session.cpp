// The request's session as extensions see it: HTTP_IDSESSION and the host's
// own request that replaces the session's values.
#include "isapi/ecb.h"

namespace tamsel {

// TODO(sessions): wired to THTTPSession once the session type is on main.
std::string TECB::SessionText() const { return std::string(); }

bool TECB::SetSessionValues(const char*) { return true; }

}  // namespace tamsel
