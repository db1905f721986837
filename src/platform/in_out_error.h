// The failure of a file operation (create, write, rename), carrying the
// system's error code and its message.
#pragma once

#include <string>

#include "platform/errors.h"

namespace tamsel {

class EInOutError : public EEngineException {
 public:
  EInOutError(int code, const std::string& message) : EEngineException(message), code_(code) {}
  const char* ClassName() const noexcept override { return "EInOutError"; }
  int Code() const noexcept { return code_; }

 private:
  int code_;
};

// Raises EInOutError for `path` from the errno-style `code`, with the
// message "<what> \"<path>\": <system text>".
[[noreturn]] void RaiseInOutError(int code, const std::string& what, const std::string& path);

}  // namespace tamsel
