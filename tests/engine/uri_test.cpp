#include "engine/uri.h"

#include <gtest/gtest.h>

#include "engine/http_records.h"

namespace tamsel {
namespace {

TEST(Uri, PercentDecode) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"/a%20b", "/a b"}, {"%2f%2F", "//"}, {"a%00b", "ab"}, {"a%zzb", "ab"},
      {"end%", "end"},    {"end%4", "end\x04"}, {"a+b", "a+b"},  {"%5C", "\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(PercentDecode(c.in), c.out) << c.in;
}

TEST(Uri, SplitUri) {
  struct Case {
    const char* target;
    const char *dir, *doc, *params, *fragment, *host, *port;
  } cases[] = {
      {"/dir/file.txt", "/dir/", "file.txt", "", "", "", ""},
      {"/dir\\file.txt", "/dir/", "file.txt", "", "", "", ""},
      {"file", "", "file", "", "", "", ""},
      {"/a/b=c/d", "/a/", "b", "=c/d", "", "", ""},
      {"/a/b=c#frag", "/a/", "b", "=c", "frag", "", ""},
      {"http://h:81/p/q.html", "/p/", "q.html", "", "", "h", "81"},
      {"http://u:pw@h/p#x", "/", "p", "", "x", "h", ""},
      {"", "", "", "", "", "", ""},
  };
  for (const auto& c : cases) {
    TURI u = TURI::SplitUri(c.target);
    EXPECT_EQ(u.DirPart, c.dir) << c.target;
    EXPECT_EQ(u.DocPart, c.doc) << c.target;
    EXPECT_EQ(u.ParamPart, c.params) << c.target;
    EXPECT_EQ(u.FragmentPart, c.fragment) << c.target;
    EXPECT_EQ(u.HostPart, c.host) << c.target;
    EXPECT_EQ(u.PortPart, c.port) << c.target;
  }
  TURI u = TURI::SplitUri("http://:pw@h/");
  EXPECT_EQ(u.PasswordPart, "");  // no user, no password
}

TEST(Uri, DecodeParams) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"a=1&b=%41+B&c=3", {"a=1", "b=A B", "c=3"}},
      {"a=1&&b=2&", {"a=1", "", "b=2", ""}},
      {"", {}},
      {"n%3Dx=1", {"n=x=1"}},
  };
  for (const auto& c : cases) {
    THTTPRequestInfo request;
    request.DecodeParams(c.text);
    EXPECT_EQ(request.ParamList.Lines(), c.lines) << c.text;
  }
  THTTPRequestInfo request;
  request.DecodeParams("n%3Dx=1");
  EXPECT_EQ(request.ParamList.Value("n"), "x=1");  // the decoded "=" ends the name
}

}  // namespace
}  // namespace tamsel
