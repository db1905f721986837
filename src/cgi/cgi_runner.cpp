#include "cgi/cgi_runner.h"

#include <memory>

#include "cgi/cgi_environment.h"
#include "cgi/cgi_output.h"
#include "cgi/child_process.h"
#include "engine/http_records.h"
#include "engine/http_server.h"
#include "platform/tcp_connection.h"
#include "platform/tcp_server.h"

namespace tamsel {

std::vector<std::string> TCGIRunner::EnvironmentEntries(const std::string& ScriptPath,
                                                        TPeerThread& Thread,
                                                        const THTTPRequestInfo& RequestInfo,
                                                        const std::string& DocumentRoot,
                                                        const std::string& PathInfo) const {
  TCGIEnvironmentInput input;
  if (Server != nullptr) input.ServerSoftware = &Server->ServerSoftware;
  input.PHPSupport = PHPSupport;
  input.PHPIniPath = PHPIniPath;
  input.ServerAdmin = ServerAdmin;
  input.ScriptPath = ScriptPath;
  input.DocumentRoot = DocumentRoot;
  input.PathInfo = PathInfo;
  input.LocalAddress = Thread.Connection.LocalIP();
  input.LocalPort = Thread.Connection.LocalPort();
  // A client without a name is still answered: its address stands in.
  input.RemoteHost = LookupHostName(RequestInfo.ClientAddress);
  if (input.RemoteHost.empty()) input.RemoteHost = RequestInfo.ClientAddress;
  return BuildCGIEnvironment(input, RequestInfo);
}

int TCGIRunner::RunScript(const std::string& ScriptPath, TPeerThread& Thread,
                          THTTPRequestInfo& RequestInfo, THTTPResponseInfo& ResponseInfo,
                          const std::string& DocumentRoot, const std::string& PathInfo) {
  if (BeforeExecute) BeforeExecute(*this);
  std::vector<std::string> environment =
      EnvironmentEntries(ScriptPath, Thread, RequestInfo, DocumentRoot, PathInfo);

  // The pipes; a failure to make them ends the run without AfterExecute.
  auto child = std::make_unique<TChildProcess>();
  try {
    switch (child->Run(ScriptPath, environment, RequestInfo.ParamText, TimeOut)) {
      case TChildOutcome::Finished:
        TranslateCGIOutput(child->TakeOutput(), ResponseInfo);
        break;
      case TChildOutcome::TimedOut:
      case TChildOutcome::NotStarted:
        CGIFailureReply(TimeOutMsg, ResponseInfo);
        break;
    }
  } catch (...) {
    child.reset();
    if (AfterExecute) AfterExecute(*this);
    throw;
  }
  child.reset();
  if (AfterExecute) AfterExecute(*this);
  return static_cast<int>(ResponseInfo.ContentLength);
}

}  // namespace tamsel
