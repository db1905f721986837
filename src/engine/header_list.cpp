#include "engine/header_list.h"

#include "platform/text.h"

namespace tamsel {

namespace {
bool StartsBlank(const std::string& line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }
}  // namespace

std::string_view THeaderList::NameView(size_t index) const {
  std::string_view line = (*this)[index];
  // The separator with its trailing blanks removed, i.e. ":".
  std::string_view sep = Separator;
  while (!sep.empty() && static_cast<unsigned char>(sep.back()) <= ' ') sep.remove_suffix(1);
  size_t at = line.find(sep);
  return at == std::string_view::npos ? std::string_view() : line.substr(0, at);
}

std::string THeaderList::NameAt(size_t index) const {
  if (index >= Count()) return {};
  std::string_view name = NameView(index);
  return MatchCase ? std::string(name) : UpperCase(name);
}

std::string THeaderList::ValueAt(size_t index) const {
  if (index >= Count()) return {};
  const std::string& line = (*this)[index];
  size_t nameLength = NameView(index).size();
  // The value starts after the name and its one-character separator.
  std::string value = nameLength + 1 <= line.size() ? line.substr(nameLength + 1) : std::string();
  if (JoinContinuations) {
    for (size_t i = index + 1; i < Count() && StartsBlank((*this)[i]); ++i)
      value = Trim(value) + " " + Trim((*this)[i]);
  }
  return Trim(value);
}

int THeaderList::FindName(std::string_view name) const {
  for (size_t i = 0; i < Count(); ++i)
    if (SameText(NameView(i), name)) return static_cast<int>(i);
  return -1;
}

std::string THeaderList::ValueOf(std::string_view name) const {
  int i = FindName(name);
  return i < 0 ? std::string() : ValueAt(static_cast<size_t>(i));
}

void THeaderList::PutValue(std::string_view name, std::string_view value) {
  int found = FindName(name);
  if (!value.empty()) {
    size_t i;
    if (found < 0) {
      Add(std::string());
      i = Count() - 1;
    } else {
      i = static_cast<size_t>(found);
    }
    std::string line = std::string(name) + Separator + std::string(value);
    if (FoldOnSet) {
      DropContinuations(i);
      InsertFolded(line, i);
    } else {
      (*this)[i] = std::move(line);
    }
  } else if (found >= 0) {
    if (FoldOnSet) DropContinuations(static_cast<size_t>(found));
    Delete(static_cast<size_t>(found));
  }
}

void THeaderList::CollectValues(std::string_view name, std::vector<std::string>* values) const {
  if (!values) return;
  for (size_t i = 0; i < Count(); ++i)
    if (SameText(NameView(i), name)) values->push_back(ValueAt(i));
}

void THeaderList::DropContinuations(size_t index) {
  while (index + 1 < Count() && StartsBlank((*this)[index + 1])) Delete(index + 1);
}

std::vector<std::string> THeaderList::FoldText(const std::string& text) const {
  std::string wrapped = WrapHeaderText(text, "\r\n ", "\t ,", FoldWidth);
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < wrapped.size()) {
    size_t end = wrapped.find("\r\n", start);
    if (end == std::string::npos) end = wrapped.size();
    pieces.push_back(TrimRight(std::string_view(wrapped).substr(start, end - start)));
    start = end == wrapped.size() ? end : end + 2;
  }
  return pieces;
}

void THeaderList::InsertFolded(const std::string& text, size_t index) {
  std::vector<std::string> pieces = FoldText(text);
  if (pieces.empty()) pieces.emplace_back();
  // The last piece takes line `index`; the others go in before it, in order.
  if (index < Count())
    (*this)[index] = pieces.back();
  else
    Add(pieces.back());
  for (size_t k = 0; k + 1 < pieces.size(); ++k) Insert(index + k, pieces[k]);
}

std::string WrapHeaderText(const std::string& text, const std::string& breakText,
                           std::string_view breakChars, int width) {
  std::string out;
  const size_t n = text.size();
  size_t pieceStart = 0;
  size_t breakPos = std::string::npos;  // index of the last break character
  bool existingBreak = false;
  bool inQuote = false;
  int column = 0;
  size_t i = 0;
  while (i < n) {
    char c = text[i];
    bool justPassedExisting = false;
    if (c == '"') {
      inQuote = !inQuote;
    } else if (!inQuote) {
      if (c == '\r' && i + 2 < n && text[i + 1] == '\n' && text[i + 2] == ' ') {
        // An existing break ends at its last character.
        i += 2;
        breakPos = i;
        justPassedExisting = true;
      } else if (breakChars.find(c) != std::string_view::npos) {
        breakPos = i;
      }
    }
    ++i;
    ++column;
    if (inQuote) continue;
    bool pastWidth = column > width && breakPos != std::string::npos && breakPos > pieceStart;
    if (justPassedExisting || pastWidth) {
      existingBreak = justPassedExisting;
      out.append(text, pieceStart, breakPos + 1 - pieceStart);
      if (!existingBreak) {
        size_t k = breakPos + 1;
        while (k < n && (breakChars.find(text[k]) != std::string_view::npos || text[k] == '\r' || text[k] == '\n')) ++k;
        if (n - k >= 2) out += breakText;
      }
      pieceStart = breakPos + 1;
      column = static_cast<int>(i - pieceStart);
      breakPos = std::string::npos;
    }
  }
  if (pieceStart < n) out.append(text, pieceStart, n - pieceStart);
  return out;
}

}  // namespace tamsel
