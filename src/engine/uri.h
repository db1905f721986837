// Request target splitting into its parts, and %-decoding.
#pragma once

#include <string>

namespace tamsel {

struct TURI {
  std::string SchemePart, UserPart, PasswordPart, HostPart, PortPart;
  std::string DirPart, DocPart, ParamPart, FragmentPart;

  // Splits a target (without its query); backslashes count as slashes.
  static TURI SplitUri(const std::string& target);
};

// "%hh" becomes the byte hh (either letter case); "%00", a non-hexadecimal
// "%" sequence and a trailing "%" are dropped. "+" is left alone.
std::string PercentDecode(const std::string& text);

}  // namespace tamsel
