#include "platform/stream.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/errors.h"
#include "platform/text.h"

namespace tamsel {

size_t TMemoryStream::Read(void* buffer, size_t count) {
  size_t n = std::min(count, data_.size() - std::min(position_, data_.size()));
  if (n > 0) std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
  if (position_ > data_.size()) data_.resize(position_);
  size_t overlap = std::min(count, data_.size() - position_);
  std::memcpy(data_.data() + position_, buffer, overlap);
  data_.append(static_cast<const char*>(buffer) + overlap, count - overlap);
  position_ += count;
}

void TMemoryStream::Seek(int64_t position) { position_ = position < 0 ? 0 : static_cast<size_t>(position); }

TFileStream::TFileStream(const std::string& path, Mode mode) {
  int flags = mode == Mode::Read ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
  fd_.Reset(::open(path.c_str(), flags | O_CLOEXEC, 0644));
  if (!fd_.Valid())
    throw EFOpenError(Format("Cannot open file \"%s\". %s", path.c_str(), std::strerror(errno)));
}

size_t TFileStream::Read(void* buffer, size_t count) {
  for (;;) {
    ssize_t n = ::pread(fd_.Get(), buffer, count, position_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    position_ += n;
    return static_cast<size_t>(n);
  }
}

void TFileStream::Write(const void* buffer, size_t count) {
  const char* p = static_cast<const char*>(buffer);
  while (count > 0) {
    ssize_t n = ::pwrite(fd_.Get(), p, count, position_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EEngineException(Format("Stream write error. %s", std::strerror(errno)));
    p += n;
    count -= static_cast<size_t>(n);
    position_ += n;
  }
}

int64_t TFileStream::Size() const {
  struct stat st {};
  return ::fstat(fd_.Get(), &st) == 0 ? st.st_size : 0;
}

}  // namespace tamsel
