// The addresses shown in the server window's status bar.
#pragma once

#include <string>

namespace tamsel {

// The address of dial-up connection `connection` (from 1); empty when there is none.
std::string DialUpAddress(int connection);
// The first IPv4 address of the host's own name; "127.0.0.1" when it does not resolve.
std::string LocalHostAddress();

}  // namespace tamsel
