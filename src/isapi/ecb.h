// The extension control block of one run and the host side of its four
// callbacks, through which an extension reads the request and builds the reply.
#pragma once

#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "isapi/done_event.h"
#include "isapi/extension_api.h"

namespace tamsel {

class TPeerThread;
class THTTPRequestInfo;
class THTTPResponseInfo;
class THTTPServer;
class TISAPIRunner;

class TECB {
 public:
  // How long a run waits after the extension call before the block is released.
  static constexpr int kReleasePauseMs = 75;

  // Fills the block (ConnID is this object) and the host fields.
  TECB(TISAPIRunner* runner, TPeerThread* thread, THTTPRequestInfo* request, THTTPResponseInfo* response,
       const std::string& documentRoot, const std::string& pathInfo);
  TECB(const TECB&) = delete;
  TECB& operator=(const TECB&) = delete;

  // Calls the entry point with the block; for a pending answer waits (without
  // a time limit) for HSE_REQ_DONE_WITH_SESSION; then pauses kReleasePauseMs.
  // Rethrows a failure that a callback could not carry through the extension.
  void Call(PFN_HTTPEXTENSIONPROC proc);

  EXTENSION_CONTROL_BLOCK Block{};

  // Host fields.
  TISAPIRunner* Runner;
  std::string DocumentRoot;
  std::string ServerAdmin;
  TPeerThread* PeerThread;
  THTTPRequestInfo* RequestInfo;
  THTTPResponseInfo* ResponseInfo;
  THTTPServer* Server;
  TDoneEvent DoneEvent;

  // The callbacks, as the block carries them.
  static HSE_BOOL GetServerVariable(HCONN hConn, char* lpszVariableName, void* lpvBuffer, uint32_t* lpdwSize);
  static HSE_BOOL WriteClient(HCONN ConnID, void* Buffer, uint32_t* lpdwBytes, uint32_t dwReserved);
  static HSE_BOOL ReadClient(HCONN ConnID, void* lpvBuffer, uint32_t* lpdwSize);
  static HSE_BOOL ServerSupportFunction(HCONN hConn, uint32_t dwHSERequest, void* lpvBuffer, uint32_t* lpdwSize,
                                        uint32_t* lpdwDataType);

  // The value of a server variable, or false for a name the host does not
  // know and no request header answers. `withNul` is false for AUTH_NAME and
  // AUTH_PASS, whose reported size leaves the NUL out.
  bool VariableValue(const std::string& name, std::string& value, bool& withNul) const;
  // DocumentRoot's full folder path followed by the text.
  std::string MapPath(const std::string& url) const;
  // The header requests; false when a step fails (earlier steps stay done).
  bool SendResponseHeader(const char* headerText);
  bool SendResponseHeaderEx(const HSE_SEND_HEADER_EX_INFO& info);
  // The session's values as name=value lines, each ended by CR LF; empty without a session.
  std::string SessionText() const;

 private:
  bool GetVariable(const char* name, void* buffer, uint32_t* size);
  bool Write(const void* buffer, uint32_t* bytes);
  bool Read(void* buffer, uint32_t* size);
  bool SupportFunction(uint32_t request, void* buffer, uint32_t* size, uint32_t* dataType);
  bool MapUrlToPath(const char* url, char* buffer, uint32_t* size);
  bool TransmitFile(const HSE_TF_INFO* info);
  // Steps shared by both header forms, on the split header lines.
  bool ApplyHeaderLines(const std::vector<std::string>& lines);
  bool SetSessionValues(const char* text);
  void KeepFailure();

  std::string method_, query_, path_info_, path_translated_, content_type_;
  std::vector<unsigned char> post_data_;
  std::mutex failure_mutex_;
  std::exception_ptr failure_;  // kept by a callback, rethrown by Call
};

}  // namespace tamsel
