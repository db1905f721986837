// Test helper for the extension host: a loopback HTTP server whose request
// handler runs one extension library through a TISAPIRunner, recording the
// runner's events and the response record each run leaves.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/http_server.h"
#include "isapi/isapi_runner.h"

namespace tamsel::test {

// The response fields after a run, before the engine sends them.
struct TRunResult {
  int StatusCode = 0;
  std::string StatusText, ContentType, Location, Pragma, BodyText;
  TDateTime Date = 0, Expires = 0, LastModified = 0;
  std::vector<std::string> Cookies;  // the texts of the response cookies
};

class TExtensionServer {
 public:
  // Starts the server on an ephemeral loopback port, the runner linked to it;
  // with `sessions`, every request without a live session cookie starts one.
  explicit TExtensionServer(bool sessions = false);
  ~TExtensionServer();

  // The library the next requests run, the document root and the run flag.
  // The handler passes the request's query text as the path information.
  void Use(const std::string& library, bool unloadAfterRun = false);
  std::string DocumentRoot = "/srv/www";
  // Called on the request record before the run (e.g. to give credentials).
  std::function<void(THTTPRequestInfo&)> Prepare;

  // Sends a whole request and returns all the server sent.
  std::string Send(const std::string& request) const;
  std::string Get(const std::string& target, const std::string& headers = "") const;
  std::string Post(const std::string& target, const std::string& body, const std::string& headers = "") const;

  // Events seen so far, as "before", "after", "load:<path>", "unload:<name>",
  // "notfound", "structure", "version", "log:<text>"; cleared by TakeEvents.
  std::vector<std::string> TakeEvents();
  // Waits (a few seconds at most) for an event to be recorded.
  bool WaitForEvent(const std::string& event);
  TRunResult LastRun();

  // Destroys the runner (the handler then runs nothing) and makes a new one.
  void DestroyRunner();
  void NewRunner();

  THTTPServer Server;
  std::unique_ptr<TISAPIRunner> Runner;
  int Port = 0;

 private:
  void Record(const std::string& event);
  void Wire(TISAPIRunner& runner);

  mutable std::mutex mutex_;
  std::condition_variable recorded_;
  std::string library_;
  bool unload_ = false;
  std::vector<std::string> events_;
  TRunResult last_;
};

// True while the library at `path` is loaded in this process.
bool LibraryResident(const std::string& path);

}  // namespace tamsel::test
