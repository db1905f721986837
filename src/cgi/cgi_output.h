// Turns what a CGI child wrote into the HTTP response: its header block
// becomes status, content type and header lines (sent at once), the rest the body.
#pragma once

#include <string>

namespace tamsel {

class THTTPResponseInfo;

// Splits `output` at its first CR LF CR LF. Without one only ContentType
// becomes "text/html". Otherwise the child's "Content-Type" and "Status"
// (first three characters, 200 when not a number) set the record, a non-empty
// "Location" makes it 302, the child's lines become CustomHeaders, the header
// is sent through SendHeader, and BodyText takes every byte after the blank line.
void TranslateCGIOutput(std::string output, THTTPResponseInfo& response);

// A 500 answer with `message` as its body; nothing is sent.
void CGIFailureReply(const std::string& message, THTTPResponseInfo& response);

}  // namespace tamsel
