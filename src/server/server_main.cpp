#include "server/server_main.h"

#include <algorithm>

#include "app/server_config.h"
#include "engine/session.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "platform/text.h"
#include "server/local_address.h"

namespace tamsel {

namespace {
// Shows every log line in the view's lbLog.
class TViewLogSink : public TLogSink {
 public:
  explicit TViewLogSink(TServerView& view) : view_(view) {}
  void LineAdded(const std::string& line) override { view_.LogLineAdded(line); }

 private:
  TServerView& view_;
};

std::string DigitsOnly(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c >= '0' && c <= '9') out += c;
  return out;
}
}  // namespace

TfmHTTPServerMain::TfmHTTPServerMain(TServerView& view, std::string configPath, std::string logPath)
    : view_(view), configPath_(std::move(configPath)), log_(std::move(logPath)) {
  log_.SetSink(std::make_shared<TViewLogSink>(view_));

  HTTPServer.AutoStartSession = true;
  HTTPServer.SetSessionState(true);
  HTTPServer.SessionTimeOut = 1200000;
  HTTPServer.ServerSoftware = kServerSoftware;
  HTTPServer.Bindings = {{"0.0.0.0", 0}};
  HTTPServer.OnConnect = [this](TPeerThread& t) { HTTPServerConnect(t); };
  HTTPServer.OnDisconnect = [this](TPeerThread& t) { HTTPServerDisconnect(t); };
  HTTPServer.OnSessionStart = [this](THTTPSession& s) { HTTPServerSessionStart(s); };
  HTTPServer.OnSessionEnd = [this](THTTPSession& s) { HTTPServerSessionEnd(s); };
  HTTPServer.OnCommandOther = [this](TPeerThread& t, const std::string& c, const std::string& d,
                                     const std::string& v) { HTTPServerCommandOther(t, c, d, v); };
  HTTPServer.OnCommandGet = [this](TPeerThread& t, THTTPRequestInfo& req, THTTPResponseInfo& resp) {
    HTTPServerCommandGet(t, req, resp);
  };

  CGIRunner.Server = &HTTPServer;
  CGIRunner.TimeOutMsg = "<html><body><h1><center>Process is terminated.</body></html>\r\n";
  CGIRunner.ErrorMsg = "<html><body><h1><center>Internal Server Error</body></html>\r\n";
  CGIRunner.ServerAdmin = kDefaultServerAdmin;

  ISAPIRunner1.Server = &HTTPServer;
  ISAPIRunner1.ServerAdmin = kDefaultServerAdmin;
  ISAPIRunner1.OnLogServerMessage = [this](TISAPIRunner& sender, THTTPRequestInfo& request,
                                           THTTPResponseInfo& response, const std::string& message) {
    ISAPIRunner1LogServerMessage(sender, request, response, message);
  };
}

TfmHTTPServerMain::~TfmHTTPServerMain() { FormDestroy(); }

void TfmHTTPServerMain::FormShow() {
  std::string address = DialUpAddress(1);
  if (address.empty() || address[0] < '0' || address[0] > '9') address = LocalHostAddress();
  view_.SetStatusText("Your IP -> " + address);

  TServerWindowSettings settings = ReadServerWindowSettings(configPath_, ProgramFolder());
  CGIRunner.PHPIniPath = settings.PhpIniPath;
  PhpExePath = settings.PhpExePath;
  view_.SetPortText(std::to_string(settings.Port));
  edPortChange();
  view_.SetRootText(settings.Root);
  AdminUser = settings.AdminUser;
  AdminPassword = settings.AdminPassword;
  view_.SetAuthenticationChecked(settings.RequireAuth);
  CGIRunner.ServerAdmin = settings.ServerAdmin;

  HTTPServer.DefaultPort = StrToIntDef(view_.PortText(), 80);
  HeadMimeTable = std::make_unique<TMimeTable>();
  view_.SetCaption(HTTPServer.Active() ? "active" : "inactive");
}

void TfmHTTPServerMain::acActivateExecute() {
  view_.SetActiveChecked(!view_.ActiveChecked());
  {
    std::lock_guard lock(log_.LogLock());
    sessionList_.clear();
    sessionListed_.clear();
    view_.SessionListChanged(sessionList_);
  }
  if (!HTTPServer.Active()) {
    HTTPServer.DefaultPort = StrToIntDef(view_.PortText(), 80);
    HTTPServer.Bindings = {{"0.0.0.0", HTTPServer.DefaultPort}};
  }
  if (view_.ActiveChecked()) {
    log_.SetLoggingOn(view_.EnableLogChecked());
    std::string root = view_.RootText();
    if (!DirectoryExists(root)) {
      LogMessage(Format("Web root folder (%s) not found.", root.c_str()));
      view_.SetActiveChecked(false);
    } else {
      root_ = root;
      requireAuth_ = view_.AuthenticationChecked();
      try {
        HTTPServer.SetActive(true);
        LogMessage(Format("Listening for HTTP connections on %s:%d.", HTTPServer.Bindings[0].IP.c_str(),
                          HTTPServer.BoundPort()));
      } catch (const EEngineException& e) {
        view_.SetActiveChecked(false);
        LogMessage(Format("Exception %s in Activate. Error is:\"%s\".", e.ClassName(), e.what()));
      } catch (const std::exception& e) {
        view_.SetActiveChecked(false);
        LogMessage(Format("Exception %s in Activate. Error is:\"%s\".", "Exception", e.what()));
      }
    }
  } else {
    HTTPServer.SetActive(false);
    LogMessage("Stop listening.");
  }
  bool checked = view_.ActiveChecked();
  view_.SetCaption(checked ? "Active" : "inactive");
  view_.SetSettingsEnabled(!checked);
}

bool TfmHTTPServerMain::edPortKeyPress(char key) { return (key >= '0' && key <= '9') || key == '\b'; }

void TfmHTTPServerMain::edPortChange() {
  std::string text = view_.PortText();
  std::string digits = DigitsOnly(text);
  if (digits != text) view_.SetPortText(digits);
}

void TfmHTTPServerMain::edPortExit() {
  if (Trim(view_.PortText()).empty()) view_.SetPortText("80");
}

void TfmHTTPServerMain::FormCloseQuery() {
  if (view_.ActiveChecked()) acActivateExecute();
}

void TfmHTTPServerMain::Button2Click() {
  FormCloseQuery();
  view_.Hide();
}

void TfmHTTPServerMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (HTTPServer.Active()) HTTPServer.SetActive(false);
  HeadMimeTable.reset();
}

std::string TfmHTTPServerMain::AboutServerText() const {
  return std::string("Tamsel: a web server for trying pages and PHP scripts on your own machine.\r\n") +
         "This version is beta.\r\n" + "Visit my page for newer version: http://localhost/\r\n" + "\r\n" +
         "SERVER-VERSION: " + HTTPServer.ServerSoftware;
}

void TfmHTTPServerMain::Button1Click() { view_.ShowMessage("Description", AboutServerText()); }

void TfmHTTPServerMain::HTTPServerConnect(TPeerThread&) { LogMessage("User logged in"); }

void TfmHTTPServerMain::HTTPServerDisconnect(TPeerThread&) { LogMessage("User logged out"); }

void TfmHTTPServerMain::HTTPServerCommandOther(TPeerThread&, const std::string& asCommand, const std::string&,
                                               const std::string&) {
  LogMessage("Command other: " + asCommand);
}

void TfmHTTPServerMain::ISAPIRunner1LogServerMessage(TISAPIRunner&, THTTPRequestInfo&, THTTPResponseInfo&,
                                                     const std::string& AMessage) {
  LogMessage(AMessage);
}

void TfmHTTPServerMain::HTTPServerStatus(const std::string& AStatusText) { LogMessage("Status: " + AStatusText); }

std::string TfmHTTPServerMain::MimeTypeOf(const std::string& fileName) {
  return HeadMimeTable ? HeadMimeTable->LookupMimeType(fileName) : TMimeTable::kUnknownType;
}

std::vector<std::string> TfmHTTPServerMain::SessionList() {
  std::lock_guard lock(log_.LogLock());
  return sessionList_;
}

void TfmHTTPServerMain::ListSessionID(const std::string& id) {
  if (!LoggingOn()) return;
  std::lock_guard lock(log_.LogLock());
  if (!sessionListed_.insert(id).second) return;  // listed already
  sessionList_.push_back(id);
  view_.SessionListChanged(sessionList_);
}

void TfmHTTPServerMain::UnlistSessionID(const std::string& id) {
  if (!LoggingOn()) return;
  std::lock_guard lock(log_.LogLock());
  if (sessionListed_.erase(id) == 0) return;
  // Sessions mostly end oldest first, so the search from the front is short.
  auto it = std::find(sessionList_.begin(), sessionList_.end(), id);
  if (it != sessionList_.end()) sessionList_.erase(it);
  view_.SessionListChanged(sessionList_);
}

void TfmHTTPServerMain::lbSessionListDblClick(const std::string& selected) {
  if (!selected.empty()) HTTPServer.CloseSession(selected);
}

}  // namespace tamsel
