#include "app/server_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "app/ini_file.h"
#include "platform/fd.h"
#include "platform/in_out_error.h"
#include "platform/paths.h"
#include "platform/program_folder.h"

namespace tamsel {

namespace {

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "./";
  return path.substr(0, slash + 1);
}

// Removes the temporary file unless it was moved into place.
class TTempFileGuard {
 public:
  explicit TTempFileGuard(std::string path) : path_(std::move(path)) {}
  TTempFileGuard(const TTempFileGuard&) = delete;
  TTempFileGuard& operator=(const TTempFileGuard&) = delete;
  ~TTempFileGuard() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

}  // namespace

std::string ServerConfigPath() { return ProgramFolder() + kServerConfigFileName; }

TServerWindowSettings ReadServerWindowSettings(const std::string& path,
                                               const std::string& programFolder) {
  const TIniFile ini = TIniFile::Load(path);
  const char* s = kServerConfigSection;
  TServerWindowSettings out;
  out.PhpIniPath = ini.ReadString(s, "PHP_INI", kDefaultPhpIni);
  out.PhpExePath = ini.ReadString(s, "PHP_EXE", kDefaultPhpExe);
  out.Port = ini.ReadInteger(s, "PORT", kDefaultPort);
  const std::string defaultRoot = programFolder + kDefaultRootFolderName;
  std::string root = ini.ReadString(s, "ROOT", defaultRoot);
  out.Root = DirectoryExists(root) ? root : defaultRoot;
  out.AdminUser = ini.ReadString(s, "AUTH_USER", kDefaultAdminUser);
  out.AdminPassword = ini.ReadString(s, "AUTH_password", kDefaultAdminPassword);
  out.RequireAuth = ini.ReadBool(s, "REQ_AUTH", kDefaultRequireAuth);
  out.ServerAdmin = ini.ReadString(s, "SERVER_ADMIN", kServerWindowDefaultAdmin);
  return out;
}

std::optional<TConfigWindowSettings> ReadConfigWindowSettings(const std::string& path,
                                                              const std::string& programFolder) {
  if (!FileExists(path)) return std::nullopt;
  const TIniFile ini = TIniFile::Load(path);
  const char* s = kServerConfigSection;
  TConfigWindowSettings out;
  out.PhpExe = ini.ReadString(s, "PHP_EXE", kDefaultPhpExe);
  out.ServerAdmin = ini.ReadString(s, "SERVER_ADMIN", kConfigWindowDefaultAdmin);
  out.Port = ini.ReadInteger(s, "PORT", kDefaultPort);
  out.Root = ini.ReadString(s, "ROOT", programFolder + kDefaultRootFolderName);
  out.AuthUser = ini.ReadString(s, "AUTH_USER", kDefaultAdminUser);
  out.AuthPassword = ini.ReadString(s, "AUTH_password", kDefaultAdminPassword);
  out.RequireAuth = ini.ReadBool(s, "REQ_AUTH", kDefaultRequireAuth);
  return out;
}

std::string ServerConfigText(const TServerConfigValues& values) {
  std::string text;
  auto line = [&text](std::string_view a, std::string_view b = {}) {
    text.append(a).append(b).append("\r\n");
  };
  line("[CONFIG]");
  line("PHP_INI=", values.PhpIni);
  line("PHP_EXE=", values.PhpExe);
  line("SERVER_ADMIN=", values.ServerAdmin);
  line("PORT=", values.Port);
  line("ROOT=", values.Root);
  line("AUTH_USER=", values.AuthUser);
  line("AUTH_PASSWORD=", values.AuthPassword);
  if (values.RequireAuth == TAuthChoice::kNo) line("REQ_AUTH=0");
  if (values.RequireAuth == TAuthChoice::kYes) line("REQ_AUTH=1");
  return text;
}

void WriteServerConfig(const std::string& path, const TServerConfigValues& values) {
  const std::string text = ServerConfigText(values);
  std::string pattern = FolderOf(path) + ".server.conf.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  // mkostemp creates the file with mode 0600.
  UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
  if (!fd.Valid()) RaiseInOutError(errno, "Cannot create", path);
  TTempFileGuard guard(name.data());
  if (::fchmod(fd.Get(), S_IRUSR | S_IWUSR) != 0) RaiseInOutError(errno, "Cannot create", path);
  if (!WriteAll(fd.Get(), text)) RaiseInOutError(errno, "Cannot write", path);
  if (::fsync(fd.Get()) != 0) RaiseInOutError(errno, "Cannot write", path);
  if (::close(fd.Release()) != 0) RaiseInOutError(errno, "Cannot write", path);
  if (::rename(name.data(), path.c_str()) != 0) RaiseInOutError(errno, "Cannot write", path);
  guard.Keep();
}

}  // namespace tamsel
