// The settings file "server.conf": what the server window and the
// configuration window read from it, and the configuration window's save.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tamsel {

inline constexpr char kServerConfigFileName[] = "server.conf";
inline constexpr char kServerConfigSection[] = "CONFIG";

// Defaults used when a key is absent (or, for integers, not a number).
inline constexpr char kDefaultPhpIni[] = "/usr/bin";  // the interpreter's own folder
inline constexpr char kDefaultPhpExe[] = "/usr/bin/php-cgi";
inline constexpr int32_t kDefaultPort = 80;
inline constexpr char kDefaultRootFolderName[] = "www";  // below the program folder
inline constexpr char kDefaultAdminUser[] = "admin";
inline constexpr char kDefaultAdminPassword[] = "qorvu";
inline constexpr bool kDefaultRequireAuth = false;
// Each window has its own default administrator address.
inline constexpr char kServerWindowDefaultAdmin[] = "webmaster@localhost";
inline constexpr char kConfigWindowDefaultAdmin[] = "admin@localhost";

// ProgramFolder() + "server.conf".
std::string ServerConfigPath();

// What the server window takes from the file at each showing.
struct TServerWindowSettings {
  std::string PhpIniPath = kDefaultPhpIni;  // "PHP_INI"
  std::string PhpExePath = kDefaultPhpExe;  // "PHP_EXE"
  std::string ServerAdmin = kServerWindowDefaultAdmin;  // "SERVER_ADMIN"
  int32_t Port = kDefaultPort;                          // "PORT"
  // "ROOT" when a folder exists there, otherwise program folder + "www".
  std::string Root;
  std::string AdminUser = kDefaultAdminUser;          // "AUTH_USER"
  std::string AdminPassword = kDefaultAdminPassword;  // "AUTH_password"
  bool RequireAuth = kDefaultRequireAuth;             // "REQ_AUTH"
};

// Reads `path`; a missing file gives every default. `programFolder` ends
// with "/" (see ProgramFolder()).
TServerWindowSettings ReadServerWindowSettings(const std::string& path,
                                               const std::string& programFolder);

// What the configuration window puts in its boxes ("PHP_INI" is not read).
struct TConfigWindowSettings {
  std::string PhpExe = kDefaultPhpExe;
  std::string ServerAdmin = kConfigWindowDefaultAdmin;
  int32_t Port = kDefaultPort;  // shown as decimal text
  std::string Root;             // as stored, checked nowhere; default program folder + "www"
  std::string AuthUser = kDefaultAdminUser;
  std::string AuthPassword = kDefaultAdminPassword;
  bool RequireAuth = kDefaultRequireAuth;  // true selects "yes", false "no"
};

// nullopt when no regular file exists at `path` (the window then keeps its
// boxes and only sets the root box to program folder + "www").
std::optional<TConfigWindowSettings> ReadConfigWindowSettings(const std::string& path,
                                                              const std::string& programFolder);

// The authentication choice of the configuration window.
enum class TAuthChoice {
  kNone,  // neither entry selected (typed text): no "REQ_AUTH" line
  kNo,    // "REQ_AUTH=0"
  kYes,   // "REQ_AUTH=1"
};

// What the configuration window saves: texts exactly as typed.
struct TServerConfigValues {
  std::string PhpIni;  // folder of the last successful PHP browse, empty before one
  std::string PhpExe;
  std::string ServerAdmin;
  std::string Port;  // the port box's text, not validated
  std::string Root;
  std::string AuthUser;
  std::string AuthPassword;
  TAuthChoice RequireAuth = TAuthChoice::kNone;
};

// The file's whole content: "[CONFIG]" and the KEY=value lines, each ended by CR LF.
std::string ServerConfigText(const TServerConfigValues& values);

// Replaces the file at `path` by ServerConfigText(values). The file holds a
// password, so it is readable by its owner only (mode 0600): the text goes to
// a new file of that mode in the same folder, which then takes the old one's
// place in one step, so the old content stays whole until the new one is.
// Raises EInOutError when the file cannot be written.
void WriteServerConfig(const std::string& path, const TServerConfigValues& values);

}  // namespace tamsel
