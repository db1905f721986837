// The server window's logic: it owns the HTTP server, the CGI gateway and
// the extension host, holds the settings, starts and stops the server,
// dispatches requests, serves the session page and keeps the log.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "cgi/cgi_runner.h"
#include "engine/http_server.h"
#include "engine/mime_table.h"
#include "isapi/isapi_runner.h"
#include "server/server_log.h"
#include "server/server_view.h"

namespace tamsel {

class THTTPSession;

class TfmHTTPServerMain {
 public:
  static constexpr const char* kServerSoftware = "Tamsel 1.03 beta";
  static constexpr const char* kDefaultServerAdmin = "webmaster@localhost";

  // `configPath`: the settings file read at each showing; `logPath`: the log
  // file (relative paths are taken from the current folder).
  TfmHTTPServerMain(TServerView& view, std::string configPath, std::string logPath = TServerLog::kDefaultFilePath);
  ~TfmHTTPServerMain();  // FormDestroy
  TfmHTTPServerMain(const TfmHTTPServerMain&) = delete;
  TfmHTTPServerMain& operator=(const TfmHTTPServerMain&) = delete;

  // ---- window handlers ----
  void FormShow();
  void acActivateExecute();
  // True when the key is accepted (digits and backspace).
  bool edPortKeyPress(char key);
  void edPortChange();
  void edPortExit();
  void FormCloseQuery();
  void Button2Click();
  void FormDestroy();
  // The text of the about-server message.
  std::string AboutServerText() const;
  void Button1Click();
  // A double click on the session list with the line `selected` (none when empty).
  void lbSessionListDblClick(const std::string& selected);

  // ---- server events ----
  void HTTPServerConnect(TPeerThread& AThread);
  void HTTPServerDisconnect(TPeerThread& AThread);
  void HTTPServerCommandOther(TPeerThread& Thread, const std::string& asCommand, const std::string& asData,
                              const std::string& asVersion);
  void HTTPServerStatus(const std::string& AStatusText);
  void HTTPServerCommandGet(TPeerThread& AThread, THTTPRequestInfo& ARequestInfo, THTTPResponseInfo& AResponseInfo);
  void HTTPServerSessionStart(THTTPSession& Sender);
  void HTTPServerSessionEnd(THTTPSession& Sender);
  void ISAPIRunner1LogServerMessage(TISAPIRunner& Sender, THTTPRequestInfo& RequestInfo,
                                    THTTPResponseInfo& ResponseInfo, const std::string& AMessage);

  // ---- dispatch helpers ----
  void ServeSessionPage(TPeerThread& AThread, THTTPRequestInfo& ARequestInfo, THTTPResponseInfo& AResponseInfo);
  std::string MimeTypeOf(const std::string& fileName);
  void ListSessionID(const std::string& id);
  void UnlistSessionID(const std::string& id);

  void LogMessage(const std::string& text) { log_.LogMessage(text); }

  // ---- state shared with dispatch (fixed while the server runs) ----
  THTTPServer HTTPServer;
  TCGIRunner CGIRunner;
  // The extension host; request dispatch sends no request to it.
  TISAPIRunner ISAPIRunner1;
  std::string PhpExePath;
  std::string AdminUser;
  std::string AdminPassword;

  TServerLog& Log() { return log_; }
  bool LoggingOn() const { return log_.LoggingOn(); }
  std::vector<std::string> SessionList();

 private:
  TServerView& view_;
  std::string configPath_;
  TServerLog log_;
  std::unique_ptr<TMimeTable> HeadMimeTable;
  std::vector<std::string> sessionList_;  // lbSessionList, guarded by the log lock
  std::unordered_set<std::string> sessionListed_;  // the same identifiers, for the duplicate test
  // Settings copied at activation for the connection threads.
  std::string root_;
  bool requireAuth_ = false;
  bool destroyed_ = false;
};

}  // namespace tamsel
