#include "engine/header_list.h"

#include <gtest/gtest.h>

namespace tamsel {
namespace {

THeaderList Lines(std::initializer_list<const char*> lines) {
  THeaderList list;
  for (const char* l : lines) list.Add(l);
  return list;
}

TEST(HeaderList, NamesAndValues) {
  THeaderList list = Lines({"X-A: one", "\ttwo", "Host : x", "Plain", "Empty:", "Cookie: a=1", "cookie: b=2",
                            "COOKIE: c=3"});
  EXPECT_EQ(list.ValueOf("x-a"), "one two");
  EXPECT_EQ(list.FindName("Host"), -1);          // a blank before the colon is part of the name
  EXPECT_EQ(list.NameAt(2), "HOST ");
  EXPECT_EQ(list.NameAt(3), "");
  EXPECT_EQ(list.ValueOf("Empty"), "");
  EXPECT_EQ(list.ValueAt(99), "");
  std::vector<std::string> cookies;
  list.CollectValues("cookie", &cookies);
  EXPECT_EQ(cookies, (std::vector<std::string>{"a=1", "b=2", "c=3"}));
  list.CollectValues("cookie", nullptr);  // no list: nothing happens

  list.JoinContinuations = false;
  EXPECT_EQ(list.ValueOf("X-A"), "one");
}

TEST(HeaderList, ContinuationRunEndsAtEmptyLine) {
  THeaderList list = Lines({"A: 1", " 2", "", " 3"});
  EXPECT_EQ(list.ValueOf("A"), "1 2");
}

TEST(HeaderList, PutValueReplacesAppendsAndDeletes) {
  THeaderList list = Lines({"A: 1", "B: 2", " more", "C: 3"});
  list.PutValue("b", "two");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"A: 1", "b: two", "C: 3"}));
  list.PutValue("D", "4");
  EXPECT_EQ(list[3], "D: 4");
  list.PutValue("A", "");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"b: two", "C: 3", "D: 4"}));
  list.PutValue("Missing", "");
  EXPECT_EQ(list.Count(), 3u);
}

TEST(HeaderList, LongValuesFoldAndJoinAgain) {
  std::string value;
  for (int i = 0; value.size() < 200; ++i) value += (i ? " word" : "word") + std::to_string(i);
  THeaderList list;
  list.PutValue("X-Long", value);
  ASSERT_GT(list.Count(), 1u);
  for (size_t i = 0; i < list.Count(); ++i) {
    EXPECT_LE(list[i].size(), 80u) << list[i];
    if (i > 0) {
      EXPECT_EQ(list[i][0], ' ') << list[i];
    }
  }
  EXPECT_EQ(list.ValueOf("X-Long"), value);

  // Replacing the value drops the old continuation lines.
  list.PutValue("X-Long", "short");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"X-Long: short"}));
}

TEST(HeaderList, WrapKeepsQuotedStretchesAndUnbreakableRuns) {
  std::string quoted = "Name: \"" + std::string(50, 'a') + " " + std::string(50, 'b') + "\" tail";
  std::string wrapped = WrapHeaderText(quoted, "\r\n ", "\t ,", 78);
  // The blank inside the quotes is no break: the quoted stretch stays whole.
  EXPECT_NE(wrapped.find(quoted.substr(6, 103)), std::string::npos) << wrapped;
  EXPECT_EQ(wrapped, "Name: \r\n " + quoted.substr(6, 104) + "\r\n tail");

  std::string run(300, 'x');
  EXPECT_EQ(WrapHeaderText(run, "\r\n ", "\t ,", 78), run);
}

TEST(HeaderList, TextRoundTrip) {
  THeaderList list;
  list.SetText("A: 1\r\nB: 2\n\rC: 3\r\n");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"A: 1", "B: 2", "", "C: 3"}));
  EXPECT_EQ(list.Text(), "A: 1\r\nB: 2\r\n\r\nC: 3\r\n");
}

}  // namespace
}  // namespace tamsel
