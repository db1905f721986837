// The server's log: every line goes to an in-memory list (shown by the
// window through a sink) and is appended to the file "logs/server.log".
#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fd.h"

namespace tamsel {

// Receives each logged line, in log order. Called on the logging thread with
// LogLock held, so it must return promptly and never wait for the window's
// thread (hand the line over with a queued call instead); it must not call
// back into the log or throw.
class TLogSink {
 public:
  virtual ~TLogSink() = default;
  virtual void LineAdded(const std::string& line) = 0;
};

class TServerLog {
 public:
  static constexpr char kDefaultFilePath[] = "logs/server.log";  // below the current folder

  explicit TServerLog(std::string filePath = kDefaultFilePath);
  TServerLog(const TServerLog&) = delete;
  TServerLog& operator=(const TServerLog&) = delete;

  // Set from "Enable log" each time a start of the server is requested; the
  // value holds until the next start request. Also re-arms the one report
  // of a log file that cannot be written.
  void SetLoggingOn(bool on);
  bool LoggingOn() const { return loggingOn_.load(); }

  // Where lines are shown; may be null. Takes LogLock.
  void SetSink(std::shared_ptr<TLogSink> sink);

  // Logs one line: nothing when logging is off. Otherwise, holding LogLock,
  // adds the line to the list, hands it to the sink and appends it with CR LF
  // to the file with one write, so the line is in the file when this returns
  // (the file stays open between lines while the path still names it, and is
  // opened again when it was removed or replaced). Control characters (bytes below 0x20
  // and 0x7F) are written as "%" and two upper-case hexadecimal digits, so
  // one call is always one line. A missing folder of the file is created. A
  // file that still cannot be written never fails the caller: the line stays
  // in the list, and the first such failure after a start request is added as
  // a line of its own ("Cannot write log file ...").
  void LogMessage(std::string_view text);

  // The lock that orders the list, the sink and the file; the window's
  // session list is changed only while it is held too. Never call
  // LogMessage while holding it.
  std::mutex& LogLock() { return lock_; }

  // A copy of the lines logged so far, oldest first (the list is never emptied
  // while lines are kept).
  std::vector<std::string> Lines() const;

  // Whether the log keeps its own copy of every line (the default). A view
  // that holds or prints each line as its sink receives it needs no second
  // copy: with false, lines still reach the sink and the file as before, but
  // the list stays empty, so a long run does not grow the memory by its log.
  void SetKeepLines(bool keep);
  const std::string& FilePath() const { return filePath_; }

  // `text` with its control characters written as "%XX".
  static std::string EscapeControlCharacters(std::string_view text);

 private:
  // Appends `line` + CR LF to the file; false with errno set on failure.
  bool AppendToFile(const std::string& line);
  // Opens the file for appending (making a missing folder) and notes which file it is.
  bool OpenFile();
  void AddLine(const std::string& line);

  const std::string filePath_;
  std::atomic<bool> loggingOn_{false};
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
  std::shared_ptr<TLogSink> sink_;
  bool failureReported_ = false;
  bool keepLines_ = true;
  UniqueFd file_;  // the log file, open between lines; guarded by lock_
  dev_t fileDevice_ = 0;
  ino_t fileInode_ = 0;
};

}  // namespace tamsel
