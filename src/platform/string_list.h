// An ordered list of text lines with the name=value conventions: the name of
// a line is the text before its first "=", and lookups by name ignore case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

class TStringList {
 public:
  size_t Count() const { return lines_.size(); }
  bool Empty() const { return lines_.empty(); }
  const std::string& operator[](size_t i) const { return lines_[i]; }
  std::string& operator[](size_t i) { return lines_[i]; }
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Insert(size_t i, std::string line) { lines_.insert(lines_.begin() + static_cast<long>(i), std::move(line)); }
  void Delete(size_t i) { lines_.erase(lines_.begin() + static_cast<long>(i)); }
  void Clear() { lines_.clear(); }
  const std::vector<std::string>& Lines() const { return lines_; }

  // Name and value of a line (split at its first "=").
  std::string NameAt(size_t i) const;
  std::string ValueFromIndex(size_t i) const;
  // Index of the first line whose name equals `name` ignoring case, -1 if none.
  int IndexOfName(std::string_view name) const;
  // The value of the first line named `name`, empty when absent.
  std::string Value(std::string_view name) const;
  // Replaces or appends name=value; an empty value deletes the line.
  void SetValue(std::string_view name, std::string_view value);

  // Every line followed by CR LF.
  std::string Text() const;
  // Replaces the lines by `text` split at CR LF, CR or LF (a final break adds no line).
  void SetText(std::string_view text);

 private:
  std::vector<std::string> lines_;
};

}  // namespace tamsel
