#include "engine/http_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/base64.h"
#include "engine/cookies.h"
#include "engine/uri.h"
#include "platform/text.h"

namespace tamsel {

namespace {
constexpr const char* kSessionCookieName = "IDHTTPSESSIONID";
// Files up to this size are read and sent with their header.
constexpr int64_t kSmallFileSize = 16 * 1024;
}  // namespace

TCustomHTTPServer::TCustomHTTPServer() { DefaultPort = 80; }

TCustomHTTPServer::~TCustomHTTPServer() { TCustomHTTPServer::SetActive(false); }

void TCustomHTTPServer::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    // The session machinery first: time-out (0 switches sessions off), cap,
    // events, cleaner.
    if (SessionTimeOut != 0)
      sessionList_.SetSessionTimeout(SessionTimeOut);
    else
      sessionState_ = false;
    sessionList_.SetMaxSessions(MaxSessions);
    sessionList_.OnSessionStart = OnSessionStart;
    sessionList_.OnSessionEnd = OnSessionEnd;
    if (sessionState_) cleanerThread_ = std::make_unique<THTTPSessionCleanerThread>(sessionList_);
    try {
      StartListening();
    } catch (...) {
      // Nothing may keep running when the listener cannot start.
      StopCleaner();
      throw;
    }
  } else {
    // The cleaner ends every session on its own thread as it stops; what it
    // left ends here.
    StopCleaner();
    sessionList_.EndAllSessions();
    StopListening();
    // Requests still running while the listener stopped may have started
    // sessions after the pass above: they end too, so the next activation
    // starts with an empty list.
    sessionList_.EndAllSessions();
  }
}

void TCustomHTTPServer::StopCleaner() {
  if (!cleanerThread_) return;
  cleanerThread_->Stop();
  cleanerThread_.reset();
}

void TCustomHTTPServer::SetSessionState(bool value) {
  if (Active()) throw EHTTPCannotSwitchSessionStateWhenActive();
  sessionState_ = value;
}

void TCustomHTTPServer::RunCommandOther(TPeerThread& thread, const std::string& method,
                                        const std::string& target, const std::string& version) {
  if (OnCommandOther) OnCommandOther(thread, method, target, version);
}

void TCustomHTTPServer::RunCommandGet(TPeerThread& thread, THTTPRequestInfo& request,
                                      THTTPResponseInfo& response) {
  if (OnCommandGet) OnCommandGet(thread, request, response);
}

void TCustomHTTPServer::RunCreatePostStream(TPeerThread& thread, std::unique_ptr<TStream>& stream) {
  if (OnCreatePostStream) OnCreatePostStream(thread, stream);
}

void TCustomHTTPServer::RunCreateSession(TPeerThread& thread, std::shared_ptr<THTTPSession>& session) {
  if (OnCreateSession) OnCreateSession(thread, session);
}

void TCustomHTTPServer::RunInvalidSession(TPeerThread& thread, THTTPRequestInfo& request,
                                          THTTPResponseInfo& response, bool& continueProcessing,
                                          const std::string& invalidSessionID) {
  if (OnInvalidSession) OnInvalidSession(thread, request, response, continueProcessing, invalidSessionID);
}

bool TCustomHTTPServer::AttachSession(TPeerThread& thread, THTTPRequestInfo& request,
                                      THTTPResponseInfo& response) {
  bool continueProcessing = true;
  std::shared_ptr<THTTPSession> session;
  if (sessionState_) {
    // The first session cookie naming a live session of this client wins;
    // each one before it is reported as invalid.
    for (int at = request.RequestCookies.FindFrom(0, kSessionCookieName); at >= 0 && !session;
         at = request.RequestCookies.FindFrom(at + 1, kSessionCookieName)) {
      const std::string& id = request.RequestCookies.CookieAt(static_cast<size_t>(at)).Value;
      session = sessionList_.FindSession(id, request.ClientAddress);
      if (!session) RunInvalidSession(thread, request, response, continueProcessing, id);
    }
    if (!session && AutoStartSession && continueProcessing) session = StartSession(thread, response, request);
  }
  request.SessionRef = session;
  response.SessionRef = session;
  return continueProcessing;
}

std::shared_ptr<THTTPSession> TCustomHTTPServer::StartSession(TPeerThread& thread, THTTPResponseInfo& response,
                                                              THTTPRequestInfo& request) {
  if (!sessionState_) return nullptr;
  std::shared_ptr<THTTPSession> session;
  RunCreateSession(thread, session);
  if (session)
    sessionList_.InsertSession(session);
  else
    session = sessionList_.MakeUniqueSession(request.ClientAddress);
  TServerCookie& cookie = response.ResponseCookies.AddServerCookie();
  cookie.Name = kSessionCookieName;
  cookie.Value = session->SessionID();
  cookie.Path = "/";
  cookie.MaxAge = -1;  // no expiry: the browser keeps it while it runs
  response.SessionRef = session;
  request.SessionRef = session;
  return session;
}

bool TCustomHTTPServer::CloseSession(const std::string& sessionID) {
  std::shared_ptr<THTTPSession> session = sessionList_.FindSession(sessionID, "");
  return session && session->End();
}

bool TCustomHTTPServer::ServeConnection(TPeerThread& thread) {
  TTCPConnection& connection = thread.Connection;
  bool closeAfter = !KeepAlive;
  try {
    do {
      closeAfter = ServeRequest(thread, closeAfter);
    } while (!closeAfter);
  } catch (const ESocketError& e) {
    connection.Disconnect();
    if (!IsConnectionReset(e.Code())) throw;
    return true;
  } catch (const EClosedSocket&) {
    connection.Disconnect();
    return true;
  } catch (...) {
    connection.Disconnect();
    throw;
  }
  connection.Disconnect();
  return true;
}

bool TCustomHTTPServer::ServeRequest(TPeerThread& thread, bool closeAfter) {
  TTCPConnection& connection = thread.Connection;
  // 1-2: the request line and its parts.
  std::string line = connection.ReadLn();
  size_t lastBlank = line.rfind(' ');
  if (lastBlank == std::string::npos) throw EHTTPErrorParsingCommand();
  std::string version = line.substr(lastBlank + 1);
  std::string rest = line.substr(0, lastBlank);
  std::string method = UpperCase(SplitAtFirst(rest, " "));
  std::string target = rest;

  // 3: other methods reach their own handler with the raw parts only.
  if ((method != "GET" && method != "POST" && method != "HEAD") || !OnCommandGet) {
    RunCommandOther(thread, method, target, version);
    return closeAfter;
  }

  // 4-6: the request record and its header lines.
  THTTPRequestInfo request;
  request.RequestLine = line;
  request.ClientAddress = connection.PeerIP();
  request.Method = method;
  request.HeaderLines.Clear();
  for (auto& header : connection.ReadLinesToEmpty(MaxHeaderLines)) request.HeaderLines.Add(std::move(header));
  request.ParseHeaderLines();

  // 7-10: the body, into the application's stream or the default text buffer.
  std::unique_ptr<TStream> body;
  RunCreatePostStream(thread, body);
  bool defaultBuffer = !body;
  if (defaultBuffer) body = std::make_unique<TStringStream>();
  bool tooLarge = request.ContentLength > MaxContentLength;
  if (!tooLarge) {
    if (request.ContentLength > 0) {
      if (defaultBuffer) static_cast<TStringStream&>(*body).Reserve(static_cast<size_t>(request.ContentLength));
      connection.ReadExact(*body, request.ContentLength);
    } else if (method == "POST" && !request.LengthGiven) {
      tooLarge = !connection.ReadUntilClose(*body, MaxContentLength);
    }
  }
  if (body->IsText()) {
    request.FormText = static_cast<TStringStream&>(*body).Data();
    request.ParamText = request.FormText;
  }
  if (!defaultBuffer) request.BodyStream = std::move(body);
  body.reset();

  if (tooLarge) {
    // The body is not read: answer 413 and close.
    THTTPResponseInfo response(&connection);
    if (!ServerSoftware.empty() && !Trim(ServerSoftware).empty()) response.Server = ServerSoftware;
    response.SetStatus(413);
    response.SetCloseAfterReply(true);
    response.BodyText = "<HTML><BODY><B>413 " + response.StatusText + "</B></BODY></HTML>";
    response.SendBody();
    return true;
  }

  // 11-13: query and parameters.
  std::string query = target;
  target = SplitAtFirst(query, "?");
  request.QueryText = query;
  if (!request.QueryText.empty())
    request.ParamText = request.ParamText.empty() ? request.QueryText : request.ParamText + "&" + request.QueryText;
  if (ParseParams) {
    if (LowerCase(request.ContentType) == "application/x-www-form-urlencoded")
      request.DecodeParams(request.ParamText);
    else
      request.DecodeParams(request.QueryText);
  }

  // 14: every piece of every "Cookie" line becomes a request cookie.
  std::vector<std::string> cookieValues;
  request.HeaderLines.CollectValues("cookie", &cookieValues);
  ReadRequestCookies(cookieValues, request.RequestCookies);

  // 15-16: version and decoded path.
  request.ProtocolVersion = version;
  if (target == "*") {
    request.RequestPath = "*";
  } else {
    TURI uri = TURI::SplitUri(target);
    request.RequestPath = PercentDecode(uri.DirPart) + PercentDecode(uri.DocPart) + uri.ParamPart;
    if (!uri.HostPart.empty() && request.Host.empty()) request.Host = uri.HostPart;
  }

  // 17: Basic credentials (another scheme or a bad code ends the connection unanswered).
  ReadCredentials(request.HeaderLines.ValueOf("Authorization"), request.AuthPresent, request.AuthUser,
                  request.AuthPass);

  // 18-19: the response record and keep-alive.
  THTTPResponseInfo response(&connection);
  bool close = !(KeepAlive && SameText(request.Connection, "Keep-alive"));
  response.SetCloseAfterReply(close);

  // 20: the session.
  bool proceed = AttachSession(thread, request, response);

  // 21: the Server line.
  if (!Trim(ServerSoftware).empty()) response.Server = ServerSoftware;

  // 22-23: the handler, then whatever it left unsent.
  if (proceed) {
    try {
      RunCommandGet(thread, request, response);
    } catch (const ESocketError&) {
      throw;
    } catch (const std::exception& e) {
      response.SetStatus(500);
      response.BodyText = e.what();
    }
  }
  // The body, when there is one, sends the header first.
  if (!response.BodyText.empty() || response.BodyStream)
    response.SendBody();
  else if (!response.HeaderWritten)
    response.SendHeader();
  return response.CloseAfterReply;
}

int64_t TCustomHTTPServer::SendFile(TPeerThread& thread, THTTPResponseInfo& response,
                                    const std::string& fileName) {
  if (response.ContentType.empty()) response.ContentType = TypeTable.LookupMimeType(fileName);
  // One open serves the length and the bytes.
  TFileStream file(fileName, TFileStream::Mode::Read);
  const int64_t size = file.Size();
  response.SetContentLength(size);
  if (size <= kSmallFileSize) {
    // A small file leaves in the same send as its header: cheaper than a
    // file send for a few bytes.
    std::string bytes(static_cast<size_t>(size), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
      ssize_t n = ::pread(file.Handle(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the file shrank (or cannot be read): what was read is sent
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    response.SendHeaderAnd(bytes);
    return static_cast<int64_t>(got);
  }
  thread.Connection.MoreFollows();
  response.SendHeader();
  return thread.Connection.SendFileRange(file.Handle(), 0, size);
}

}  // namespace tamsel
