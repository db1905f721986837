#include "platform/full_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

namespace tamsel {
namespace {

TEST(FullPath, ResolvesDotsAndBothSeparatorsLexically) {
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const std::string here = cwd;
  struct Case {
    std::string path, full;
  };
  const Case cases[] = {
      {"/srv/www/test.php", "/srv/www/test.php"},
      {"/srv/www//a/./b.php", "/srv/www/a/b.php"},
      {"/srv/www/a/../../etc/x", "/srv/etc/x"},
      {"/../../x", "/x"},
      {"\\srv\\www\\a\\..\\b.php", "/srv/www/b.php"},
      {"/srv/www\\sub/file", "/srv/www/sub/file"},
      {"/srv/www/", "/srv/www/"},
      {"/srv/www/.", "/srv/www"},
      {"/srv/www/sub/..", "/srv/www"},
      {"/", "/"},
      {"www/test.php", here + "/www/test.php"},
      {"./www/../x", here + "/x"},
      {"", here + "/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FullPath(c.path), c.full) << c.path;
  }
}

}  // namespace
}  // namespace tamsel
