#include "platform/errors.h"

#include <cerrno>
#include <cstring>

#include "platform/text.h"

namespace tamsel {

bool IsConnectionReset(int code) noexcept { return code == ECONNRESET; }

void RaiseSocketError(int code) {
  throw ESocketError(code, Format("Socket Error # %d\n%s", code, std::strerror(code)));
}

}  // namespace tamsel
