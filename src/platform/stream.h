// Byte streams for request and response bodies: an abstract stream, an
// in-memory one (also the default text buffer) and a file stream.
#pragma once

#include <cstdint>
#include <string>

#include "platform/fd.h"

namespace tamsel {

class TStream {
 public:
  virtual ~TStream() = default;
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual void Write(const void* buffer, size_t count) = 0;
  virtual int64_t Size() const = 0;
  virtual int64_t Position() const = 0;
  virtual void Seek(int64_t position) = 0;
  // True for the text streams whose whole content the engine reads as text.
  virtual bool IsText() const { return false; }
  void WriteText(const std::string& text) { Write(text.data(), text.size()); }
};

// A stream held in memory.
class TMemoryStream : public TStream {
 public:
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  int64_t Position() const override { return static_cast<int64_t>(position_); }
  void Seek(int64_t position) override;
  void Reserve(size_t size) { data_.reserve(size); }
  const std::string& Data() const { return data_; }
  std::string& Data() { return data_; }

 private:
  std::string data_;
  size_t position_ = 0;
};

// The in-memory text stream the engine reads request bodies into.
class TStringStream : public TMemoryStream {
 public:
  TStringStream() = default;
  explicit TStringStream(std::string text) { Data() = std::move(text); }
  bool IsText() const override { return true; }
};

// A file opened for reading (or created for writing).
class TFileStream : public TStream {
 public:
  enum class Mode { Read, Create };
  // Raises EFOpenError with "Cannot open file \"%s\". %s" when it cannot be opened.
  TFileStream(const std::string& path, Mode mode);
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Size() const override;
  int64_t Position() const override { return position_; }
  void Seek(int64_t position) override { position_ = position; }
  int Handle() const { return fd_.Get(); }

 private:
  UniqueFd fd_;
  int64_t position_ = 0;
};

}  // namespace tamsel
