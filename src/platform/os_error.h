// Failures of operating-system calls outside the socket layer (pipes,
// processes), carrying the errno code and the system's text for it.
#pragma once

#include <string>

#include "platform/errors.h"

namespace tamsel {

TAMSEL_EXCEPTION(EOSError, ESystemError);

// Raises EOSError for `code` with the message "System Error.  Code: %d." CR LF
// followed by the system's text for the code.
[[noreturn]] void RaiseOSError(int code);

}  // namespace tamsel
