// Base64 decoding (strict about length, silent about bad characters) and
// the reading of Basic credentials from an "Authorization" value.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/stream.h"

namespace tamsel {

// Decodes a text into a byte stream.
class TDecoder {
 public:
  virtual ~TDecoder() = default;
  virtual void DecodeToStream(std::string_view text, TStream& out) = 0;
};

// Decodes groups of four characters into three bytes through a table.
class TDecoder4to3 : public TDecoder {
 public:
  char FillChar = '=';

  // Raises EEngineException("Uneven size in DecodeToStream.") when the
  // length is not a multiple of four; characters are not checked.
  void DecodeToStream(std::string_view text, TStream& out) override;
  std::string Decode(std::string_view text);

 protected:
  // Value of each character code (255 outside the alphabet).
  std::array<uint8_t, 256> DecodeTable{};
};

// The RFC 2045 alphabet with "=" as fill character.
class TDecoderMIME : public TDecoder4to3 {
 public:
  TDecoderMIME();
};

// The bytes of a Base64 text, one character per byte.
std::string DecodeBase64(std::string_view text);

// Reads Basic credentials: `authPresent` tells whether the value is
// non-empty; the decoded text before its first ":" is the user, the rest the
// password. Raises EHTTPUnsupportedAuthorisationScheme for another scheme
// and EEngineException for an encoded part of uneven length.
void ReadCredentials(const std::string& authorizationValue, bool& authPresent,
                     std::string& authUser, std::string& authPass);

}  // namespace tamsel
