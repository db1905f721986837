#include "engine/base64.h"

#include "engine/http_errors.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace tamsel {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Built once, copied into every decoder.
constexpr std::array<uint8_t, 256> BuildMimeTable() {
  std::array<uint8_t, 256> table{};
  for (auto& value : table) value = 255;
  for (size_t i = 0; i < kAlphabet.size(); ++i)
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<uint8_t>(i);
  return table;
}

constexpr std::array<uint8_t, 256> kMimeTable = BuildMimeTable();

// Decodes into a byte sink, one group of four characters at a time.
template <typename Sink>
void DecodeGroups(std::string_view text, const std::array<uint8_t, 256>& table, char fill,
                  Sink&& sink) {
  if (text.size() % 4 != 0) throw EEngineException("Uneven size in DecodeToStream.");
  for (size_t i = 0; i < text.size(); i += 4) {
    auto value = [&](size_t k) -> uint32_t {
      return table[static_cast<unsigned char>(text[i + k])];
    };
    uint32_t group = (value(0) << 18) | (value(1) << 12) | (value(2) << 6) | value(3);
    char bytes[3] = {static_cast<char>((group >> 16) & 0xFF), static_cast<char>((group >> 8) & 0xFF),
                     static_cast<char>(group & 0xFF)};
    size_t count = text[i + 2] == fill ? 1 : text[i + 3] == fill ? 2 : 3;
    sink(bytes, count);
  }
}

}  // namespace

void TDecoder4to3::DecodeToStream(std::string_view text, TStream& out) {
  DecodeGroups(text, DecodeTable, FillChar,
               [&](const char* bytes, size_t count) { out.Write(bytes, count); });
}

std::string TDecoder4to3::Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  DecodeGroups(text, DecodeTable, FillChar,
               [&](const char* bytes, size_t count) { out.append(bytes, count); });
  return out;
}

TDecoderMIME::TDecoderMIME() { DecodeTable = kMimeTable; }

std::string DecodeBase64(std::string_view text) {
  TDecoderMIME decoder;
  return decoder.Decode(text);
}

void ReadCredentials(const std::string& authorizationValue, bool& authPresent,
                     std::string& authUser, std::string& authPass) {
  authUser.clear();
  authPass.clear();
  authPresent = !authorizationValue.empty();
  if (!authPresent) return;
  std::string value = authorizationValue;
  std::string scheme = SplitAtFirst(value, " ");
  if (!SameText(scheme, "Basic")) throw EHTTPUnsupportedAuthorisationScheme();
  std::string credentials = DecodeBase64(value);
  authUser = SplitAtFirst(credentials, ":");
  authPass = std::move(credentials);
}

}  // namespace tamsel
