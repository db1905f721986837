// Session identifiers and the elapsed-time count behind session time-outs.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>

#include "engine/elapsed_time.h"
#include "engine/session_id.h"

namespace tamsel {
namespace {

TEST(SessionIDTest, IdentifiersUseOnlyTheAlphabetAtTheAskedLength) {
  for (int length : {1, 15, 30, 200}) {
    std::string id = MakeSessionID(length);
    ASSERT_EQ(id.size(), static_cast<size_t>(length));
    EXPECT_EQ(id.find('0'), std::string::npos) << id;
    for (char c : id) EXPECT_NE(kSessionIDAlphabet.find(c), std::string_view::npos) << id;
  }
  EXPECT_EQ(MakeSessionID(kSessionIDLength).size(), 15u);
  EXPECT_TRUE(MakeSessionID(0).empty());
}

TEST(SessionIDTest, IdentifiersDoNotRepeat) {
  std::set<std::string> seen;
  for (int i = 0; i < 20000; ++i) ASSERT_TRUE(seen.insert(MakeSessionID(kSessionIDLength)).second);
}

// Every character is equally likely. Taking a random byte modulo 61 would make
// the first 12 characters of the alphabet 25% likelier than the others, far
// outside the band allowed here (eight standard deviations).
TEST(SessionIDTest, CharactersAreDrawnWithoutBias) {
  constexpr int kIds = 40000;
  std::array<long, 256> counts{};
  for (int i = 0; i < kIds; ++i)
    for (unsigned char c : MakeSessionID(kSessionIDLength)) ++counts[c];
  const double total = kIds * kSessionIDLength;
  const double p = 1.0 / 61;
  const double expected = total * p;
  const double band = 8 * std::sqrt(total * p * (1 - p));
  for (char c : kSessionIDAlphabet) {
    long n = counts[static_cast<unsigned char>(c)];
    EXPECT_NEAR(static_cast<double>(n), expected, band) << "character " << c;
  }
}

TEST(ElapsedMillisecondsTest, CountsDaysAndTimeOfDay) {
  constexpr double kMs = 1.0 / 86400000.0;
  const TDateTime base = 46000.25;  // some morning in 2025
  struct Case {
    TDateTime from, to;
    int32_t expected;
  } cases[] = {
      {base, base, 0},
      {base, base + 1 * kMs, 1},
      {base, base + 1200000 * kMs, 1200000},
      {base, base + 1 + (((1 * 60 + 2) * 60 + 3) * 1000 + 4) * kMs, 86400000 + 3723004},
      {base + 1500 * kMs, base, -1500},
      {0, 2.5, 216000000},
      // Longer than the 32-bit range: held at the largest value, never wrapped to a negative one.
      {base, base + 40, INT32_MAX},
      {base + 40, base, -INT32_MAX},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ElapsedMilliseconds(c.from, c.to), c.expected) << c.from << " -> " << c.to;
}

}  // namespace
}  // namespace tamsel
