#include "isapi/isapi_module.h"

#include <dlfcn.h>

namespace tamsel {

std::shared_ptr<TISAPIModule> TISAPIModule::Load(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  return std::shared_ptr<TISAPIModule>(new TISAPIModule(handle, path));
}

TISAPIModule::~TISAPIModule() { ::dlclose(handle_); }

void* TISAPIModule::Symbol(const char* name) const { return ::dlsym(handle_, name); }

PFN_GETEXTENSIONVERSION TISAPIModule::GetExtensionVersion() const {
  return reinterpret_cast<PFN_GETEXTENSIONVERSION>(Symbol("GetExtensionVersion"));
}

PFN_HTTPEXTENSIONPROC TISAPIModule::HttpExtensionProc() const {
  return reinterpret_cast<PFN_HTTPEXTENSIONPROC>(Symbol("HttpExtensionProc"));
}

PFN_TERMINATEEXTENSION TISAPIModule::TerminateExtension() const {
  return reinterpret_cast<PFN_TERMINATEEXTENSION>(Symbol("TerminateExtension"));
}

}  // namespace tamsel
