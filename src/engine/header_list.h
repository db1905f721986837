// The ordered list of "Name: value" header lines of one message, with
// case-insensitive lookups, continuation lines and folding of long lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/string_list.h"

namespace tamsel {

class THeaderList : private TStringList {
 public:
  std::string Separator = ": ";
  bool MatchCase = false;
  bool JoinContinuations = true;
  bool FoldOnSet = true;
  int FoldWidth = 78;

  using TStringList::Add;
  using TStringList::Clear;
  using TStringList::Count;
  using TStringList::Delete;
  using TStringList::Empty;
  using TStringList::Insert;
  using TStringList::Lines;
  using TStringList::SetText;
  using TStringList::Text;
  using TStringList::operator[];

  // Copies the lines (not the settings) of another list.
  void Assign(const THeaderList& other) { TStringList::operator=(other); }

  std::string NameAt(size_t index) const;
  std::string ValueAt(size_t index) const;
  int FindName(std::string_view name) const;
  std::string ValueOf(std::string_view name) const;
  void PutValue(std::string_view name, std::string_view value);
  void CollectValues(std::string_view name, std::vector<std::string>* values) const;
  void DropContinuations(size_t index);
  void InsertFolded(const std::string& text, size_t index);
  std::vector<std::string> FoldText(const std::string& text) const;

 private:
  // The name part of line `index` as it stands (no case change, no copy).
  std::string_view NameView(size_t index) const;
};

// Wraps `text` at column `width`, putting `breakText` at break characters
// outside double quotes; an existing CR LF + space counts as a break.
std::string WrapHeaderText(const std::string& text, const std::string& breakText,
                           std::string_view breakChars, int width);

}  // namespace tamsel
