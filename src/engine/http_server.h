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
#include "platform/tcp_server.h"

namespace tamsel {

using THTTPGetEvent = std::function<void(TPeerThread& AThread, THTTPRequestInfo& ARequestInfo,
                                         THTTPResponseInfo& AResponseInfo)>;
using THTTPOtherEvent = std::function<void(TPeerThread& Thread, const std::string& asCommand,
                                           const std::string& asData, const std::string& asVersion)>;
using TOnCreatePostStream = std::function<void(TPeerThread& ASender, std::unique_ptr<TStream>& VPostStream)>;

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
  // Attaches the caller's session to both records; false stops the request
  // from reaching the command handler.
  virtual bool AttachSession(TPeerThread& thread, THTTPRequestInfo& request, THTTPResponseInfo& response);

 private:
  // Serves one request; returns the close-after flag.
  bool ServeRequest(TPeerThread& thread, bool closeAfter);
};

// The component the server window holds.
class THTTPServer : public TCustomHTTPServer {};

}  // namespace tamsel
