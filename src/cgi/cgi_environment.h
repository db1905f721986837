// The environment block a CGI child gets: every variable in its fixed order,
// built from the runner's settings, the request and the connection.
#pragma once

#include <string>
#include <vector>

namespace tamsel {

class THTTPRequestInfo;

// Everything the block is made from besides the request record.
struct TCGIEnvironmentInput {
  const std::string* ServerSoftware = nullptr;  // unset when no server is linked
  bool PHPSupport = true;
  std::string PHPIniPath;
  std::string ServerAdmin;
  std::string ScriptPath;
  std::string DocumentRoot;
  std::string PathInfo;
  std::string LocalAddress;  // where the client reached the server
  int LocalPort = 0;
  std::string RemoteHost;    // the client's host name, or its address when it has none
};

// The entries "NAME=value" in the order the child receives them. Values are
// cut at their first NUL byte, so no entry can hide a second variable.
std::vector<std::string> BuildCGIEnvironment(const TCGIEnvironmentInput& input,
                                             const THTTPRequestInfo& request);

// The block's text form: each entry followed by one NUL, then one more NUL.
std::string CGIEnvironmentBlock(const std::vector<std::string>& entries);

// "URL" and "SCRIPT_NAME": the request path up to and including the first
// ".exe" (any case), or the whole path when it has none.
std::string CGIScriptName(const std::string& requestPath);

// A request header for the variables named after headers: the key as given,
// then without a leading "HTTP_", then with "_" turned into "-".
std::string CGIHeaderLookup(const THTTPRequestInfo& request, const std::string& key);

}  // namespace tamsel
