// The server log: list, sink and file in step, the on/off switch, the
// missing folder, an unwritable file and one line per call.
#include "server/server_log.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

#include "support/temp_folder.h"

namespace tamsel {
namespace {

class TCollectingSink : public TLogSink {
 public:
  void LineAdded(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

// The file's lines, each of which must end with CR LF.
std::vector<std::string> FileLines(const std::string& path) {
  std::string bytes = testing::ReadFileBytes(path);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "unterminated last line";
    if (end == std::string::npos) break;
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

class ServerLogTest : public ::testing::Test {
 protected:
  std::string LogPath() const { return folder_ / "logs/server.log"; }
  TServerLog& StartedLog() {
    log_.SetSink(sink_);
    log_.SetLoggingOn(true);
    return log_;
  }

  testing::TTempFolder folder_;
  TServerLog log_{folder_ / "logs/server.log"};
  std::shared_ptr<TCollectingSink> sink_ = std::make_shared<TCollectingSink>();
};

TEST_F(ServerLogTest, LinesGoByteForByteToListSinkAndFile) {
  const std::string texts[] = {
      "Command GET / received from 127.0.0.1:1031",
      "Serving file /srv/www/index.html (120 bytes / 120 bytes sent) to 127.0.0.1:1031",
      "Exception ECouldNotBindSocket in Activate. Error is:\"Address already in use\".",
      "",
      "100% done \\ \xe9t\xe9 \x80\xff",
      std::string(5000, 'L'),
  };
  TServerLog& log = StartedLog();
  for (const std::string& text : texts) log.LogMessage(text);
  std::vector<std::string> expected(std::begin(texts), std::end(texts));
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_EQ(sink_->lines, expected);
  std::string bytes;
  for (const std::string& text : texts) bytes += text + "\r\n";
  EXPECT_EQ(testing::ReadFileBytes(LogPath()), bytes);
}

TEST_F(ServerLogTest, WithoutItsOwnCopyEveryLineStillReachesSinkAndFile) {
  TServerLog& log = StartedLog();
  log.LogMessage("kept before");
  log.SetKeepLines(false);
  EXPECT_TRUE(log.Lines().empty());
  const std::vector<std::string> texts = {"Command GET /a\nb received", "Stop listening."};
  for (const std::string& text : texts) log.LogMessage(text);
  EXPECT_TRUE(log.Lines().empty());
  const std::vector<std::string> expected = {"kept before", "Command GET /a%0Ab received", "Stop listening."};
  EXPECT_EQ(sink_->lines, expected);
  EXPECT_EQ(FileLines(LogPath()), expected);

  // The one report of an unwritable file reaches the sink as well.
  std::filesystem::remove_all(folder_ / "logs");
  std::filesystem::create_directories(folder_ / "logs/server.log");  // a folder where the file should be
  log.LogMessage("lost line");
  ASSERT_EQ(sink_->lines.size(), expected.size() + 2);
  EXPECT_EQ(sink_->lines[3], "lost line");
  EXPECT_EQ(sink_->lines[4].rfind("Cannot write log file " + LogPath() + ": ", 0), 0u) << sink_->lines[4];
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(ServerLogTest, ControlCharactersAreEscapedSoOneCallIsOneLine) {
  struct Case {
    std::string text;
    std::string line;
  } cases[] = {
      {"Command GET /a\nb received", "Command GET /a%0Ab received"},
      {"x\r\ny", "x%0D%0Ay"},
      {"tab\there", "tab%09here"},
      {std::string("nul\0end", 7), "nul%00end"},
      {"del\x7f\x1f", "del%7F%1F"},
      {"literal %0A stays", "literal %0A stays"},
  };
  TServerLog& log = StartedLog();
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    log.LogMessage(c.text);
    expected.push_back(c.line);
  }
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_EQ(sink_->lines, expected);
  EXPECT_EQ(FileLines(LogPath()), expected);
}

TEST_F(ServerLogTest, NothingLoggedWhileOffAtStart) {
  // Never started: off.
  log_.SetSink(sink_);
  log_.LogMessage("before any start");
  log_.SetLoggingOn(false);
  log_.LogMessage("Listening for HTTP connections on 0.0.0.0:80.");
  log_.LogMessage("Stop listening.");
  EXPECT_TRUE(log_.Lines().empty());
  EXPECT_TRUE(sink_->lines.empty());
  EXPECT_FALSE(std::filesystem::exists(folder_ / "logs"));

  // On at the next start; the value of that start holds until the one after.
  log_.SetLoggingOn(true);
  log_.LogMessage("on");
  log_.SetLoggingOn(false);
  log_.LogMessage("off again");
  EXPECT_EQ(log_.Lines(), std::vector<std::string>{"on"});
  EXPECT_EQ(FileLines(LogPath()), std::vector<std::string>{"on"});
}

TEST_F(ServerLogTest, MissingFolderIsCreatedAndExistingFileAppendedTo) {
  ASSERT_FALSE(std::filesystem::exists(folder_ / "logs"));
  TServerLog& log = StartedLog();
  log.LogMessage("first");
  EXPECT_TRUE(std::filesystem::is_directory(folder_ / "logs"));
  EXPECT_EQ(FileLines(LogPath()), std::vector<std::string>{"first"});

  // Removed while running: made again by the next line.
  std::filesystem::remove_all(folder_ / "logs");
  log.LogMessage("second");
  EXPECT_EQ(FileLines(LogPath()), std::vector<std::string>{"second"});

  // A later run of the program appends to what is there.
  TServerLog again(LogPath());
  again.SetLoggingOn(true);
  again.LogMessage("third");
  EXPECT_EQ(FileLines(LogPath()), (std::vector<std::string>{"second", "third"}));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"first", "second"}));
}

TEST_F(ServerLogTest, EachLineLandsInTheFileThePathNamesWhenItReturns) {
  // What happens to the file between two lines, and what the path must hold after the second.
  struct Case {
    const char* what;
    void (*change)(const std::string& path);
  } cases[] = {
      {"removed", [](const std::string& path) { std::filesystem::remove(path); }},
      {"folder removed", [](const std::string& path) {
         std::filesystem::remove_all(std::filesystem::path(path).parent_path());
       }},
      {"renamed away", [](const std::string& path) { std::filesystem::rename(path, path + ".1"); }},
      {"replaced", [](const std::string& path) {
         std::filesystem::rename(path, path + ".1");
         std::ofstream(path, std::ios::binary) << "new\r\n";
       }},
      {"emptied", [](const std::string& path) { std::filesystem::resize_file(path, 0); }},
  };
  for (const Case& c : cases) {
    testing::TTempFolder folder;
    const std::string path = folder / "logs/server.log";
    TServerLog log(path);
    log.SetLoggingOn(true);
    log.LogMessage("first");
    ASSERT_EQ(testing::ReadFileBytes(path), "first\r\n") << c.what;
    c.change(path);
    std::string before = std::filesystem::exists(path) ? testing::ReadFileBytes(path) : "";
    log.LogMessage("second");
    EXPECT_EQ(testing::ReadFileBytes(path), before + "second\r\n") << c.what;
    if (std::filesystem::exists(path + ".1")) {
      EXPECT_EQ(testing::ReadFileBytes(path + ".1"), "first\r\n") << c.what;
    }
  }
}

TEST_F(ServerLogTest, UnwritableFileIsReportedOncePerStartAndNeverThrows) {
  testing::WriteFileBytes(folder_ / "logs", "a file where the folder should be");
  TServerLog& log = StartedLog();
  EXPECT_NO_THROW(log.LogMessage("Command GET / received from 127.0.0.1:1031"));
  EXPECT_NO_THROW(log.LogMessage("User logged out"));
  std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Command GET / received from 127.0.0.1:1031");
  EXPECT_EQ(lines[1].rfind("Cannot write log file " + LogPath() + ": ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], "User logged out");
  EXPECT_EQ(sink_->lines, lines);

  // The next start reports it again, once.
  log.SetLoggingOn(true);
  log.LogMessage("a");
  log.LogMessage("b");
  lines = log.Lines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[3], "a");
  EXPECT_EQ(lines[4], lines[1]);
  EXPECT_EQ(lines[5], "b");
}

TEST_F(ServerLogTest, ConcurrentCallersKeepWholeLinesInTheSameOrder) {
  constexpr int kThreads = 8;
  constexpr int kLinesEach = 200;
  TServerLog& log = StartedLog();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kLinesEach; ++i)
        log.LogMessage("thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                       std::string(static_cast<size_t>(50 + (i * 37) % 300), 'a' + t));
    });
  for (std::thread& thread : threads) thread.join();

  std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLinesEach));
  EXPECT_EQ(sink_->lines, lines);
  EXPECT_EQ(FileLines(LogPath()), lines);
  // Every line whole, and each thread's lines in the order it logged them.
  std::vector<int> next(kThreads, 0);
  for (const std::string& line : lines) {
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d ", &t, &i), 2) << line;
    ASSERT_GE(t, 0);
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(i, next[static_cast<size_t>(t)]++);
    std::string tail = line.substr(line.rfind(' ') + 1);
    EXPECT_EQ(tail, std::string(static_cast<size_t>(50 + (i * 37) % 300), 'a' + t));
  }
}

TEST(ServerLogPathTest, DefaultFileIsBelowTheCurrentFolder) {
  testing::TTempFolder folder;
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(folder.Path().c_str()), 0);
  {
    TServerLog log;
    log.SetLoggingOn(true);
    log.LogMessage("Stop listening.");
  }
  ASSERT_EQ(::chdir(previous), 0);
  EXPECT_EQ(testing::ReadFileBytes(folder / "logs/server.log"), "Stop listening.\r\n");
}

}  // namespace
}  // namespace tamsel
