#include "platform/string_list.h"

#include "platform/text.h"

namespace tamsel {

std::string TStringList::NameAt(size_t i) const {
  const std::string& line = lines_[i];
  size_t at = line.find('=');
  return at == std::string::npos ? std::string() : line.substr(0, at);
}

std::string TStringList::ValueFromIndex(size_t i) const {
  const std::string& line = lines_[i];
  size_t at = line.find('=');
  return at == std::string::npos ? std::string() : line.substr(at + 1);
}

int TStringList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    size_t at = lines_[i].find('=');
    if (at != std::string::npos && SameText(std::string_view(lines_[i]).substr(0, at), name))
      return static_cast<int>(i);
  }
  return -1;
}

std::string TStringList::Value(std::string_view name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(static_cast<size_t>(i));
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(static_cast<size_t>(i));
    return;
  }
  std::string line = std::string(name) + "=" + std::string(value);
  if (i < 0)
    Add(std::move(line));
  else
    lines_[static_cast<size_t>(i)] = std::move(line);
}

std::string TStringList::Text() const {
  std::string out;
  for (const auto& line : lines_) {
    out += line;
    out += "\r\n";
  }
  return out;
}

void TStringList::SetText(std::string_view text) {
  lines_.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines_.emplace_back(text.substr(start));
      break;
    }
    lines_.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
}

}  // namespace tamsel
