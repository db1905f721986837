// Base64 decoding (strict length, no character check) and Basic credentials.
#include "engine/base64.h"

#include <gtest/gtest.h>

#include "engine/http_errors.h"

namespace tamsel {
namespace {

TEST(Base64Decode, FillCharactersEndTheirOwnGroup) {
  struct Case {
    const char* code;
    std::string bytes;
  } cases[] = {
      {"QQ==", "A"},
      {"QUI=", "AB"},
      {"QUJD", "ABC"},
      {"QQ==QUJD", "AABC"},
      {"", ""},
      {"YWxhZGRpbjpvcGVuc2VzYW1l", "aladdin:opensesame"},
      {"/w==", "\xFF"},
      {"AAAA", std::string(3, '\0')},
      // Characters outside the alphabet are not reported: their value 255 is
      // merged into the group and the bytes come out altered.
      {"Q Q=", "O\xF4"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeBase64(c.code), c.bytes) << c.code;
    TDecoderMIME decoder;
    TMemoryStream stream;
    decoder.DecodeToStream(c.code, stream);
    EXPECT_EQ(stream.Data(), c.bytes) << c.code;
  }
}

TEST(Base64Decode, LengthNotAMultipleOfFourIsRefusedBeforeAnyOutput) {
  for (const char* code : {"Q", "QQ=", "QUJDR", "QUJDQQ=", " QQ=="}) {
    TDecoderMIME decoder;
    TMemoryStream stream;
    try {
      decoder.DecodeToStream(code, stream);
      ADD_FAILURE() << "no exception for " << code;
    } catch (const EEngineException& e) {
      EXPECT_STREQ(e.what(), "Uneven size in DecodeToStream.") << code;
    }
    EXPECT_EQ(stream.Size(), 0) << code;
  }
}

TEST(BasicCredentials, SchemeInAnyCaseAndColonsInThePassword) {
  struct Case {
    const char* value;
    bool present;
    const char* user;
    const char* pass;
  } cases[] = {
      {"", false, "", ""},
      {"Basic dXNlcjpwYXNz", true, "user", "pass"},  // user:pass
      {"basic dTpwOnE=", true, "u", "p:q"},          // u:p:q
      {"BASIC YWRtaW46c2U6Y3JldA==", true, "admin", "se:cret"},
      {"bAsIc c29sbw==", true, "solo", ""},  // no colon at all
      {"Basic Og==", true, "", ""},          // ":" alone
      {"Basic", true, "", ""},               // the scheme alone
      {"Basic ", true, "", ""},
  };
  for (const Case& c : cases) {
    bool present = !c.present;
    std::string user = "stale", pass = "stale";
    ReadCredentials(c.value, present, user, pass);
    EXPECT_EQ(present, c.present) << c.value;
    EXPECT_EQ(user, c.user) << c.value;
    EXPECT_EQ(pass, c.pass) << c.value;
  }
}

TEST(BasicCredentials, OtherSchemesAndBadCodesRaise) {
  bool present = false;
  std::string user, pass;
  for (const char* value : {"Digest username=\"u\", realm=\"r\"", "Bearer abc", "Basicx QQ==",
                            " Basic QQ=="}) {
    EXPECT_THROW(ReadCredentials(value, present, user, pass), EHTTPUnsupportedAuthorisationScheme)
        << value;
    EXPECT_TRUE(present) << value;
  }
  // Two blanks: the second counts as part of the code and spoils its length.
  try {
    ReadCredentials("Basic  dXNlcjpwYXNz", present, user, pass);
    ADD_FAILURE() << "no exception for two blanks";
  } catch (const EHTTPServerError&) {
    ADD_FAILURE() << "two blanks are a decoding error, not a scheme error";
  } catch (const EEngineException& e) {
    EXPECT_STREQ(e.what(), "Uneven size in DecodeToStream.");
  }
}

}  // namespace
}  // namespace tamsel
