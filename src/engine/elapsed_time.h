// Milliseconds between two date-time values, as the session time-out counts
// them.
#pragma once

#include <cstdint>

#include "platform/datetime.h"

namespace tamsel {

// Whole days, hours, minutes, seconds and milliseconds of `to - from` added
// up in milliseconds. Negative when `to` lies before `from`; held to the
// 32-bit range instead of wrapping around.
int32_t ElapsedMilliseconds(TDateTime from, TDateTime to) noexcept;

}  // namespace tamsel
