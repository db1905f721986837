#include "platform/in_out_error.h"

#include <cstring>

namespace tamsel {

void RaiseInOutError(int code, const std::string& what, const std::string& path) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be `buffer`.
  const char* text = ::strerror_r(code, buffer, sizeof buffer);
  throw EInOutError(code, what + " \"" + path + "\": " + text);
}

}  // namespace tamsel
