// The extension host component: loads extension libraries once and keeps
// them, and runs a request through one with a control block and callbacks.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/http_records.h"

namespace tamsel {

class TPeerThread;
class THTTPServer;
class TISAPIModule;
class TISAPIRunner;

using TISAPINotifyEvent = std::function<void(TISAPIRunner& Sender)>;
using TOnModuleState = std::function<void(TISAPIRunner& Sender, const std::string& AModuleName)>;
using TOnExecuteEvent =
    std::function<void(TISAPIRunner& Sender, THTTPRequestInfo& RequestInfo, THTTPResponseInfo& ResponseInfo)>;
using TOnLogServerMessage = std::function<void(TISAPIRunner& Sender, THTTPRequestInfo& RequestInfo,
                                               THTTPResponseInfo& ResponseInfo, const std::string& AMessage)>;

class TISAPIRunner {
 public:
  TISAPIRunner();
  // Releases every cached library; no TerminateExtension, no OnModuleUnload.
  virtual ~TISAPIRunner();
  TISAPIRunner(const TISAPIRunner&) = delete;
  TISAPIRunner& operator=(const TISAPIRunner&) = delete;

  // The linked server (supplies SERVER_SOFTWARE), not owned; none by default.
  // Its owner unsets it (or destroys the runner first) before destroying it.
  THTTPServer* Server = nullptr;
  std::string ServerAdmin = "webmaster@localhost";

  // Events are raised only when set; the first argument is the runner.
  TISAPINotifyEvent BeforeExecute;
  TISAPINotifyEvent AfterExecute;
  TOnModuleState OnModuleLoad;    // the full library path
  TOnModuleState OnModuleUnload;  // the library's file name
  TOnExecuteEvent OnModuleNotFound;
  TOnExecuteEvent OnISAPIStructureError;
  TOnExecuteEvent OnVersionInfoError;
  // May be raised on an extension's own thread (a pending request).
  TOnLogServerMessage OnLogServerMessage;

  // Runs the request through the library at `LibraryPath`. Does nothing when
  // the thread or a record is missing. The response is sent by the engine
  // after the handler returns.
  virtual void RunExtension(const std::string& LibraryPath, TPeerThread* Thread, THTTPRequestInfo* RequestInfo,
                            THTTPResponseInfo* ResponseInfo, const std::string& DocumentRoot, bool UnloadAfterRun,
                            const std::string& PathInfo);

  // Removes the cached library with this file name (letter case ignored).
  // With CallTerminate the library is asked first (TerminateExtension with
  // HSE_TERM_MUST_UNLOAD) and kept when it refuses. The library is released
  // once no run is inside it any more.
  bool UnloadModule(const std::string& ModuleName, bool CallTerminate);

  // The file names of the cached libraries (as first loaded), in name order.
  std::vector<std::string> LoadedModules() const;

  // Raises OnLogServerMessage (when set): the callbacks' way to the log.
  void LogServerMessage(THTTPRequestInfo& RequestInfo, THTTPResponseInfo& ResponseInfo,
                        const std::string& AMessage);

 protected:
  virtual void NotifyBeforeExecute();
  virtual void NotifyAfterExecute();
  virtual void NotifyModuleNotFound(THTTPRequestInfo& RequestInfo, THTTPResponseInfo& ResponseInfo);

 private:
  struct TModuleEntry {
    std::string FileName;
    std::shared_ptr<TISAPIModule> Module;
  };
  // Steps 7 to 9 of a run: the entry points, the version call and the extension call.
  void CallExtension(TISAPIModule& module, TPeerThread& thread, THTTPRequestInfo& request,
                     THTTPResponseInfo& response, const std::string& documentRoot, const std::string& pathInfo);

  // Keyed by the lower-cased file name; a run holds its own reference.
  std::map<std::string, TModuleEntry> ModuleList;
  // Recursive: OnModuleLoad and OnModuleNotFound are raised under it.
  mutable std::recursive_mutex ModuleLock;
  bool destroying_ = false;
};

// The file-name part of a library path ("/" and "\" both end a folder).
std::string ModuleFileName(const std::string& path);

}  // namespace tamsel
