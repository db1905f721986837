#include "support/extension_server.h"

#include <dlfcn.h>

#include <chrono>

#include "support/loopback.h"

namespace tamsel::test {

TExtensionServer::TExtensionServer(bool sessions) {
  Server.Bindings = {{"127.0.0.1", 0}};
  if (sessions) {
    Server.SetSessionState(true);
    Server.AutoStartSession = true;
    Server.SessionTimeOut = 60000;
  }
  Server.ServerSoftware = "TestServer";
  NewRunner();
  Server.OnCommandGet = [this](TPeerThread& thread, THTTPRequestInfo& request, THTTPResponseInfo& response) {
    std::string library;
    bool unload;
    TISAPIRunner* runner;
    {
      std::lock_guard lock(mutex_);
      library = library_;
      unload = unload_;
      runner = Runner.get();
    }
    if (Prepare) Prepare(request);
    if (runner)
      runner->RunExtension(library, &thread, &request, &response, DocumentRoot, unload, request.QueryText);
    std::lock_guard lock(mutex_);
    last_ = TRunResult{response.StatusCode, response.StatusText, response.ContentType, response.Location,
                       response.Pragma, response.BodyText, response.Date, response.Expires,
                       response.LastModified, {}};
    for (size_t i = 0; i < response.ResponseCookies.Count(); ++i)
      last_.Cookies.push_back(response.ResponseCookies.CookieAt(i).ServerText());
  };
  Server.SetActive(true);
  Port = Server.BoundPort();
}

TExtensionServer::~TExtensionServer() {
  Server.SetActive(false);
  Runner.reset();
}

void TExtensionServer::Use(const std::string& library, bool unloadAfterRun) {
  std::lock_guard lock(mutex_);
  library_ = library;
  unload_ = unloadAfterRun;
}

void TExtensionServer::Wire(TISAPIRunner& runner) {
  runner.Server = &Server;
  runner.BeforeExecute = [this](TISAPIRunner&) { Record("before"); };
  runner.AfterExecute = [this](TISAPIRunner&) { Record("after"); };
  runner.OnModuleLoad = [this](TISAPIRunner&, const std::string& name) { Record("load:" + name); };
  runner.OnModuleUnload = [this](TISAPIRunner&, const std::string& name) { Record("unload:" + name); };
  runner.OnModuleNotFound = [this](TISAPIRunner&, THTTPRequestInfo&, THTTPResponseInfo&) { Record("notfound"); };
  runner.OnISAPIStructureError = [this](TISAPIRunner&, THTTPRequestInfo&, THTTPResponseInfo&) {
    Record("structure");
  };
  runner.OnVersionInfoError = [this](TISAPIRunner&, THTTPRequestInfo&, THTTPResponseInfo&) { Record("version"); };
  runner.OnLogServerMessage = [this](TISAPIRunner&, THTTPRequestInfo&, THTTPResponseInfo&,
                                     const std::string& text) { Record("log:" + text); };
}

void TExtensionServer::DestroyRunner() {
  std::unique_ptr<TISAPIRunner> old;
  {
    std::lock_guard lock(mutex_);
    old = std::move(Runner);
  }
}

void TExtensionServer::NewRunner() {
  auto runner = std::make_unique<TISAPIRunner>();
  Wire(*runner);
  std::lock_guard lock(mutex_);
  Runner = std::move(runner);
}

std::string TExtensionServer::Send(const std::string& request) const { return Exchange(Port, request); }

std::string TExtensionServer::Get(const std::string& target, const std::string& headers) const {
  return Send("GET " + target + " HTTP/1.0\r\n" + headers + "\r\n");
}

std::string TExtensionServer::Post(const std::string& target, const std::string& body,
                                   const std::string& headers) const {
  return Send("POST " + target + " HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers +
              "\r\n" + body);
}

void TExtensionServer::Record(const std::string& event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  recorded_.notify_all();
}

std::vector<std::string> TExtensionServer::TakeEvents() {
  std::lock_guard lock(mutex_);
  return std::exchange(events_, {});
}

bool TExtensionServer::WaitForEvent(const std::string& event) {
  std::unique_lock lock(mutex_);
  return recorded_.wait_for(lock, std::chrono::seconds(5), [&] {
    for (const auto& e : events_)
      if (e == event) return true;
    return false;
  });
}

TRunResult TExtensionServer::LastRun() {
  std::lock_guard lock(mutex_);
  return last_;
}

bool LibraryResident(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return false;
  ::dlclose(handle);
  return true;
}

}  // namespace tamsel::test
