// The settings file as the two windows read it and as the configuration
// window writes it.
#include "app/server_config.h"

#include <sys/stat.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "platform/in_out_error.h"
#include "platform/program_folder.h"
#include "support/temp_folder.h"

namespace tamsel {
namespace {

class ServerConfigTest : public ::testing::Test {
 protected:
  std::string Program() const { return folder_.Path(); }
  std::string ConfPath() const { return folder_ / "server.conf"; }
  void WriteConf(const std::string& bytes) const { testing::WriteFileBytes(ConfPath(), bytes); }
  mode_t ModeOf(const std::string& path) const {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
  }

  testing::TTempFolder folder_;
};

TEST_F(ServerConfigTest, MissingFileGivesServerWindowDefaults) {
  TServerWindowSettings s = ReadServerWindowSettings(ConfPath(), Program());
  EXPECT_EQ(s.PhpIniPath, "/usr/bin");
  EXPECT_EQ(s.PhpExePath, "/usr/bin/php-cgi");
  EXPECT_EQ(s.ServerAdmin, kServerWindowDefaultAdmin);
  EXPECT_EQ(s.Port, 80);
  EXPECT_EQ(s.Root, Program() + "www");
  EXPECT_EQ(s.AdminUser, "admin");
  EXPECT_EQ(s.AdminPassword, "qorvu");
  EXPECT_FALSE(s.RequireAuth);
  // The configuration window changes nothing but its root box then.
  EXPECT_FALSE(ReadConfigWindowSettings(ConfPath(), Program()).has_value());
}

TEST_F(ServerConfigTest, EachWindowReadsItsKeys) {
  std::filesystem::create_directory(folder_ / "site");
  WriteConf(
      "[CONFIG]\r\nPHP_INI=/opt/php\r\nPHP_EXE=/opt/php/php-cgi\r\nSERVER_ADMIN=me@example.org\r\n"
      "PORT=0x1F90\r\nROOT=" + folder_ / "site" +
      "\r\nAUTH_USER=jo\r\nAUTH_PASSWORD=pw\r\nREQ_AUTH=2\r\n");
  TServerWindowSettings s = ReadServerWindowSettings(ConfPath(), Program());
  EXPECT_EQ(s.PhpIniPath, "/opt/php");
  EXPECT_EQ(s.PhpExePath, "/opt/php/php-cgi");
  EXPECT_EQ(s.ServerAdmin, "me@example.org");
  EXPECT_EQ(s.Port, 8080);
  EXPECT_EQ(s.Root, folder_ / "site");
  EXPECT_EQ(s.AdminUser, "jo");
  EXPECT_EQ(s.AdminPassword, "pw");
  EXPECT_TRUE(s.RequireAuth);

  std::optional<TConfigWindowSettings> c = ReadConfigWindowSettings(ConfPath(), Program());
  ASSERT_TRUE(c.has_value());
  EXPECT_EQ(c->PhpExe, "/opt/php/php-cgi");
  EXPECT_EQ(c->ServerAdmin, "me@example.org");
  EXPECT_EQ(c->Port, 8080);
  EXPECT_EQ(c->Root, folder_ / "site");
  EXPECT_EQ(c->AuthUser, "jo");
  EXPECT_EQ(c->AuthPassword, "pw");
  EXPECT_TRUE(c->RequireAuth);
}

TEST_F(ServerConfigTest, EdgeValues) {
  // Present-but-empty beats the default; a bad port and a word for a Boolean
  // give the defaults; a root that is no folder falls back for the server
  // window only.
  WriteConf("[config]\r\nphp_exe=\r\nport=abc\r\nroot=/no/such/folder\r\nreq_auth=yes\r\n"
            "server_admin=\r\n");
  TServerWindowSettings s = ReadServerWindowSettings(ConfPath(), Program());
  EXPECT_EQ(s.PhpExePath, "");
  EXPECT_EQ(s.ServerAdmin, "");
  EXPECT_EQ(s.Port, 80);
  EXPECT_EQ(s.Root, Program() + "www");
  EXPECT_FALSE(s.RequireAuth);
  EXPECT_EQ(s.PhpIniPath, "/usr/bin");
  std::optional<TConfigWindowSettings> c = ReadConfigWindowSettings(ConfPath(), Program());
  ASSERT_TRUE(c.has_value());
  EXPECT_EQ(c->PhpExe, "");
  EXPECT_EQ(c->Port, 80);
  EXPECT_EQ(c->Root, "/no/such/folder");
  EXPECT_FALSE(c->RequireAuth);
  EXPECT_EQ(c->ServerAdmin, "");
  EXPECT_EQ(c->AuthUser, "admin");
  EXPECT_EQ(c->AuthPassword, "qorvu");

  // A negative port stays negative here; the port box drops the sign.
  WriteConf("[CONFIG]\r\nPORT=-8080\r\nROOT=\r\n");
  EXPECT_EQ(ReadServerWindowSettings(ConfPath(), Program()).Port, -8080);
  EXPECT_EQ(ReadServerWindowSettings(ConfPath(), Program()).Root, Program() + "www");
  EXPECT_EQ(ReadConfigWindowSettings(ConfPath(), Program())->Root, "");
}

TEST_F(ServerConfigTest, WritesExactLinesWithCrLf) {
  struct Case {
    TAuthChoice choice;
    const char* lastLine;
  } cases[] = {
      {TAuthChoice::kNo, "REQ_AUTH=0\r\n"},
      {TAuthChoice::kYes, "REQ_AUTH=1\r\n"},
      {TAuthChoice::kNone, ""},
  };
  for (const Case& c : cases) {
    TServerConfigValues v{"", "/usr/bin/php-cgi", " a@b ", "8a0", "/srv/www", "admin",
                          "p=\"w\" ", c.choice};
    WriteServerConfig(ConfPath(), v);
    EXPECT_EQ(testing::ReadFileBytes(ConfPath()),
              std::string("[CONFIG]\r\nPHP_INI=\r\nPHP_EXE=/usr/bin/php-cgi\r\n"
                          "SERVER_ADMIN= a@b \r\nPORT=8a0\r\nROOT=/srv/www\r\nAUTH_USER=admin\r\n"
                          "AUTH_PASSWORD=p=\"w\" \r\n") +
                  c.lastLine);
  }
}

TEST_F(ServerConfigTest, RoundTrip) {
  std::filesystem::create_directory(folder_ / "root");
  struct Case {
    TAuthChoice choice;
    bool requireAuth;
  } cases[] = {{TAuthChoice::kYes, true}, {TAuthChoice::kNo, false}, {TAuthChoice::kNone, false}};
  for (const Case& c : cases) {
    TServerConfigValues v{"/opt/php", "/opt/php/php-cgi", "web@site", "0x1F90", folder_ / "root",
                          "Üser", "Pass word", c.choice};
    WriteServerConfig(ConfPath(), v);
    TServerWindowSettings s = ReadServerWindowSettings(ConfPath(), Program());
    EXPECT_EQ(s.PhpIniPath, v.PhpIni);
    EXPECT_EQ(s.PhpExePath, v.PhpExe);
    EXPECT_EQ(s.ServerAdmin, v.ServerAdmin);
    EXPECT_EQ(s.Port, 8080);
    EXPECT_EQ(s.Root, v.Root);
    EXPECT_EQ(s.AdminUser, v.AuthUser);
    EXPECT_EQ(s.AdminPassword, v.AuthPassword);  // written AUTH_PASSWORD, read AUTH_password
    EXPECT_EQ(s.RequireAuth, c.requireAuth);
    std::optional<TConfigWindowSettings> w = ReadConfigWindowSettings(ConfPath(), Program());
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(w->PhpExe, v.PhpExe);
    EXPECT_EQ(w->AuthPassword, v.AuthPassword);
    EXPECT_EQ(w->RequireAuth, c.requireAuth);
  }
}

TEST_F(ServerConfigTest, FileIsOwnerOnlyAndReplacedWhole) {
  TServerConfigValues v{"", "php", "a@b", "80", "/", "admin", "secret", TAuthChoice::kNo};
  WriteServerConfig(ConfPath(), v);
  EXPECT_EQ(ModeOf(ConfPath()), 0600u);

  // An existing file with a wider mode and longer content is replaced, not
  // patched: the mode narrows and no old bytes remain.
  WriteConf(std::string(5000, 'x'));
  ASSERT_EQ(::chmod(ConfPath().c_str(), 0644), 0);
  WriteServerConfig(ConfPath(), v);
  EXPECT_EQ(ModeOf(ConfPath()), 0600u);
  EXPECT_EQ(testing::ReadFileBytes(ConfPath()), ServerConfigText(v));

  // No temporary file is left beside it.
  size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder_.Path())) {
    EXPECT_EQ(e.path().filename(), "server.conf");
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

TEST_F(ServerConfigTest, UnwritableFolderRaisesInOutError) {
  TServerConfigValues v;
  const std::string path = folder_ / "missing/server.conf";
  try {
    WriteServerConfig(path, v);
    FAIL() << "no error raised";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Code(), ENOENT);
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  // A folder standing where the file should be: the old content stays whole.
  std::filesystem::create_directory(ConfPath());
  EXPECT_THROW(WriteServerConfig(ConfPath(), v), EInOutError);
  EXPECT_TRUE(std::filesystem::is_directory(ConfPath()));
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder_.Path()))
    ++entries;
  EXPECT_EQ(entries, 1u);  // no temporary file left behind
}

TEST(ProgramFolderTest, FolderOfTheRunningExecutable) {
  std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  EXPECT_EQ(folder.back(), '/');
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(folder + self.filename().string(), self.string());
  EXPECT_EQ(ServerConfigPath(), folder + "server.conf");
}

}  // namespace
}  // namespace tamsel
