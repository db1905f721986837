// The two header requests of ServerSupportFunction: the short form (a header
// text ended by a blank line) and the long form (status and header records).
#include <cstring>

#include "engine/header_list.h"
#include "engine/http_date.h"
#include "engine/http_records.h"
#include "isapi/ecb.h"
#include "isapi/local_date_text.h"

namespace tamsel {

namespace {

// Lines broken at CR LF, CR or LF; a final break ends the last line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

std::string Prefix(const char* text, uint32_t length) {
  return text ? std::string(text, ::strnlen(text, length)) : std::string();
}

}  // namespace

bool TECB::SendResponseHeader(const char* headerText) {
  if (Block.dwHttpStatusCode != 0) ResponseInfo->SetStatus(static_cast<int>(Block.dwHttpStatusCode));
  std::string text = headerText ? headerText : "";
  // The CR LF of the blank line that ends the header.
  text.resize(text.size() >= 2 ? text.size() - 2 : 0);
  return ApplyHeaderLines(SplitLines(text));
}

bool TECB::SendResponseHeaderEx(const HSE_SEND_HEADER_EX_INFO& info) {
  if (Block.dwHttpStatusCode != 0) ResponseInfo->SetStatus(static_cast<int>(Block.dwHttpStatusCode));
  std::vector<std::string> lines = SplitLines(Prefix(info.pszHeader, info.cchHeader));
  // A header text without lines has no last line to drop.
  if (lines.empty()) return false;
  if (lines.back().empty()) lines.pop_back();
  if (!ApplyHeaderLines(lines)) return false;
  ResponseInfo->StatusText = Prefix(info.pszStatus, info.cchStatus);
  return true;
}

bool TECB::ApplyHeaderLines(const std::vector<std::string>& lines) {
  THTTPResponseInfo& response = *ResponseInfo;
  THeaderList header;
  for (const auto& line : lines) {
    header.Add(line);
    // Only this exact spelling makes a cookie; other lines without a use are dropped.
    if (line.compare(0, 12, "Set-Cookie: ") == 0) response.ResponseCookies.AddFromText(line.substr(12));
  }
  std::string contentType = header.ValueOf("Content-type");
  if (!contentType.empty()) response.ContentType = contentType;
  response.Location = header.ValueOf("Location");
  if (!response.Location.empty()) response.SetStatus(302);
  response.Pragma = header.ValueOf("Pragma");
  if (header.FindName("Date") >= 0 && !TryReadLocalDateTime(header.ValueOf("Date"), response.Date)) return false;
  if (header.FindName("Expires") >= 0) response.Expires = ParseDateToLocal(header.ValueOf("Expires"));
  if (header.FindName("LastModified") >= 0 &&
      !TryReadLocalDateTime(header.ValueOf("LastModified"), response.LastModified))
    return false;
  return true;
}

}  // namespace tamsel
