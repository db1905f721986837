// One loaded extension library: its handle and entry points. Released with
// dlclose when the last owner (the cache or a run inside it) lets go.
#pragma once

#include <memory>
#include <string>

#include "isapi/extension_api.h"

namespace tamsel {

class TISAPIModule {
 public:
  // Loads the library (RTLD_NOW | RTLD_LOCAL); none when it cannot be loaded.
  static std::shared_ptr<TISAPIModule> Load(const std::string& path);
  ~TISAPIModule();
  TISAPIModule(const TISAPIModule&) = delete;
  TISAPIModule& operator=(const TISAPIModule&) = delete;

  // The entry points, looked up by name; null when the library lacks them.
  PFN_GETEXTENSIONVERSION GetExtensionVersion() const;
  PFN_HTTPEXTENSIONPROC HttpExtensionProc() const;
  PFN_TERMINATEEXTENSION TerminateExtension() const;

  const std::string& Path() const { return path_; }

 private:
  TISAPIModule(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  void* Symbol(const char* name) const;

  void* handle_;
  std::string path_;
};

}  // namespace tamsel
