// The MIME table: built-in pairs, the system store laid over them, loading
// rules, the fill-once behaviour and lookups from several threads.
#include "engine/mime_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "platform/errors.h"

namespace tamsel {
namespace {

std::string WriteStore(const std::string& name, const std::string& content) {
  std::string path = ::testing::TempDir() + name + "." + std::to_string(::getpid());
  std::ofstream(path) << content;
  return path;
}

TEST(MimeTableBuiltIn, EdgeCasesWithoutAStore) {
  TMimeTable table(true, "");
  struct Case {
    const char* file;
    const char* type;
  } cases[] = {
      {"C:\\site\\Index.HTML", "text/html"},
      {"C:\\site\\readme", "application/octet-stream"},
      {"C:\\site.d\\readme", "application/octet-stream"},
      {"C:\\x\\song.mjf", "audio/x-vnd.audioexplosion.mjuicemediafile"},
      {"/srv/www.d/readme", "application/octet-stream"},
      {"C:x.d:stream", "application/octet-stream"},
      {"picture.xbm", "image/xbm"},  // the first of the two .xbm lines
      {"feed.XML", "text/xml"},
      {"/var/www/logo.png", "image/x-png"},
      {"drawing.svg", "image/svg-xml"},
      {"archive.tar.gz", "application/x-gzip"},
      {"page.shtml", "server-parsed-html"},
      {"trailing.", "application/octet-stream"},
      {"", "application/octet-stream"},
      {"noext", "application/octet-stream"},
      {"style.css", "text/css"},
      {"a.sgml", "text/sgml"},
  };
  for (const Case& c : cases) EXPECT_EQ(table.LookupMimeType(c.file), c.type) << c.file;
}

TEST(MimeTableBuiltIn, KeepsOrderFirstOfDuplicatesAndLowerCase) {
  TMimeTable table(true, "");
  const auto& ext = table.Extensions();
  const auto& types = table.MimeTypes();
  EXPECT_EQ(TMimeTable::BuiltInPairs().size(), 136u);
  ASSERT_EQ(ext.size(), 134u);  // .xbm and .xml occur twice
  ASSERT_EQ(types.size(), ext.size());
  EXPECT_EQ(ext.front(), ".aiff");
  EXPECT_EQ(types.front(), "audio/x-aiff");
  EXPECT_EQ(ext.back(), ".sgml");
  // Entries stand in the built-in order with the later duplicates left out.
  size_t at = 0;
  for (const std::string& pair : TMimeTable::BuiltInPairs()) {
    std::string e = pair.substr(0, pair.find('='));
    if (at < ext.size() && ext[at] == e) ++at;
  }
  EXPECT_EQ(at, ext.size());
  for (const std::string& type : types)
    for (char c : type) EXPECT_FALSE(c >= 'A' && c <= 'Z') << type;
}

TEST(MimeTableStore, StoreTypesBeatBuiltInsAndNewOnesAreAppended) {
  std::string path = WriteStore("store.types",
                                "# a comment line\n"
                                "image/png\t\t\tpng\n"
                                "text/javascript  js mjs\n"
                                "application/x-custom   XBM   # store beats built-in\n"
                                "video/mp2t ts\n"
                                "application/only-type\n"
                                "\n"
                                "audio/first dup\n"
                                "audio/second dup\r\n");
  TMimeTable table(true, path);
  struct Case {
    const char* file;
    const char* type;
  } cases[] = {
      {"a.png", "image/png"},     {"a.js", "text/javascript"}, {"a.mjs", "text/javascript"},
      {"a.xbm", "application/x-custom"}, {"a.ts", "video/mp2t"}, {"a.dup", "audio/second"},
      {"a.html", "text/html"},    {"a.only-type", "application/octet-stream"},
  };
  for (const Case& c : cases) EXPECT_EQ(table.LookupMimeType(c.file), c.type) << c.file;
  // An overridden built-in keeps its place; store-only extensions follow the built-ins.
  const auto& ext = table.Extensions();
  EXPECT_EQ(ext[19], ".png");
  EXPECT_EQ(ext[134], ".js");
  EXPECT_EQ(ext.size(), 134u + 4u);  // js, mjs, ts, dup
  ::unlink(path.c_str());
}

TEST(MimeTableStore, MissingStoreGivesTheBuiltInsAlone) {
  TMimeTable table(true, "/nonexistent/mime.types");
  EXPECT_EQ(table.Extensions().size(), 134u);
  EXPECT_EQ(table.LookupMimeType("x.png"), "image/x-png");
}

TEST(MimeTableStore, SystemStoreTypesForCommonWebFiles) {
  if (::access(TMimeTable::kSystemStore, R_OK) != 0)
    GTEST_SKIP() << TMimeTable::kSystemStore << " is not installed (package media-types)";
  TMimeTable table;  // the system store is the default
  struct Case {
    const char* file;
    const char* type;
  } cases[] = {
      {"app.js", "text/javascript"},       {"logo.png", "image/png"},
      {"icon.svg", "image/svg+xml"},       {"data.json", "application/json"},
      {"module.wasm", "application/wasm"}, {"font.woff2", "font/woff2"},
      {"index.html", "text/html"},         {"unknown.zzzq", "application/octet-stream"},
  };
  for (const Case& c : cases) EXPECT_EQ(table.LookupMimeType(c.file), c.type) << c.file;
}

TEST(MimeTableLoad, SkipsEmptyAndKnownExtensionsAddsMissingDots) {
  TMimeTable table(false, "");
  table.AddPair(".old", "x/old");
  TStringList lines;
  for (const char* line : {".jpg=image/jpeg", "jpg=image/other", "=x/y", "PNG=Image/PNG",
                           ".png=dup/x", ".a=b=c"})
    lines.Add(line);
  table.LoadPairs(lines, '=');
  EXPECT_EQ(table.Extensions(), (std::vector<std::string>{".jpg", ".png", ".a"}));
  EXPECT_EQ(table.MimeTypes(), (std::vector<std::string>{"image/jpeg", "image/png", "b=c"}));
}

TEST(MimeTableLoad, AddPairRejectsEmptyPartsAndDuplicates) {
  TMimeTable table(false, "");
  table.AddPair("md", "Text/Markdown");
  EXPECT_EQ(table.LookupMimeType("notes.MD"), "text/markdown");
  struct Case {
    const char* extension;
    const char* type;
    const char* message;
  } cases[] = {
      {"", "a/b", "Extension is empty"},
      {".x", "", "Mimetype is empty"},
      {".MD", "a/b", "Extension already exits"},
      {"md", "a/b", "Extension already exits"},
  };
  for (const Case& c : cases) {
    try {
      table.AddPair(c.extension, c.type);
      ADD_FAILURE() << "no exception for " << c.extension << " / " << c.type;
    } catch (const EEngineException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  EXPECT_EQ(table.Extensions().size(), 1u);
}

TEST(MimeTableFill, FillsOnFirstLookupOnlyWhenEmpty) {
  TMimeTable lazy(false, "");
  EXPECT_TRUE(lazy.Extensions().empty());
  EXPECT_EQ(lazy.LookupMimeType("anim.gif"), "image/gif");
  EXPECT_EQ(lazy.Extensions().size(), 134u);

  // A table that already holds pairs is not filled on a miss.
  TMimeTable own(false, "");
  own.AddPair(".x", "a/b");
  EXPECT_EQ(own.LookupMimeType("anim.gif"), "application/octet-stream");
  EXPECT_EQ(own.LookupMimeType("f.X"), "a/b");
}

TEST(MimeTableFill, ManyThreadsLookUpWhileTheTableFillsItself) {
  TMimeTable table(false, "");
  struct Case {
    const char* file;
    const char* type;
  } cases[] = {{"a.html", "text/html"}, {"b.gif", "image/gif"}, {"c.zip", "application/x-zip-compressed"},
               {"d.nope", "application/octet-stream"}};
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        const Case& c = cases[(i + t) % 4];
        if (table.LookupMimeType(c.file) != c.type) ++wrong[static_cast<size_t>(t)];
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
  EXPECT_EQ(table.Extensions().size(), 134u);
}

}  // namespace
}  // namespace tamsel
