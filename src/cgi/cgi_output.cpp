#include "cgi/cgi_output.h"

#include "engine/http_records.h"
#include "platform/string_list.h"
#include "platform/text.h"

namespace tamsel {

namespace {

// The header block as name=value lines: every ": " becomes "=".
TStringList NameValueList(const std::string& headerBlock) {
  std::string text;
  text.reserve(headerBlock.size());
  for (size_t i = 0; i < headerBlock.size(); ++i) {
    if (headerBlock[i] == ':' && i + 1 < headerBlock.size() && headerBlock[i + 1] == ' ') {
      text += '=';
      ++i;
    } else {
      text += headerBlock[i];
    }
  }
  TStringList list;
  list.SetText(text);
  return list;
}

}  // namespace

void TranslateCGIOutput(std::string output, THTTPResponseInfo& response) {
  static constexpr std::string_view kBlankLine = "\r\n\r\n";
  size_t end = output.find(kBlankLine);
  if (end == std::string::npos) {
    response.ContentType = "text/html";
    return;
  }
  end += kBlankLine.size();
  const std::string headerBlock = output.substr(0, end);
  output.erase(0, end);

  TStringList values = NameValueList(headerBlock);
  response.ContentType = values.Value("content-type");
  response.SetStatus(StrToIntDef(values.Value("status").substr(0, 3), 200));

  // The lines exactly as the child wrote them, without the blank line.
  response.HeaderLines.SetText(std::string_view(headerBlock).substr(0, end - 2));
  if (!response.HeaderLines.ValueOf("Location").empty()) response.SetStatus(302);
  response.SetCustomHeaders(response.HeaderLines);

  response.SendHeader();
  response.BodyText = std::move(output);
}

void CGIFailureReply(const std::string& message, THTTPResponseInfo& response) {
  response.BodyText = message;
  response.SetContentLength(static_cast<int64_t>(message.size()));
  response.SetStatus(500);
}

}  // namespace tamsel
