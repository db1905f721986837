// The per-thread last error that the callbacks set and extensions read; the
// two functions are exported from the host executable (see extension_api.h).
#include "isapi/extension_api.h"

namespace {
thread_local uint32_t last_error = 0;
}  // namespace

extern "C" __attribute__((visibility("default"))) uint32_t HseGetLastError(void) { return last_error; }

extern "C" __attribute__((visibility("default"))) void HseSetLastError(uint32_t code) { last_error = code; }
