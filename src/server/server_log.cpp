#include "server/server_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fd.h"
#include "platform/text.h"

namespace tamsel {

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

std::string SystemText(int code) {
  char buffer[256];
  return ::strerror_r(code, buffer, sizeof buffer);
}

}  // namespace

TServerLog::TServerLog(std::string filePath) : filePath_(std::move(filePath)) {}

void TServerLog::SetLoggingOn(bool on) {
  std::lock_guard<std::mutex> hold(lock_);
  loggingOn_.store(on);
  failureReported_ = false;
  file_.Reset();  // each start opens the file afresh
}

void TServerLog::SetSink(std::shared_ptr<TLogSink> sink) {
  std::lock_guard<std::mutex> hold(lock_);
  sink_ = std::move(sink);
}

std::vector<std::string> TServerLog::Lines() const {
  std::lock_guard<std::mutex> hold(lock_);
  return lines_;
}

std::string TServerLog::EscapeControlCharacters(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (IsControl(u)) {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

void TServerLog::SetKeepLines(bool keep) {
  std::lock_guard<std::mutex> hold(lock_);
  keepLines_ = keep;
  if (!keep) std::vector<std::string>().swap(lines_);
}

void TServerLog::AddLine(const std::string& line) {
  if (keepLines_) lines_.push_back(line);
  if (sink_) sink_->LineAdded(line);
}

bool TServerLog::OpenFile() {
  const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
  const mode_t mode = S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH;
  UniqueFd fd(::open(filePath_.c_str(), flags, mode));
  if (!fd.Valid() && errno == ENOENT) {
    // The folder is missing (first line of a fresh installation, or removed
    // while running): make it and try once more.
    size_t slash = filePath_.rfind('/');
    if (slash != std::string::npos && slash > 0) {
      std::string folder = filePath_.substr(0, slash);
      if (::mkdir(folder.c_str(), S_IRWXU | S_IRGRP | S_IXGRP | S_IROTH | S_IXOTH) == 0 ||
          errno == EEXIST)
        fd.Reset(::open(filePath_.c_str(), flags, mode));
    }
  }
  if (!fd.Valid()) return false;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return false;
  fileDevice_ = st.st_dev;
  fileInode_ = st.st_ino;
  file_ = std::move(fd);
  return true;
}

bool TServerLog::AppendToFile(const std::string& line) {
  // The file stays open between lines. Before each line the path is looked
  // at: when it no longer names the open file (removed, renamed away or
  // replaced), the file is opened again as for the first line, so every line
  // lands in the file the path names when this returns.
  if (file_.Valid()) {
    struct stat st {};
    if (::stat(filePath_.c_str(), &st) != 0 || st.st_dev != fileDevice_ || st.st_ino != fileInode_)
      file_.Reset();
  }
  if (!file_.Valid() && !OpenFile()) return false;
  std::string text;
  text.reserve(line.size() + 2);
  text.append(line);
  text.append("\r\n");
  if (WriteAll(file_.Get(), text)) return true;
  int code = errno;
  file_.Reset();
  errno = code;
  return false;
}

void TServerLog::LogMessage(std::string_view text) {
  if (!loggingOn_.load()) return;
  std::string line = EscapeControlCharacters(text);
  std::lock_guard<std::mutex> hold(lock_);
  AddLine(line);
  if (AppendToFile(line)) return;
  int code = errno;
  if (failureReported_) return;
  failureReported_ = true;
  AddLine(Format("Cannot write log file %s: %s", filePath_.c_str(), SystemText(code).c_str()));
}

}  // namespace tamsel
