#include "cgi/cgi_environment.h"

#include <cstdlib>

#include "engine/http_records.h"
#include "platform/full_path.h"
#include "platform/text.h"

namespace tamsel {

namespace {

class TEntries {
 public:
  void Add(const char* name, const std::string& value) {
    std::string entry(name);
    entry += '=';
    entry.append(value, 0, value.find('\0'));
    entries_.push_back(std::move(entry));
  }
  std::vector<std::string> Take() { return std::move(entries_); }

 private:
  std::vector<std::string> entries_;
};

// The server process's own value; unset gives an empty text. Read whole.
std::string OwnVariable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string CGIScriptName(const std::string& requestPath) {
  size_t at = UpperCase(requestPath).find(".EXE");
  return at == std::string::npos ? requestPath : requestPath.substr(0, at + 4);
}

std::string CGIHeaderLookup(const THTTPRequestInfo& request, const std::string& key) {
  std::string value = request.HeaderLines.ValueOf(key);
  std::string name = key;
  if (value.empty() && name.rfind("HTTP_", 0) == 0) {
    name.erase(0, 5);
    value = request.HeaderLines.ValueOf(name);
  }
  if (value.empty()) {
    for (char& c : name) {
      if (c == '_') c = '-';
    }
    value = request.HeaderLines.ValueOf(name);
  }
  return value;
}

std::vector<std::string> BuildCGIEnvironment(const TCGIEnvironmentInput& input,
                                             const THTTPRequestInfo& request) {
  const THeaderList& headers = request.HeaderLines;
  const std::string scriptName = CGIScriptName(request.RequestPath);
  const std::string contentType = headers.ValueOf("Content-Type");
  const std::string contentLength = headers.ValueOf("Content-Length");

  TEntries env;
  if (input.ServerSoftware != nullptr) env.Add("SERVER_SOFTWARE", *input.ServerSoftware);
  env.Add("HTTP_CONTENT_TYPE", contentType);
  env.Add("CONTENT_TYPE", contentType);
  env.Add("URL", scriptName);
  if (input.PHPSupport) {
    env.Add("PHPRC", input.PHPIniPath);
    env.Add("REDIRECT_STATUS", "200");
    env.Add("HTTP_REDIRECT_STATUS", "200");
    env.Add("REDIRECT_URL", request.RequestPath);
  }
  env.Add("CONTENT_LENGTH", contentLength);
  env.Add("HTTP_CONTENT_LENGTH", contentLength);
  env.Add("SERVER_NAME", request.Host);
  env.Add("SERVER_PROTOCOL", request.ProtocolVersion);
  env.Add("SERVER_PORT", std::to_string(input.LocalPort));
  env.Add("GATEWAY_INTERFACE", "CGI/1.1");
  env.Add("REQUEST_METHOD", request.Method);
  env.Add("SCRIPT_NAME", scriptName);
  // Always written: a POST's own query must reach the script too, and its
  // body is on standard input already.
  env.Add("QUERY_STRING", request.Method == "POST" ? request.QueryText : request.ParamText);
  env.Add("REMOTE_ADDR", request.ClientAddress);
  env.Add("REMOTE_HOST", input.RemoteHost);
  env.Add("SystemRoot", OwnVariable("SystemRoot"));
  env.Add("COMSPEC", OwnVariable("COMSPEC"));
  env.Add("WINDIR", OwnVariable("WINDIR"));
  env.Add("PATH", OwnVariable("PATH"));
  env.Add("PATH_INFO", input.PathInfo.empty() ? request.RequestPath : input.PathInfo);
  env.Add("REQUEST_URI", request.RequestPath);
  env.Add("PATH_TRANSLATED", FullPath(input.DocumentRoot + request.RequestPath));
  env.Add("SCRIPT_FILENAME", input.ScriptPath);

  static const struct {
    const char* name;
    const char* key;
  } kHeaderVariables[] = {
      {"HTTP_DATE", "DATE"},
      {"HTTP_CACHE_CONTROL", "CACHE_CONTROL"},
      {"HTTP_ACCEPT", "ACCEPT"},
      {"HTTP_FROM", "FROM"},
      {"HTTP_HOST", "HOST"},
      {"HTTP_IF_MODIFIED_SINCE", "IF-MODIFIED-SINCE"},
      {"HTTP_REFERER", "REFERER"},
      {"HTTP_CONTENT_ENCODING", "CONTENT-ENCODING"},
      {"HTTP_CONTENT_VERSION", "CONTENT-VERSION"},
      {"HTTP_DERIVED_FROM", "DERIVED-FROM"},
      {"HTTP_EXPIRES", "EXPIRES"},
      {"HTTP_TITLE", "TITLE"},
      {"HTTP_CONNECTION", "CONNECTION"},
      {"HTTP_AUTHORIZATION", "AUTHORIZATION"},
      {"HTTP_ACCEPT_LANGUAGE", "ACCEPT-LANGUAGE"},
      {"HTTP_ACCEPT_ENCODING", "ACCEPT-ENCODING"},
  };
  for (const auto& variable : kHeaderVariables) env.Add(variable.name, CGIHeaderLookup(request, variable.key));

  env.Add("HTTP_USER_AGENT", headers.ValueOf("User-Agent"));
  env.Add("HTTP_COOKIE", headers.ValueOf("cookie"));
  env.Add("SERVER_ADDR", input.LocalAddress);
  env.Add("DOCUMENT_ROOT", input.DocumentRoot);
  env.Add("SERVER_ADMIN", input.ServerAdmin);
  return env.Take();
}

std::string CGIEnvironmentBlock(const std::vector<std::string>& entries) {
  std::string block;
  for (const std::string& entry : entries) {
    block += entry;
    block += '\0';
  }
  block += '\0';
  return block;
}

}  // namespace tamsel
