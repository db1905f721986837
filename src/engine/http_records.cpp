#include "engine/http_records.h"

#include "engine/http_date.h"
#include "engine/http_errors.h"
#include "engine/uri.h"
#include "platform/tcp_connection.h"
#include "platform/text.h"

namespace tamsel {

// ---- entity part ----

TEntityHeaderInfo::TEntityHeaderInfo() {
  HeaderLines.FoldWidth = 1024;
  // The derived constructors run their own reset, as the actual class's reset would.
  ResetEntityFields();
}

void TEntityHeaderInfo::ResetEntityFields() {
  Connection.clear();
  ContentVersion.clear();
  ContentEncoding.clear();
  ContentLanguage.clear();
  ContentType.clear();
  ContentLength = -1;
  ContentRangeStart = 0;
  ContentRangeEnd = 0;
  Date = 0;
  Expires = 0;
  LastModified = 0;
  HeaderLines.Clear();
}

void TEntityHeaderInfo::ResetFields() { ResetEntityFields(); }

void TEntityHeaderInfo::ParseEntityLines() {
  Connection = HeaderLines.ValueOf("Connection");
  ContentVersion = HeaderLines.ValueOf("Content-Version");
  ContentEncoding = HeaderLines.ValueOf("Content-Encoding");
  ContentLanguage = HeaderLines.ValueOf("Content-Language");
  ContentType = HeaderLines.ValueOf("Content-Type");
  SetContentLength(StrToIntDef(Trim(HeaderLines.ValueOf("Content-Length")), -1));
  Date = ParseDateToLocal(HeaderLines.ValueOf("Date"));
  LastModified = ParseDateToLocal(HeaderLines.ValueOf("Last-Modified"));
  // "Expires" may also be a number of seconds from now.
  std::string expires = HeaderLines.ValueOf("Expires");
  int32_t seconds = StrToIntDef(expires, -1);
  Expires = seconds != -1 ? Now() + seconds / kSecondsPerDay : ParseDateToLocal(expires);
  Pragma = HeaderLines.ValueOf("Pragma");
}

void TEntityHeaderInfo::ParseHeaderLines() { ParseEntityLines(); }

void TEntityHeaderInfo::ComposeHeaderLines() {
  HeaderLines.Clear();
  if (!Connection.empty()) HeaderLines.PutValue("Connection", Connection);
  if (!ContentVersion.empty()) HeaderLines.PutValue("Content-Version", ContentVersion);
  if (!ContentEncoding.empty()) HeaderLines.PutValue("Content-Encoding", ContentEncoding);
  if (!ContentLanguage.empty()) HeaderLines.PutValue("Content-Language", ContentLanguage);
  if (!ContentType.empty()) HeaderLines.PutValue("Content-Type", ContentType);
  if (ContentLength >= 0) HeaderLines.PutValue("Content-Length", std::to_string(ContentLength));
  if (!CacheControl.empty()) HeaderLines.PutValue("Cache-control", CacheControl);
  if (Date > 0) HeaderLines.PutValue("Date", FormatZonedDate(Date, false));
  if (Expires > 0) HeaderLines.PutValue("Expires", FormatZonedDate(Expires, false));
  // LastModified is local wall-clock time; its text is labelled GMT, so it is written in UTC.
  if (LastModified > 0) HeaderLines.PutValue("Last-Modified", FormatGmtDate(LocalToGmt(LastModified)));
  if (!Pragma.empty()) HeaderLines.PutValue("Pragma", Pragma);
  if (!CustomHeaders.Empty()) HeaderLines.SetText(HeaderLines.Text() + CustomHeaders.Text());
}

// ---- request part ----

TRequestHeaderInfo::TRequestHeaderInfo() { TRequestHeaderInfo::ResetFields(); }

void TRequestHeaderInfo::ResetFields() {
  Accept = "text/html, */*";
  AcceptCharSet.clear();
  UserAgent = "Mozilla/3.0 (compatible; HTTP Engine)";
  BasicAuthentication = false;
  ResetEntityFields();
}

void TRequestHeaderInfo::ParseHeaderLines() {
  Accept = HeaderLines.ValueOf("Accept");
  AcceptCharSet = HeaderLines.ValueOf("Accept-Charset");
  AcceptEncoding = HeaderLines.ValueOf("Accept-Encoding");
  AcceptLanguage = HeaderLines.ValueOf("Accept-Language");
  Host = HeaderLines.ValueOf("Host");
  From = HeaderLines.ValueOf("From");
  Referer = HeaderLines.ValueOf("Referer");
  UserAgent = HeaderLines.ValueOf("User-Agent");
  std::string range = HeaderLines.ValueOf("Range");
  if (!range.empty()) {
    SplitAtFirst(range, "=");
    std::string start = SplitAtFirst(range, "-");
    std::string end = SplitAtFirst(range, " ");
    ContentRangeStart = static_cast<uint32_t>(StrToInt64Def(start, 0) & 0xffffffff);
    ContentRangeEnd = static_cast<uint32_t>(StrToInt64Def(end, 0) & 0xffffffff);
  }
  ParseEntityLines();
}

// ---- response part ----

TResponseHeaderInfo::TResponseHeaderInfo() {
  TResponseHeaderInfo::ResetFields();
  ContentType = "text/html";
}

void TResponseHeaderInfo::ResetFields() {
  ResetEntityFields();
  ContentType = "text/html";
  Location.clear();
  Server.clear();
  ProxyAuthenticate.Clear();
  WWWAuthenticate.Clear();
}

// ---- request record ----

THTTPRequestInfo::THTTPRequestInfo() { SetContentLength(-1); }

void THTTPRequestInfo::DecodeParams(const std::string& text) {
  ParamList.Clear();
  if (text.empty()) return;
  size_t start = 0;
  for (;;) {
    size_t amp = text.find('&', start);
    std::string piece = text.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
    for (char& c : piece)
      if (c == '+') c = ' ';
    ParamList.Add(PercentDecode(piece));
    if (amp == std::string::npos) break;
    start = amp + 1;
  }
}

// ---- response record ----

THTTPResponseInfo::THTTPResponseInfo(TTCPConnection* connection) : ClientConnection(connection) {
  OwnsBodyStream = true;
  SetContentLength(-1);
  HeaderLines.FoldOnSet = false;  // response lines are never folded
  Server = "HTTPEngine/1.0";
  ContentType = "text/html";
  SetStatus(200);
}

THTTPResponseInfo::~THTTPResponseInfo() { ReleaseBody(); }

void THTTPResponseInfo::SetStatus(int code) {
  StatusCode = code;
  StatusText = ReasonPhrase(code);
  if (code == 404) SetCloseAfterReply(true);
}

void THTTPResponseInfo::SetCloseAfterReply(bool close) {
  Connection = close ? "close" : "keep-alive";
  CloseAfterReply = close;
}

void THTTPResponseInfo::RedirectTo(const std::string& url) {
  SetStatus(302);
  Location = url;
}

void THTTPResponseInfo::ReleaseBody() {
  if (OwnsBodyStream) owned_body_.reset();
  BodyStream = nullptr;
}

void THTTPResponseInfo::SetBodyStream(TStream* stream, bool owns) {
  ReleaseBody();
  OwnsBodyStream = owns;
  if (owns) owned_body_.reset(stream);
  BodyStream = stream;
}

void THTTPResponseInfo::SetBodyStream(std::unique_ptr<TStream> stream) {
  TStream* raw = stream.release();
  SetBodyStream(raw, true);
}

void THTTPResponseInfo::ComposeHeaderLines() {
  TEntityHeaderInfo::ComposeHeaderLines();
  if (!Server.empty()) HeaderLines.PutValue("Server", Server);
  if (!ContentType.empty()) HeaderLines.PutValue("Content-Type", ContentType);
  if (!Location.empty()) HeaderLines.PutValue("Location", Location);
  if (ContentLength >= 0) HeaderLines.PutValue("Content-Length", std::to_string(ContentLength));
  if (LastModified > 0) HeaderLines.PutValue("Last-Modified", FormatGmtDate(LocalToGmt(LastModified)));
  if (!Realm.empty()) {
    SetStatus(401);
    HeaderLines.PutValue("WWW-Authenticate", "Basic realm=\"" + Realm + "\"");
    if (ContentLength == -1) {
      BodyText = "<HTML><BODY><B>" + std::to_string(StatusCode) + " Unauthorized</B></BODY></HTML>";
      ContentLength = static_cast<int64_t>(BodyText.size());
      HeaderLines.PutValue("Content-Length", std::to_string(ContentLength));
    }
  }
}

void THTTPResponseInfo::SendHeader() { SendHeaderAnd({}); }

void THTTPResponseInfo::SendHeaderAnd(std::string_view bytes) {
  if (HeaderWritten) throw EHTTPHeaderAlreadyWritten();
  HeaderWritten = true;
  if (ContentLength == -1) {
    if (!BodyText.empty())
      ContentLength = static_cast<int64_t>(BodyText.size());
    else if (BodyStream)
      ContentLength = BodyStream->Size();
  }
  ComposeHeaderLines();
  TTCPConnection& out = *ClientConnection;
  out.OpenWriteBuffer();
  try {
    out.WriteLn("HTTP/1.1 " + std::to_string(StatusCode) + " " + StatusText);
    for (const auto& line : HeaderLines.Lines()) out.WriteLn(line);
    for (size_t i = 0; i < ResponseCookies.Count(); ++i)
      out.WriteLn("Set-Cookie: " + ResponseCookies.CookieAt(i).ServerText());
    out.WriteLn("");
    if (!bytes.empty()) out.Write(bytes);
  } catch (...) {
    try {
      out.CloseWriteBuffer();
    } catch (...) {
    }
    throw;
  }
  out.CloseWriteBuffer();
}

void THTTPResponseInfo::SendBody() {
  TTCPConnection& out = *ClientConnection;
  if (!HeaderWritten) {
    // Header and a body that follows at once share their segments.
    if (!BodyStream || BodyStream->Size() > 0) out.MoreFollows();
    SendHeader();
  }
  if (BodyStream) {
    BodyStream->Seek(0);
    out.WriteStream(*BodyStream);
  } else if (!BodyText.empty()) {
    out.Write(BodyText);
  } else {
    out.WriteLn("<HTML><BODY><B>" + std::to_string(StatusCode) + " " + StatusText + "</B></BODY></HTML>");
  }
  BodyText.clear();
  ReleaseBody();
}

const char* ReasonPhrase(int code) {
  switch (code) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 203: return "Non-authoritative Information";
    case 204: return "No Content";
    case 205: return "Reset Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Moved Temporarily";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 305: return "Use Proxy";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method not allowed";
    case 406: return "Not Acceptable";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 411: return "Length Required";
    case 412: return "Precondition Failed";
    case 413: return "Request Entity To Long";
    case 414: return "Request-URI Too Long. 256 Chars max";
    case 415: return "Unsupported Media Type";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway timeout";
    case 505: return "HTTP version not supported";
    default: return "Unknown Response Code";
  }
}

}  // namespace tamsel
