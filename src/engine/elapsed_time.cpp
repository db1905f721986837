#include "engine/elapsed_time.h"

#include <cmath>
#include <limits>

namespace tamsel {

int32_t ElapsedMilliseconds(TDateTime from, TDateTime to) noexcept {
  double d = to - from;
  if (!std::isfinite(d)) return d < 0 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
  bool negative = d < 0;
  d = std::fabs(d);
  double wholeDays = std::trunc(d);
  if (wholeDays > 30.0) wholeDays = 30.0;  // beyond the 32-bit range either way
  TimeParts t = DecodeTime(d);
  int64_t ms = (((static_cast<int64_t>(wholeDays) * 24 + t.hour) * 60 + t.minute) * 60 + t.second) * 1000 +
               t.millisecond;
  if (ms > std::numeric_limits<int32_t>::max()) ms = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(negative ? -ms : ms);
}

}  // namespace tamsel
