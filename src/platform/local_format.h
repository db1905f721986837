// The user's date and time texts: a fixed, round-trippable
// "YYYY-MM-DD hh:mm:ss" for dates with times and "hh:mm:ss" for times.
#pragma once

#include <string>

#include "platform/datetime.h"

namespace tamsel {

std::string FormatDateTimeText(TDateTime value);  // short date, a blank, long time
std::string FormatTimeText(TDateTime value);      // long time
// Reads a text written by FormatDateTimeText; false when it does not read as one.
bool TryParseDateTimeText(const std::string& text, TDateTime& value);

}  // namespace tamsel
