// Reading rules of the settings-file reader.
#include "app/ini_file.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace tamsel {
namespace {

struct StringCase {
  const char* name;
  std::string text;
  const char* key;
  std::optional<std::string> expected;  // nullopt: the key reads as absent
};

class IniStringTest : public ::testing::TestWithParam<StringCase> {};

TEST_P(IniStringTest, FindsValue) {
  const StringCase& c = GetParam();
  TIniFile ini = TIniFile::FromText(c.text);
  EXPECT_EQ(ini.Find("CONFIG", c.key), c.expected);
  // The string reader gives the default exactly when the key is absent.
  EXPECT_EQ(ini.ReadString("CONFIG", c.key, "<default>"), c.expected.value_or("<default>"));
}

const std::string kLong(3000, 'a');

INSTANTIATE_TEST_SUITE_P(
    Rules, IniStringTest,
    ::testing::Values(
        StringCase{"plain", "[CONFIG]\r\nROOT=/srv/www\r\n", "ROOT", "/srv/www"},
        StringCase{"key_case", "[CONFIG]\r\nAUTH_PASSWORD=secret\r\n", "AUTH_password", "secret"},
        StringCase{"section_case", "[config]\r\nPORT=81\r\n", "PORT", "81"},
        StringCase{"blanks_around", "[CONFIG]\r\n  PHP_EXE =  /usr/bin/php-cgi \t\r\n", "php_exe",
                   "/usr/bin/php-cgi"},
        StringCase{"first_equals_splits", "[CONFIG]\r\nAUTH_PASSWORD=a=b=c\r\n", "AUTH_PASSWORD",
                   "a=b=c"},
        StringCase{"double_quotes", "[CONFIG]\r\nROOT=\" /a b \"\r\n", "ROOT", " /a b "},
        StringCase{"single_quotes", "[CONFIG]\r\nROOT='x'\r\n", "ROOT", "x"},
        StringCase{"unpaired_quotes", "[CONFIG]\r\nROOT=\"x'\r\n", "ROOT", "\"x'"},
        StringCase{"lone_quote", "[CONFIG]\r\nROOT=\"\r\n", "ROOT", "\""},
        StringCase{"empty_quotes", "[CONFIG]\r\nROOT=\"\"\r\n", "ROOT", ""},
        StringCase{"present_empty", "[CONFIG]\r\nPHP_EXE=\r\n", "PHP_EXE", ""},
        StringCase{"present_blank", "[CONFIG]\r\nPHP_EXE=   \r\n", "PHP_EXE", ""},
        StringCase{"absent", "[CONFIG]\r\nPORT=80\r\n", "PHP_EXE", std::nullopt},
        StringCase{"other_section", "[OTHER]\r\nPORT=80\r\n", "PORT", std::nullopt},
        StringCase{"before_any_section", "PORT=80\r\n[CONFIG]\r\n", "PORT", std::nullopt},
        StringCase{"after_other_section", "[CONFIG]\r\nA=1\r\n[OTHER]\r\nPORT=80\r\n", "PORT",
                   std::nullopt},
        StringCase{"first_of_two", "[CONFIG]\r\nPORT=1\r\nport=2\r\n", "PORT", "1"},
        StringCase{"no_equals_is_no_key", "[CONFIG]\r\nPORT\r\n", "PORT", std::nullopt},
        StringCase{"comment", "[CONFIG]\r\n;PORT=1\r\nPORT=2\r\n", "PORT", "2"},
        StringCase{"lf_only", "[CONFIG]\nA=1\nPORT=8\n", "PORT", "8"},
        StringCase{"cr_only", "[CONFIG]\rA=1\rPORT=8\r", "PORT", "8"},
        StringCase{"no_final_break", "[CONFIG]\r\nPORT=8", "PORT", "8"},
        StringCase{"blank_section_name", "[ CONFIG ]\r\nPORT=8\r\n", "PORT", "8"},
        StringCase{"cut_at_2047", "[CONFIG]\r\nROOT=" + kLong + "\r\n", "ROOT",
                   std::string(2047, 'a')},
        StringCase{"exactly_2047", "[CONFIG]\r\nROOT=" + std::string(2047, 'b') + "\r\n", "ROOT",
                   std::string(2047, 'b')},
        StringCase{"high_bytes_kept", "[CONFIG]\r\nAUTH_USER=J\xf6rg\r\n", "AUTH_USER",
                   "J\xf6rg"}),
    [](const ::testing::TestParamInfo<StringCase>& info) { return std::string(info.param.name); });

struct IntegerCase {
  const char* text;
  int32_t fallback;
  int32_t expected;
};

TEST(IniIntegerTest, DecimalHexadecimalAndFallback) {
  const IntegerCase cases[] = {
      {"8080", 80, 8080},      {"0x1F90", 80, 8080},     {"0X1f90", 80, 8080},
      {"abc", 80, 80},         {"", 80, 80},             {"-8080", 80, -8080},
      {"+81", 80, 81},         {"0x", 80, 80},           {"0x1G", 80, 80},
      {"0xFFFFFFFF", 80, -1},  {"0x100000000", 80, 80},  {"0x-1", 80, 80},
      {"12 34", 80, 80},       {"2147483647", 0, 2147483647}, {"2147483648", 7, 7},
      {"0012", 80, 12},        {"x10", 80, 80},          {"1.5", 80, 80},
  };
  for (const IntegerCase& c : cases) {
    EXPECT_EQ(TIniFile::TextToInteger(c.text, c.fallback), c.expected) << "text: " << c.text;
    TIniFile ini = TIniFile::FromText(std::string("[CONFIG]\r\nPORT=") + c.text + "\r\n");
    EXPECT_EQ(ini.ReadInteger("Config", "port", c.fallback), c.expected) << "text: " << c.text;
  }
  EXPECT_EQ(TIniFile::FromText("[CONFIG]\r\n").ReadInteger("CONFIG", "PORT", 80), 80);
}

TEST(IniBoolTest, ReadAsIntegers) {
  struct Case {
    const char* line;  // nullptr: no line at all
    bool fallback;
    bool expected;
  } cases[] = {
      {"REQ_AUTH=0", true, false},  {"REQ_AUTH=1", false, true},   {"REQ_AUTH=2", false, true},
      {"REQ_AUTH=-1", false, true}, {"REQ_AUTH=0x0", true, false}, {"REQ_AUTH=yes", false, false},
      {"REQ_AUTH=yes", true, true}, {"REQ_AUTH=", true, true},     {"REQ_AUTH=true", false, false},
      {nullptr, true, true},        {nullptr, false, false},
  };
  for (const Case& c : cases) {
    std::string text = "[CONFIG]\r\n" + std::string(c.line ? c.line : "OTHER=1") + "\r\n";
    EXPECT_EQ(TIniFile::FromText(text).ReadBool("CONFIG", "req_auth", c.fallback), c.expected)
        << (c.line ? c.line : "(absent)") << " fallback " << c.fallback;
  }
}

TEST(IniFileTest, MissingOrUnreadableFileGivesDefaults) {
  testing::TTempFolder folder;
  EXPECT_EQ(TIniFile::Load(folder / "none.conf").ReadString("CONFIG", "ROOT", "d"), "d");
  // A folder where the file should be reads as no file.
  EXPECT_EQ(TIniFile::Load(folder.Path()).ReadInteger("CONFIG", "PORT", 80), 80);
  testing::WriteFileBytes(folder / "a.conf", "[CONFIG]\r\nPORT=0x50\r\n");
  EXPECT_EQ(TIniFile::Load(folder / "a.conf").ReadInteger("CONFIG", "PORT", 1), 80);
}

}  // namespace
}  // namespace tamsel
