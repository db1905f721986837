// Session identifiers: random texts over a 61-character alphabet (letters of
// both cases and the digits 1 to 9), drawn from the kernel's random source.
#pragma once

#include <string>
#include <string_view>

namespace tamsel {

// The characters an identifier is made of; the digit 0 never occurs.
inline constexpr std::string_view kSessionIDAlphabet =
    "qwertzuiopasdfghjklyxcvbnmQWERTZUIOPASDFGHJKLYXCVBNM123456789";

// Length of a fresh identifier, and the length added after each clash.
inline constexpr int kSessionIDLength = 15;

// `length` characters, each drawn uniformly from kSessionIDAlphabet with
// getrandom(2) and rejection sampling. Raises EEngineException only when the
// system has no random source at all.
std::string MakeSessionID(int length);

}  // namespace tamsel
