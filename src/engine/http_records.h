// The request and response records of one HTTP exchange, built on the header
// records that keep a message's header lines both raw and as typed fields.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/cookies.h"
#include "engine/header_list.h"
#include "platform/datetime.h"
#include "platform/stream.h"
#include "platform/string_list.h"

namespace tamsel {

class TTCPConnection;
class THTTPSession;

// The fields common to requests and responses.
class TEntityHeaderInfo {
 public:
  TEntityHeaderInfo();
  virtual ~TEntityHeaderInfo() = default;
  TEntityHeaderInfo(const TEntityHeaderInfo&) = delete;
  TEntityHeaderInfo& operator=(const TEntityHeaderInfo&) = delete;

  virtual void ParseHeaderLines();
  virtual void ComposeHeaderLines();
  virtual void ResetFields();

  // Sets ContentLength; LengthGiven becomes true exactly for values >= 0.
  void SetContentLength(int64_t value) {
    ContentLength = value;
    LengthGiven = value >= 0;
  }
  void SetCustomHeaders(const THeaderList& lines) { CustomHeaders.Assign(lines); }

  std::string CacheControl;
  THeaderList HeaderLines;
  std::string Connection;
  std::string ContentEncoding;
  std::string ContentLanguage;
  int64_t ContentLength = -1;  // -1 = none
  uint32_t ContentRangeEnd = 0;
  uint32_t ContentRangeStart = 0;
  std::string ContentType;
  std::string ContentVersion;
  THeaderList CustomHeaders;
  TDateTime Date = 0;
  TDateTime Expires = 0;
  TDateTime LastModified = 0;
  std::string Pragma;
  bool LengthGiven = false;

 protected:
  void ResetEntityFields();
  void ParseEntityLines();
};

class TRequestHeaderInfo : public TEntityHeaderInfo {
 public:
  TRequestHeaderInfo();
  void ParseHeaderLines() override;
  void ResetFields() override;

  std::string Accept;
  std::string AcceptCharSet;
  std::string AcceptEncoding;
  std::string AcceptLanguage;
  std::string From;
  std::string Password;
  std::string Referer;
  std::string UserAgent;
  std::string Username;
  std::string Host;
  bool BasicAuthentication = false;
  std::string ProxyConnection;
};

class TResponseHeaderInfo : public TEntityHeaderInfo {
 public:
  TResponseHeaderInfo();
  void ResetFields() override;

  std::string Location;
  std::string Server;
  std::string ProxyConnection;
  THeaderList ProxyAuthenticate;
  THeaderList WWWAuthenticate;
};

// The request record, filled by the connection loop and read by handlers.
class THTTPRequestInfo : public TRequestHeaderInfo {
 public:
  THTTPRequestInfo();

  // Rebuilds ParamList from "&"-separated, "+"- and %-encoded text.
  void DecodeParams(const std::string& text);

  bool AuthPresent = false;
  TServerCookies RequestCookies;  // sent by the client, one per "Cookie" piece
  TStringList ParamList;
  std::unique_ptr<TStream> BodyStream;
  std::string RequestLine;
  std::string ClientAddress;
  std::shared_ptr<THTTPSession> SessionRef;
  std::string RequestPath;
  std::string Method;
  std::string ProtocolVersion;
  std::string AuthUser;
  std::string AuthPass;
  std::string ParamText;
  std::string QueryText;
  std::string FormText;
};

// The response record, filled by handlers and written to the client.
class THTTPResponseInfo : public TResponseHeaderInfo {
 public:
  explicit THTTPResponseInfo(TTCPConnection* connection);
  ~THTTPResponseInfo() override;

  void ComposeHeaderLines() override;

  // StatusCode and StatusText from the reason phrase table; 404 also closes.
  void SetStatus(int code);
  void SetCloseAfterReply(bool close);
  void RedirectTo(const std::string& url);
  void ReleaseBody();
  // Hands a body stream to the response (owned unless `owns` is false).
  void SetBodyStream(TStream* stream, bool owns);
  void SetBodyStream(std::unique_ptr<TStream> stream);

  // Writes the status line, header lines, cookie lines and the blank line in one send.
  void SendHeader();
  // The header followed by `bytes` (the start of the body) in the same single send.
  void SendHeaderAnd(std::string_view bytes);
  // Writes the header when not yet written, then the body.
  void SendBody();

  std::string Realm;
  TTCPConnection* ClientConnection;  // not owned
  int StatusCode = 200;
  TServerCookies ResponseCookies;  // each becomes a "Set-Cookie" line
  TStream* BodyStream = nullptr;     // owned while OwnsBodyStream
  std::string BodyText;
  bool CloseAfterReply = false;
  bool OwnsBodyStream = true;
  bool HeaderWritten = false;
  std::string StatusText;
  std::shared_ptr<THTTPSession> SessionRef;

 private:
  std::unique_ptr<TStream> owned_body_;
};

// The reason phrase of a status code ("Unknown Response Code" when not in the table).
const char* ReasonPhrase(int code);

}  // namespace tamsel
