// The CGI gateway component: runs the PHP interpreter or a CGI program for one
// request with a fresh environment and turns the child's output into the response.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tamsel {

class THTTPServer;
class TPeerThread;
class THTTPRequestInfo;
class THTTPResponseInfo;
class TCGIRunner;

using TCGINotifyEvent = std::function<void(TCGIRunner& Sender)>;

class TCGIRunner {
 public:
  TCGIRunner() = default;
  virtual ~TCGIRunner() = default;
  TCGIRunner(const TCGIRunner&) = delete;
  TCGIRunner& operator=(const TCGIRunner&) = delete;

  // The linked HTTP server, not owned; supplies "SERVER_SOFTWARE". Whoever
  // owns both keeps the server alive while it is linked, or unlinks it first.
  THTTPServer* Server = nullptr;
  // Longest time a run may take (writing the input, waiting, reading), in milliseconds.
  int TimeOut = 5000;
  // Body of the 500 answer when the child is killed or cannot be started.
  std::string TimeOutMsg = "<html><body><h1><center>Process was terminated.</body></html>";
  // Body of the 500 answer when the output pipe cannot be prepared.
  std::string ErrorMsg = "<html><body><h1><center>Internal Server Error</body></html>";
  std::string ServerAdmin = "webmaster@localhost";
  TCGINotifyEvent BeforeExecute;  // at the start of every run
  TCGINotifyEvent AfterExecute;   // at the end of every run that got its pipes
  bool PHPSupport = true;         // adds PHPRC and the redirect variables
  std::string PHPIniPath;         // "PHPRC"

  // Runs `ScriptPath` for the request and fills the response (sending its
  // header when the child wrote a header block). Returns the response's
  // ContentLength at the end of the run. Raises EOSError when a pipe cannot be
  // made; the child has ended or been killed, and reaped, when this returns.
  virtual int RunScript(const std::string& ScriptPath, TPeerThread& Thread,
                        THTTPRequestInfo& RequestInfo, THTTPResponseInfo& ResponseInfo,
                        const std::string& DocumentRoot, const std::string& PathInfo);

  // The environment a run would give its child: "NAME=value" entries in order.
  // Looks up the client's host name (its address when it has none).
  std::vector<std::string> EnvironmentEntries(const std::string& ScriptPath, TPeerThread& Thread,
                                              const THTTPRequestInfo& RequestInfo,
                                              const std::string& DocumentRoot,
                                              const std::string& PathInfo) const;
};

}  // namespace tamsel
