// The table that maps a file name's extension to the MIME type sent in
// "Content-Type": built-in pairs overlaid with the system's type store.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/string_list.h"

namespace tamsel {

class TMimeTable {
 public:
  // The system's store of types: "type ext ext ..." lines.
  static constexpr const char* kSystemStore = "/etc/mime.types";
  static constexpr const char* kUnknownType = "application/octet-stream";

  // `fill` fills the table at once; an empty `storePath` uses the built-in
  // pairs alone.
  explicit TMimeTable(bool fill = true, std::string storePath = kSystemStore);
  virtual ~TMimeTable() = default;
  TMimeTable(const TMimeTable&) = delete;
  TMimeTable& operator=(const TMimeTable&) = delete;

  // The type of the file name's extension, "application/octet-stream" when
  // it has none or the table does not know it. Safe from many threads.
  std::string LookupMimeType(std::string_view fileName);

  // Fills the table from the built-in pairs and the store when it is still
  // empty; runs its fill at most once, however many threads call it.
  virtual void EnsureFilled();
  virtual void FillDefault();

  // Replaces the table by the lines "extension<separator>type", skipping
  // lines without an extension and extensions already present.
  void LoadPairs(const TStringList& lines, char separator);
  // Adds one pair; raises EEngineException for an empty extension or type or
  // an extension already present.
  void AddPair(std::string_view extension, std::string_view mimeType);

  const std::vector<std::string>& Extensions() const { return extensions_; }
  const std::vector<std::string>& MimeTypes() const { return mimeTypes_; }

  // The built-in "extension=type" lines, in their order, duplicates included.
  static const std::vector<std::string>& BuiltInPairs();

 protected:
  // Built-in lines first, then the store's types set over them.
  virtual void CollectDefaultPairs(TStringList& lines) const;

 private:
  int IndexOf(const std::string& lowerExtension) const;

  std::string storePath_;
  std::vector<std::string> extensions_;
  std::vector<std::string> mimeTypes_;
  std::unordered_map<std::string, size_t> index_;  // extension -> position
  std::once_flag filled_;
};

}  // namespace tamsel
