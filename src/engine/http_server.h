// The HTTP server engine: runs the per-connection request loop on the TCP
// server platform, parses each request into a request record, hands it to the
// application's handlers and writes what they leave unsent.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/http_errors.h"
#include "engine/http_records.h"
#include "engine/mime_table.h"
#include "engine/session_cleaner.h"
#include "engine/session_list.h"
#include "platform/tcp_server.h"

namespace tamsel {

using THTTPGetEvent = std::function<void(TPeerThread& AThread, THTTPRequestInfo& ARequestInfo,
                                         THTTPResponseInfo& AResponseInfo)>;
using THTTPOtherEvent = std::function<void(TPeerThread& Thread, const std::string& asCommand,
                                           const std::string& asData, const std::string& asVersion)>;
using TOnCreatePostStream = std::function<void(TPeerThread& ASender, std::unique_ptr<TStream>& VPostStream)>;
// May supply a session of the handler's own making in VHTTPSession (none on entry).
using TOnCreateSession = std::function<void(TPeerThread& ASender, std::shared_ptr<THTTPSession>& VHTTPSession)>;
// A session cookie naming no live session; clearing VContinueProcessing keeps
// the request from its handler and from a new session.
using THTTPInvalidSessionEvent =
    std::function<void(TPeerThread& Thread, THTTPRequestInfo& ARequestInfo, THTTPResponseInfo& AResponseInfo,
                       bool& VContinueProcessing, const std::string& AInvalidSessionID)>;

class TCustomHTTPServer : public TTCPServer {
 public:
  TCustomHTTPServer();
  ~TCustomHTTPServer() override;

  void SetActive(bool value) override;

  bool KeepAlive = false;
  bool ParseParams = true;
  std::string ServerSoftware;
  // Requests declaring (or sending without a length) a larger body get 413.
  int64_t MaxContentLength = 256 * 1024 * 1024;
  // Requests with more header lines are closed without an answer.
  size_t MaxHeaderLines = 1000;

  THTTPGetEvent OnCommandGet;
  THTTPOtherEvent OnCommandOther;
  TOnCreatePostStream OnCreatePostStream;

  // Sessions. SessionState may change only while the server is inactive
  // (EHTTPCannotSwitchSessionStateWhenActive otherwise); a SessionTimeOut of
  // 0 at activation switches sessions off. SessionTimeOut, MaxSessions,
  // OnSessionStart and OnSessionEnd are copied to the list at activation;
  // AutoStartSession, OnCreateSession and OnInvalidSession are read for every
  // request.
  bool SessionState() const { return sessionState_; }
  void SetSessionState(bool value);
  bool AutoStartSession = false;
  int32_t SessionTimeOut = 0;  // milliseconds
  int32_t MaxSessions = THTTPCustomSessionList::kDefaultMaxSessions;
  TOnCreateSession OnCreateSession;
  THTTPInvalidSessionEvent OnInvalidSession;
  TOnSessionStartEvent OnSessionStart;
  TOnSessionEndEvent OnSessionEnd;

  THTTPDefaultSessionList& SessionList() { return sessionList_; }
  // The running cleaner while the server is active with sessions on.
  THTTPSessionCleanerThread* CleanerThread() const { return cleanerThread_.get(); }

  // Starts a session for the request and queues its "IDHTTPSESSIONID"
  // cookie on the response; none while sessions are off.
  std::shared_ptr<THTTPSession> StartSession(TPeerThread& thread, THTTPResponseInfo& response,
                                             THTTPRequestInfo& request);
  // Ends the session with this identifier (any client's) on the calling
  // thread; false when there is none.
  bool CloseSession(const std::string& sessionID);

  // Extension -> MIME type for SendFile, filled at construction and only read afterwards.
  TMimeTable TypeTable;

  // Answers with a file: content type, length, header and bytes; returns the bytes sent.
  virtual int64_t SendFile(TPeerThread& thread, THTTPResponseInfo& response, const std::string& fileName);

 protected:
  bool Execute(TPeerThread& thread) override { return ServeConnection(thread); }
  // The per-connection request loop; always true (handled).
  bool ServeConnection(TPeerThread& thread);

  virtual void RunCommandOther(TPeerThread& thread, const std::string& method,
                               const std::string& target, const std::string& version);
  virtual void RunCommandGet(TPeerThread& thread, THTTPRequestInfo& request, THTTPResponseInfo& response);
  virtual void RunCreatePostStream(TPeerThread& thread, std::unique_ptr<TStream>& stream);
  virtual void RunCreateSession(TPeerThread& thread, std::shared_ptr<THTTPSession>& session);
  virtual void RunInvalidSession(TPeerThread& thread, THTTPRequestInfo& request, THTTPResponseInfo& response,
                                 bool& continueProcessing, const std::string& invalidSessionID);
  // Attaches the caller's session to both records; false stops the request
  // from reaching the command handler.
  virtual bool AttachSession(TPeerThread& thread, THTTPRequestInfo& request, THTTPResponseInfo& response);

 private:
  // Serves one request; returns the close-after flag.
  bool ServeRequest(TPeerThread& thread, bool closeAfter);
  void StopCleaner();

  bool sessionState_ = false;
  THTTPDefaultSessionList sessionList_;
  // Declared after the list it sweeps, so it goes first.
  std::unique_ptr<THTTPSessionCleanerThread> cleanerThread_;
};

// The component the server window holds.
class THTTPServer : public TCustomHTTPServer {};

}  // namespace tamsel
