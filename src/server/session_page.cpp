// The built-in session page and the window's session events: start times,
// start and end lines with the duration, and the list of live sessions.
#include <cmath>

#include "engine/session.h"
#include "platform/local_format.h"
#include "platform/text.h"
#include "server/html.h"
#include "server/server_main.h"

namespace tamsel {

void TfmHTTPServerMain::ServeSessionPage(TPeerThread&, THTTPRequestInfo& ARequestInfo,
                                         THTTPResponseInfo& AResponseInfo) {
  AResponseInfo.ContentType = "text/HTML";
  std::string& body = AResponseInfo.BodyText;
  body = "<html><head><title>Virtual folder</title></head><body>";
  const TStringList& params = ARequestInfo.ParamList;
  std::shared_ptr<THTTPSession> session = ARequestInfo.SessionRef;
  if (SameText(params.Value("action"), "close")) {
    if (session) HTTPServer.SessionList().EndSession(session);
    body += "<h1>Session cleared</h1><p><a href=\"/sessions\">Back</a></p>";
  } else if (session) {
    std::string name = params.Value("ParamName");
    if (!name.empty()) {
      std::lock_guard lock(session->SessionLock());
      session->SessionValues().SetValue(name, params.Value("Param"));
    }
    body += "<h1>Session informations</h1>";
    std::lock_guard lock(session->SessionLock());
    const TStringList& values = session->SessionValues();
    body += "<table border=1>";
    body += "<tr><td>SessionID</td><td>" + HtmlEscape(session->SessionID()) + "</td></tr>";
    body += "<tr><td>Number of page requested during this session</td><td>" + HtmlEscape(values.Value("NumViews")) +
            "</td></tr>";
    body += "<tr><td>Session data (raw)</td><td><pre>" + HtmlEscape(values.Text()) + "</pre></td></tr>";
    body += "</table><h1>Tools:</h1><h2>Add new parameter</h2><form method=\"POST\">"
            "<p>Name: <input type=\"text\" Name=\"ParamName\"></p>"
            "<p>value: <input type=\"text\" Name=\"Param\"></p>"
            "<p><input type=\"Submit\"><input type=\"reset\"></p></form><h2>Other:</h2>";
    body += "<p><a href=\"" + HtmlEscape(ARequestInfo.RequestPath) + "?action=close\">Close current session</a></p>";
  } else {
    body += "<p color=#FF000>No session</p>";
  }
  body += "</body></html>";
}

void TfmHTTPServerMain::HTTPServerSessionStart(THTTPSession& Sender) {
  TDateTime now = Now();
  {
    std::lock_guard lock(Sender.SessionLock());
    Sender.SessionValues().SetValue("StartTime", FormatDateTimeText(now));
  }
  LogMessage(Format("Starting session %s at %s", Sender.SessionID().c_str(), FormatTimeText(now).c_str()));
  ListSessionID(Sender.SessionID());
}

void TfmHTTPServerMain::HTTPServerSessionEnd(THTTPSession& Sender) {
  TDateTime now = Now();
  LogMessage(Format("Ending session %s at %s", Sender.SessionID().c_str(), FormatTimeText(now).c_str()));
  std::string startText;
  {
    std::lock_guard lock(Sender.SessionLock());
    startText = Sender.SessionValues().Value("StartTime");
  }
  TDateTime start;
  // A start time overwritten through the page no longer reads as one: no duration then.
  if (TryParseDateTimeText(startText, start)) {
    TDateTime elapsed = now - start;
    TimeParts t = DecodeTime(elapsed);
    long long seconds = static_cast<long long>(std::trunc(elapsed)) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
    LogMessage(Format("Session duration was: %lld seconds", seconds));
  }
  UnlistSessionID(Sender.SessionID());
}

}  // namespace tamsel
