// Reads the system's local date-time text ("YYYY-MM-DD hh:mm:ss", the time
// or its seconds optional), as extensions write "Date" and "LastModified".
#pragma once

#include <string_view>

#include "platform/datetime.h"

namespace tamsel {

// False (and `value` unchanged) for anything else or an impossible date or time.
bool TryReadLocalDateTime(std::string_view text, TDateTime& value);

}  // namespace tamsel
