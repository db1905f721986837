// The failure of a file operation (create, write, rename), carrying the
// system's error code and its message.
#pragma once

#include <string>

#include "platform/errors.h"

namespace tamsel {

TAMSEL_EXCEPTION(EInOutError, ESystemError);

// Raises EInOutError for `path` from the errno-style `code`, with the
// message "<what> \"<path>\": <system text>".
[[noreturn]] void RaiseInOutError(int code, const std::string& what, const std::string& path);

}  // namespace tamsel
