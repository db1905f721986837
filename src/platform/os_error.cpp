#include "platform/os_error.h"

#include <cstring>

#include "platform/text.h"

namespace tamsel {

void RaiseOSError(int code) {
  throw EOSError(code, Format("System Error.  Code: %d.\r\n%s", code, std::strerror(code)));
}

}  // namespace tamsel
