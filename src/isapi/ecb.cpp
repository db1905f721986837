#include "isapi/ecb.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/http_records.h"
#include "engine/http_server.h"
#include "isapi/isapi_runner.h"
#include "platform/errors.h"
#include "platform/full_path.h"
#include "platform/stream.h"
#include "platform/tcp_server.h"
#include "platform/text.h"

namespace tamsel {

namespace {

constexpr char kDefaultLogData[] = "DEFAULT LOG DATA";

char* TextOf(std::string& text) { return text.data(); }

}  // namespace

TECB::TECB(TISAPIRunner* runner, TPeerThread* thread, THTTPRequestInfo* request, THTTPResponseInfo* response,
           const std::string& documentRoot, const std::string& pathInfo)
    : Runner(runner),
      DocumentRoot(documentRoot),
      ServerAdmin(runner ? runner->ServerAdmin : std::string()),
      PeerThread(thread),
      RequestInfo(request),
      ResponseInfo(response),
      Server(runner ? runner->Server : nullptr),
      method_(request->Method),
      query_(request->ParamText),
      path_info_(pathInfo),
      path_translated_(MapPath(request->RequestPath)),
      content_type_(request->ContentType) {
  Block.cbSize = sizeof(EXTENSION_CONTROL_BLOCK);
  Block.dwVersion = HSE_MAKE_VERSION(HSE_VERSION_MAJOR, HSE_VERSION_MINOR);
  Block.ConnID = this;
  Block.dwHttpStatusCode = 0;
  std::memcpy(Block.lpszLogData, kDefaultLogData, sizeof kDefaultLogData);
  Block.lpszMethod = TextOf(method_);
  Block.lpszQueryString = SameText(request->Method, "GET") ? TextOf(query_) : nullptr;
  Block.lpszPathInfo = TextOf(path_info_);
  Block.lpszPathTranslated = TextOf(path_translated_);
  if (SameText(request->Method, "POST") && request->ContentLength > 0) {
    auto length = static_cast<size_t>(std::min<int64_t>(request->ContentLength, UINT32_MAX - 1));
    post_data_.assign(length + 1, 0);
    std::memcpy(post_data_.data(), request->FormText.data(), std::min(length, request->FormText.size()));
    Block.cbTotalBytes = static_cast<uint32_t>(length);
    Block.cbAvailable = static_cast<uint32_t>(length);
    Block.lpbData = post_data_.data();
  }
  Block.lpszContentType = TextOf(content_type_);
  Block.GetServerVariable = &TECB::GetServerVariable;
  Block.WriteClient = &TECB::WriteClient;
  Block.ReadClient = &TECB::ReadClient;
  Block.ServerSupportFunction = &TECB::ServerSupportFunction;
}

void TECB::Call(PFN_HTTPEXTENSIONPROC proc) {
  uint32_t answer = proc(&Block);
  if (answer == HSE_STATUS_PENDING) DoneEvent.Wait();
  // An extension's thread may still be leaving its last callback.
  std::this_thread::sleep_for(std::chrono::milliseconds(kReleasePauseMs));
  std::exception_ptr failure;
  {
    std::lock_guard lock(failure_mutex_);
    failure = failure_;
  }
  if (failure) std::rethrow_exception(failure);
}

std::string TECB::MapPath(const std::string& url) const {
  std::string folder = FullPath(DocumentRoot);
  if (folder.empty() || folder.back() != '/') folder += '/';
  // The folder ends in "/": a URL's own leading separator is not doubled.
  if (!url.empty() && (url[0] == '/' || url[0] == '\\')) return folder + url.substr(1);
  return folder + url;
}

void TECB::KeepFailure() {
  std::lock_guard lock(failure_mutex_);
  if (!failure_) failure_ = std::current_exception();
}

// ---- the callbacks as the extension calls them ----
// No exception crosses the extension's frames: a failure answers false and
// is raised again once the extension call has returned.

HSE_BOOL TECB::GetServerVariable(HCONN hConn, char* lpszVariableName, void* lpvBuffer, uint32_t* lpdwSize) {
  auto* self = static_cast<TECB*>(hConn);
  if (!self) return 0;
  try {
    return self->GetVariable(lpszVariableName, lpvBuffer, lpdwSize) ? 1 : 0;
  } catch (...) {
    self->KeepFailure();
    return 0;
  }
}

HSE_BOOL TECB::WriteClient(HCONN ConnID, void* Buffer, uint32_t* lpdwBytes, uint32_t) {
  auto* self = static_cast<TECB*>(ConnID);
  if (!self) return 0;
  try {
    return self->Write(Buffer, lpdwBytes) ? 1 : 0;
  } catch (...) {
    if (lpdwBytes) *lpdwBytes = 0;
    return 0;
  }
}

HSE_BOOL TECB::ReadClient(HCONN ConnID, void* lpvBuffer, uint32_t* lpdwSize) {
  auto* self = static_cast<TECB*>(ConnID);
  if (!self) return 0;
  try {
    return self->Read(lpvBuffer, lpdwSize) ? 1 : 0;
  } catch (...) {
    if (lpdwSize) *lpdwSize = 0;
    return 0;
  }
}

HSE_BOOL TECB::ServerSupportFunction(HCONN hConn, uint32_t dwHSERequest, void* lpvBuffer, uint32_t* lpdwSize,
                                     uint32_t* lpdwDataType) {
  auto* self = static_cast<TECB*>(hConn);
  if (!self) return 0;
  try {
    return self->SupportFunction(dwHSERequest, lpvBuffer, lpdwSize, lpdwDataType) ? 1 : 0;
  } catch (...) {
    self->KeepFailure();
    return 0;
  }
}

// ---- WriteClient, ReadClient ----

bool TECB::Write(const void* buffer, uint32_t* bytes) {
  if (!bytes) return false;
  if (*bytes > 0 && !buffer) {
    *bytes = 0;
    return false;
  }
  ResponseInfo->BodyText.append(static_cast<const char*>(buffer), *bytes);
  return true;
}

bool TECB::Read(void* buffer, uint32_t* size) {
  if (!size) return false;
  if (!PeerThread || (*size > 0 && !buffer)) {
    *size = 0;
    return false;
  }
  TMemoryStream received;
  received.Reserve(*size);
  PeerThread->Connection.ReadExact(received, *size);
  std::memcpy(buffer, received.Data().data(), received.Data().size());
  return true;
}

// ---- ServerSupportFunction ----

bool TECB::SupportFunction(uint32_t request, void* buffer, uint32_t* size, uint32_t* dataType) {
  const char* text = static_cast<const char*>(buffer);
  switch (request) {
    case HSE_REQ_SEND_URL_REDIRECT_RESP:
    case HSE_REQ_SEND_URL:
      if (!text) return false;
      ResponseInfo->RedirectTo(text);
      return true;
    case HSE_REQ_SEND_RESPONSE_HEADER:
      return SendResponseHeader(reinterpret_cast<const char*>(dataType));
    case HSE_REQ_DONE_WITH_SESSION:
      DoneEvent.Signal();
      return false;
    case HSE_REQ_MAP_URL_TO_PATH:
      return MapUrlToPath(text, static_cast<char*>(buffer), size);
    case HSE_APPEND_LOG_PARAMETER:
      if (!Runner) return false;
      Runner->LogServerMessage(*RequestInfo, *ResponseInfo, text ? text : "");
      return true;
    case HSE_REQ_TRANSMIT_FILE:
      return TransmitFile(static_cast<const HSE_TF_INFO*>(buffer));
    case HSE_REQ_IS_KEEP_CONN:
      if (buffer) *static_cast<HSE_BOOL*>(buffer) = ResponseInfo->CloseAfterReply ? 0 : 1;
      return true;
    case HSE_REQ_MAP_URL_TO_PATH_EX: {
      auto* info = reinterpret_cast<HSE_URL_MAPEX_INFO*>(dataType);
      if (!text || !info) return false;
      std::string path = MapPath(text);
      if (path.size() >= sizeof info->lpszPath) {
        HseSetLastError(HSE_ERROR_INSUFFICIENT_BUFFER);
        return false;
      }
      std::memcpy(info->lpszPath, path.c_str(), path.size() + 1);
      return true;
    }
    case HSE_REQ_ABORTIVE_CLOSE:
      if (PeerThread) PeerThread->Connection.Disconnect();
      return true;
    case HSE_REQ_SEND_RESPONSE_HEADER_EX:
      if (!buffer) return false;
      return SendResponseHeaderEx(*static_cast<const HSE_SEND_HEADER_EX_INFO*>(buffer));
    case HSE_REQ_SET_SESSION_VALUES:
      return SetSessionValues(text);
    default:
      return false;
  }
}

bool TECB::MapUrlToPath(const char* url, char* buffer, uint32_t* size) {
  if (!url || !size) return false;
  std::string path = MapPath(url);
  // The buffer holds the URL on entry: the path is made before it is overwritten.
  bool fits = *size >= path.size();
  uint32_t given = *size;
  *size = static_cast<uint32_t>(path.size());
  if (!fits) {
    HseSetLastError(HSE_ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  std::memcpy(buffer, path.data(), path.size());
  if (given > path.size()) buffer[path.size()] = '\0';
  return true;
}

bool TECB::TransmitFile(const HSE_TF_INFO* info) {
  if (!info || !PeerThread) return false;
  off_t start = ::lseek(info->hFile, 0, SEEK_CUR);
  if (start < 0) {
    HseSetLastError(static_cast<uint32_t>(errno));
    return false;
  }
  int64_t count = info->BytesToWrite;
  if (count == 0) {
    off_t end = ::lseek(info->hFile, 0, SEEK_END);
    if (end < 0) {
      HseSetLastError(static_cast<uint32_t>(errno));
      return false;
    }
    count = end - start;
  }
  try {
    int64_t sent = PeerThread->Connection.SendFileRange(info->hFile, start, count);
    ::lseek(info->hFile, start + sent, SEEK_SET);
  } catch (const ESocketError& e) {
    HseSetLastError(static_cast<uint32_t>(e.Code()));
    return false;
  } catch (const EEngineException&) {  // the connection is gone
    HseSetLastError(static_cast<uint32_t>(ENOTCONN));
    return false;
  }
  return true;
}

}  // namespace tamsel
