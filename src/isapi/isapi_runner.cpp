#include "isapi/isapi_runner.h"

#include <exception>

#include "isapi/ecb.h"
#include "isapi/isapi_module.h"
#include "platform/text.h"

namespace tamsel {

std::string ModuleFileName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

TISAPIRunner::TISAPIRunner() = default;

TISAPIRunner::~TISAPIRunner() {
  std::lock_guard lock(ModuleLock);
  destroying_ = true;
  // A library still used by a run is released when that run leaves it.
  ModuleList.clear();
}

void TISAPIRunner::NotifyBeforeExecute() {
  if (BeforeExecute) BeforeExecute(*this);
}

void TISAPIRunner::NotifyAfterExecute() {
  if (AfterExecute) AfterExecute(*this);
}

void TISAPIRunner::NotifyModuleNotFound(THTTPRequestInfo& RequestInfo, THTTPResponseInfo& ResponseInfo) {
  if (OnModuleNotFound) OnModuleNotFound(*this, RequestInfo, ResponseInfo);
}

void TISAPIRunner::LogServerMessage(THTTPRequestInfo& RequestInfo, THTTPResponseInfo& ResponseInfo,
                                    const std::string& AMessage) {
  if (OnLogServerMessage) OnLogServerMessage(*this, RequestInfo, ResponseInfo, AMessage);
}

void TISAPIRunner::RunExtension(const std::string& LibraryPath, TPeerThread* Thread, THTTPRequestInfo* RequestInfo,
                                THTTPResponseInfo* ResponseInfo, const std::string& DocumentRoot,
                                bool UnloadAfterRun, const std::string& PathInfo) {
  if (!Thread || !RequestInfo || !ResponseInfo) return;
  NotifyBeforeExecute();

  const std::string name = ModuleFileName(LibraryPath);
  std::shared_ptr<TISAPIModule> module;  // this run's reference
  {
    std::lock_guard lock(ModuleLock);
    auto found = ModuleList.find(LowerCase(name));
    if (found == ModuleList.end()) {
      module = TISAPIModule::Load(LibraryPath);
      if (!module) {
        ResponseInfo->SetStatus(404);
        ResponseInfo->StatusText = "<H1>" + LibraryPath + " not found</H1>";
        NotifyModuleNotFound(*RequestInfo, *ResponseInfo);
        return;
      }
      if (!UnloadAfterRun) {
        ModuleList[LowerCase(name)] = TModuleEntry{name, module};
        if (OnModuleLoad) OnModuleLoad(*this, LibraryPath);
      }
    } else {
      module = found->second.Module;
      if (UnloadAfterRun) ModuleList.erase(found);
    }
  }

  // From here the end of the run happens whatever the events or the extension do.
  std::exception_ptr failure;
  try {
    CallExtension(*module, *Thread, *RequestInfo, *ResponseInfo, DocumentRoot, PathInfo);
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    if (UnloadAfterRun) {
      if (OnModuleUnload) OnModuleUnload(*this, name);
      module.reset();  // released now, unless another run is still inside it
    }
    NotifyAfterExecute();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

void TISAPIRunner::CallExtension(TISAPIModule& module, TPeerThread& thread, THTTPRequestInfo& request,
                                 THTTPResponseInfo& response, const std::string& documentRoot,
                                 const std::string& pathInfo) {
  PFN_GETEXTENSIONVERSION getVersion = module.GetExtensionVersion();
  PFN_HTTPEXTENSIONPROC proc = module.HttpExtensionProc();
  if (!getVersion) {
    response.SetStatus(500);
    response.BodyText = "Internal server error. GetExtensionVersion procedure not assigned";
    if (OnISAPIStructureError) OnISAPIStructureError(*this, request, response);
    return;
  }
  if (!proc) {
    response.SetStatus(500);
    response.BodyText = "Internal server error. HttpExtensionProc procedure not assigned";
    if (OnISAPIStructureError) OnISAPIStructureError(*this, request, response);
    return;
  }
  HSE_VERSION_INFO version{};
  if (!getVersion(&version)) {
    response.SetStatus(500);
    if (OnVersionInfoError) OnVersionInfoError(*this, request, response);
    return;
  }
  try {
    TECB ecb(this, &thread, &request, &response, documentRoot, pathInfo);
    ecb.Call(proc);
  } catch (...) {
    response.SetStatus(500);
  }
}

bool TISAPIRunner::UnloadModule(const std::string& ModuleName, bool CallTerminate) {
  if (destroying_) return false;
  if (OnModuleUnload) OnModuleUnload(*this, ModuleName);
  std::lock_guard lock(ModuleLock);
  auto found = ModuleList.find(LowerCase(ModuleName));
  if (found == ModuleList.end()) return false;
  try {
    PFN_TERMINATEEXTENSION terminate = found->second.Module->TerminateExtension();
    if (terminate && CallTerminate && !terminate(HSE_TERM_MUST_UNLOAD)) return false;
    // Runs still inside the library keep it loaded until they leave.
    ModuleList.erase(found);
    return true;
  } catch (...) {
    return false;
  }
}

std::vector<std::string> TISAPIRunner::LoadedModules() const {
  std::lock_guard lock(ModuleLock);
  std::vector<std::string> names;
  for (const auto& [key, entry] : ModuleList) names.push_back(entry.FileName);
  return names;
}

}  // namespace tamsel
