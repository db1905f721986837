// GetServerVariable: the host's table of server variables and the fallback
// to the request's header lines.
#include <cstring>

#include "engine/http_records.h"
#include "engine/http_server.h"
#include "isapi/ecb.h"
#include "isapi/isapi_runner.h"
#include "platform/tcp_server.h"
#include "platform/text.h"

namespace tamsel {

namespace {

std::string Header(const TECB& ecb, const char* name) { return ecb.RequestInfo->HeaderLines.ValueOf(name); }

// A header named by a variable: "HTTP_" removed, then the name as it is and,
// when that finds nothing, with every "_" made "-".
std::string HeaderForVariable(const TECB& ecb, const std::string& variable) {
  std::string key = variable;
  if (key.size() >= 5 && SameText(key.substr(0, 5), "HTTP_")) key.erase(0, 5);
  std::string value = ecb.RequestInfo->HeaderLines.ValueOf(key);
  if (value.empty()) {
    for (char& c : key)
      if (c == '_') c = '-';
    value = ecb.RequestInfo->HeaderLines.ValueOf(key);
  }
  return value;
}

std::string ScriptName(const TECB& ecb) {
  const std::string& path = ecb.RequestInfo->RequestPath;
  size_t dll = UpperCase(path).find(".DLL");
  return dll == std::string::npos ? path : path.substr(0, dll + 4);
}

struct TVariable {
  const char* name;
  std::string (*value)(const TECB&);
};

const TVariable kVariables[] = {
    {"AUTH_TYPE", [](const TECB&) -> std::string { return "Basic"; }},
    {"AUTH_NAME", [](const TECB& e) { return e.RequestInfo->AuthUser; }},
    {"AUTH_PASS", [](const TECB& e) { return e.RequestInfo->AuthPass; }},
    {"CONTENT_LENGTH", [](const TECB& e) { return Header(e, "content-length"); }},
    {"CONTENT_TYPE", [](const TECB& e) { return Header(e, "content-type"); }},
    {"GATEWAY_INTERFACE", [](const TECB&) -> std::string { return "ISAPI"; }},
    {"PATH_INFO", [](const TECB& e) { return e.RequestInfo->RequestPath; }},
    {"PATH_TRANSLATED", [](const TECB& e) -> std::string { return e.Block.lpszPathTranslated; }},
    {"QUERY_STRING", [](const TECB& e) { return e.RequestInfo->ParamText; }},
    {"REMOTE_ADDR", [](const TECB& e) { return e.RequestInfo->ClientAddress; }},
    {"REMOTE_HOST", [](const TECB& e) { return LookupHostName(e.RequestInfo->ClientAddress); }},
    {"REMOTE_USER", [](const TECB& e) { return e.RequestInfo->AuthUser; }},
    {"REQUEST_METHOD", [](const TECB& e) { return e.RequestInfo->Method; }},
    {"SCRIPT_NAME", ScriptName},
    {"SERVER_NAME", [](const TECB& e) { return e.RequestInfo->Host; }},
    {"SERVER_PORT", [](const TECB& e) { return std::to_string(e.PeerThread->Connection.LocalPort()); }},
    {"SERVER_PROTOCOL", [](const TECB& e) { return e.RequestInfo->ProtocolVersion; }},
    {"SERVER_SOFTWARE", [](const TECB& e) { return e.Server ? e.Server->ServerSoftware : std::string(); }},
    {"HTTP_COOKIE", [](const TECB& e) { return Header(e, "cookie"); }},
    {"HTTP_USER_AGENT", [](const TECB& e) { return Header(e, "User-Agent"); }},
    {"URL", ScriptName},
    {"HTTP_CACHE_CONTROL", [](const TECB& e) { return HeaderForVariable(e, "CACHE_CONTROL"); }},
    {"HTTP_DATE", [](const TECB& e) { return Header(e, "DATE"); }},
    {"HTTP_ACCEPT", [](const TECB& e) { return Header(e, "ACCEPT"); }},
    {"HTTP_FROM", [](const TECB& e) { return Header(e, "FROM"); }},
    {"HTTP_HOST", [](const TECB& e) { return Header(e, "HOST"); }},
    {"HTTP_IF_MODIFIED_SINCE", [](const TECB& e) { return Header(e, "IF-MODIFIED-SINCE"); }},
    {"HTTP_REFERER", [](const TECB& e) { return Header(e, "REFERER"); }},
    {"HTTP_CONTENT_ENCODING", [](const TECB& e) { return Header(e, "CONTENT-ENCODING"); }},
    {"HTTP_CONTENT_VERSION", [](const TECB& e) { return Header(e, "CONTENT-VERSION"); }},
    {"HTTP_DERIVED_FROM", [](const TECB& e) { return Header(e, "DERIVED-FROM"); }},
    {"HTTP_EXPIRES", [](const TECB& e) { return Header(e, "EXPIRES"); }},
    {"HTTP_TITLE", [](const TECB& e) { return Header(e, "TITLE"); }},
    {"HTTP_CONNECTION", [](const TECB& e) { return Header(e, "CONNECTION"); }},
    {"HTTP_AUTHORIZATION", [](const TECB& e) { return Header(e, "AUTHORIZATION"); }},
    {"HTTP_ACCEPT_LANGUAGE", [](const TECB& e) { return Header(e, "ACCEPT-LANGUAGE"); }},
    {"HTTP_ACCEPT_ENCODING", [](const TECB& e) { return Header(e, "ACCEPT-ENCODING"); }},
    {"DOCUMENT_ROOT", [](const TECB& e) { return e.DocumentRoot; }},
    {"SERVER_ADMIN", [](const TECB& e) { return e.ServerAdmin; }},
    {"SERVER_ADDR", [](const TECB& e) { return e.RequestInfo->ClientAddress; }},
    {"HTTP_CLIENT_IP", [](const TECB& e) { return e.RequestInfo->ClientAddress; }},
    {"REDIRECT_STATUS", [](const TECB&) -> std::string { return "200"; }},
    {"HTTP_REDIRECT_STATUS", [](const TECB&) -> std::string { return "200"; }},
    {"REDIRECT_URL", [](const TECB& e) { return e.RequestInfo->RequestPath; }},
    {"HTTP_IDSESSION", [](const TECB& e) { return e.SessionText(); }},
};

static_assert(sizeof kVariables / sizeof kVariables[0] == 45);

}  // namespace

bool TECB::VariableValue(const std::string& name, std::string& value, bool& withNul) const {
  for (const auto& variable : kVariables) {
    if (SameText(name, variable.name)) {
      value = variable.value(*this);
      withNul = !SameText(name, "AUTH_NAME") && !SameText(name, "AUTH_PASS");
      return true;
    }
  }
  withNul = true;
  value = HeaderForVariable(*this, name);
  return !value.empty();
}

bool TECB::GetVariable(const char* name, void* buffer, uint32_t* size) {
  if (!PeerThread || !name || !size) return false;
  std::string value;
  bool withNul = true;
  if (!VariableValue(name, value, withNul)) {
    if (buffer && *size >= 1) static_cast<char*>(buffer)[0] = '\0';
    *size = 0;
    HseSetLastError(HSE_ERROR_INVALID_INDEX);
    return false;
  }
  // Never beyond the size given: a value that does not fit is not copied.
  if (!buffer || *size < value.size() + 1) {
    *size = static_cast<uint32_t>(value.size() + 1);
    HseSetLastError(HSE_ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  *size = static_cast<uint32_t>(value.size() + (withNul ? 1 : 0));
  return true;
}

}  // namespace tamsel
