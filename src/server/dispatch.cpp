// Request dispatch of the server window: authentication, scripts and
// programs through the CGI gateway, the session page, and files below the root.
#include "platform/full_path.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "server/server_main.h"

namespace tamsel {

namespace {
const char kAuthFailedFirst[] =
    "<html><head><title>Error</title></head><body><h1>Authentication failed</h1>\r<br><ul><li>Your "
    "Serveradministrator!</ul>";
const char kRealm[] = "Morvane HTTP-SERVER";
const char kAccessDenied[] =
    "<html><head><title>Error</title></head><body><h1>Access denied</h1>\rYou do not have sufficient "
    "priviligies to access this document.</body></html>";
const char kScriptNotFoundFirst[] = "<H1><center>Script not found</center></H1>\rYour server administrator: ";
const char kNotFoundFirst[] = "<html><head><title>Error</title></head><body><h1>";
const char kNotFoundLast[] = "</h1></body></html>";
}  // namespace

void TfmHTTPServerMain::HTTPServerCommandGet(TPeerThread& AThread, THTTPRequestInfo& ARequestInfo,
                                             THTTPResponseInfo& AResponseInfo) {
  const std::string& clientIP = AThread.Connection.PeerIP();
  const int clientPort = AThread.Connection.PeerPort();
  LogMessage(Format("Command %s %s received from %s:%d", ARequestInfo.Method.c_str(),
                    ARequestInfo.RequestPath.c_str(), clientIP.c_str(), clientPort));

  if (requireAuth_ && (ARequestInfo.AuthUser != AdminUser || ARequestInfo.AuthPass != AdminPassword)) {
    AResponseInfo.BodyText = kAuthFailedFirst + CGIRunner.ServerAdmin + "</body></html>";
    AResponseInfo.Realm = kRealm;
    return;
  }

  const std::string root = FullPath(root_);
  const std::string lowerPath = LowerCase(ARequestInfo.RequestPath);
  std::string scriptPath;
  std::string scriptFile;  // the file the script or program stands in, for the root test
  if (lowerPath.find(".php") != std::string::npos) {
    scriptPath = PhpExePath;
    scriptFile = FullPath(root_ + ARequestInfo.RequestPath);
  }
  if (lowerPath.find(".exe") != std::string::npos) {
    scriptPath = FullPath(root_ + ARequestInfo.RequestPath);
    scriptFile = scriptPath;
  }
  if (!scriptPath.empty()) {
    if (!IsInsideRoot(scriptFile, root)) {
      AResponseInfo.BodyText = kAccessDenied;
      AResponseInfo.SetStatus(403);
      return;
    }
    if (FileExists(scriptPath)) {
      CGIRunner.RunScript(scriptPath, AThread, ARequestInfo, AResponseInfo, root_, "");
      return;
    }
    AResponseInfo.BodyText = kScriptNotFoundFirst + CGIRunner.ServerAdmin;
    AResponseInfo.SetStatus(404);
    return;
  }

  if (lowerPath.rfind("/session", 0) == 0) {
    ServeSessionPage(AThread, ARequestInfo, AResponseInfo);
    return;
  }

  std::string file = FullPath(root_ + ARequestInfo.RequestPath);
  bool exists = FileExists(file);
  if (!exists && DirectoryExists(file)) {
    std::string index = FullPath(file + "/index.html");
    if (FileExists(index)) {
      file = index;
      exists = true;
    }
  }
  if (!exists) {
    AResponseInfo.SetStatus(404);
    AResponseInfo.BodyText = kNotFoundFirst + AResponseInfo.StatusText + kNotFoundLast;
    return;
  }
  if (!IsInsideRoot(file, root)) {
    AResponseInfo.BodyText = kAccessDenied;
    AResponseInfo.SetStatus(403);
    return;
  }
  if (SameText(ARequestInfo.Method, "HEAD")) {
    TFileStream probe(file, TFileStream::Mode::Read);
    AResponseInfo.SetStatus(200);
    AResponseInfo.ContentType = MimeTypeOf(file);
    AResponseInfo.SetContentLength(probe.Size());
    return;
  }
  AResponseInfo.ContentType.clear();
  int64_t sent = HTTPServer.SendFile(AThread, AResponseInfo, file);
  if (LoggingOn())  // the size is read for the line only
    LogMessage(Format("Serving file %s (%lld bytes / %lld bytes sent) to %s:%d", file.c_str(),
                      static_cast<long long>(sent), FileSize(file), clientIP.c_str(), clientPort));
}

}  // namespace tamsel
