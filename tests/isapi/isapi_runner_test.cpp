#include "isapi/isapi_runner.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/extension_server.h"
#include "support/loopback.h"
#include "support/temp_folder.h"

namespace tamsel {
namespace {

using Events = std::vector<std::string>;
using test::BodyOf;
using test::LibraryResident;
using test::LoopbackClient;

const std::string kFixtures = TAMSEL_ISAPI_FIXTURES;
const std::string kGood = kFixtures + "/good_ext.so";
const std::string kPending = kFixtures + "/pending_ext.so";

std::string StatusLine(const std::string& response) { return response.substr(0, response.find("\r\n")); }

class ISAPIRunnerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    server.Server.SetActive(false);
    server.DestroyRunner();
    // Every library is released once the runner is gone.
    EXPECT_FALSE(LibraryResident(kGood));
    EXPECT_FALSE(LibraryResident(kPending));
  }
  test::TExtensionServer server;
};

TEST_F(ISAPIRunnerTest, KeepsTheLibraryLoadedAndAsksForItsVersionOnEveryRun) {
  server.Use(kGood);
  std::string first = server.Get("/run");
  EXPECT_EQ(StatusLine(first), "HTTP/1.1 200 OK");
  EXPECT_EQ(BodyOf(first), "<html>good versions=1 terminate=0</html>");
  EXPECT_EQ(server.TakeEvents(), (Events{"before", "load:" + kGood, "after"}));

  std::string second = server.Get("/run");
  EXPECT_EQ(BodyOf(second), "<html>good versions=2 terminate=0</html>");
  EXPECT_EQ(server.TakeEvents(), (Events{"before", "after"}));
  EXPECT_EQ(server.Runner->LoadedModules(), (std::vector<std::string>{"good_ext.so"}));
  EXPECT_TRUE(LibraryResident(kGood));
}

TEST_F(ISAPIRunnerTest, OneFileNameInTwoFoldersSharesTheFirstLibrary) {
  testing::TTempFolder folder;
  std::filesystem::create_directories(folder / "a");
  std::filesystem::create_directories(folder / "b");
  std::filesystem::copy_file(kGood, folder / "a/ext.so");
  // A different library under the same name (letter case aside) would answer 500.
  std::filesystem::copy_file(kFixtures + "/noproc_ext.so", folder / "b/EXT.so");

  server.Use(folder / "a/ext.so");
  EXPECT_EQ(BodyOf(server.Get("/")), "<html>good versions=1 terminate=0</html>");
  server.Use(folder / "b/EXT.so");
  std::string response = server.Get("/");
  EXPECT_EQ(StatusLine(response), "HTTP/1.1 200 OK");
  EXPECT_EQ(BodyOf(response), "<html>good versions=2 terminate=0</html>");
  EXPECT_EQ(server.TakeEvents(), (Events{"before", "load:" + (folder / "a/ext.so"), "after", "before", "after"}));
  EXPECT_FALSE(LibraryResident(folder / "b/EXT.so"));
}

TEST_F(ISAPIRunnerTest, MissingLibraryAnswers404WithThePathInTheStatusText) {
  const std::string missing = kFixtures + "/missing_ext.so";
  server.Use(missing);
  std::string response = server.Get("/");
  EXPECT_EQ(StatusLine(response), "HTTP/1.1 404 <H1>" + missing + " not found</H1>");
  EXPECT_EQ(server.LastRun().BodyText, "");
  EXPECT_EQ(server.TakeEvents(), (Events{"before", "notfound"}));
  EXPECT_TRUE(server.Runner->LoadedModules().empty());
}

TEST_F(ISAPIRunnerTest, BrokenLibrariesAnswer500) {
  struct Case {
    const char* library;
    const char* body;
    const char* event;
  } cases[] = {
      {"noproc_ext.so", "Internal server error. HttpExtensionProc procedure not assigned", "structure"},
      {"noversion_ext.so", "Internal server error. GetExtensionVersion procedure not assigned", "structure"},
      {"versionfalse_ext.so", "", "version"},
  };
  for (const auto& c : cases) {
    const std::string path = kFixtures + "/" + c.library;
    server.Use(path);
    std::string response = server.Get("/");
    EXPECT_EQ(StatusLine(response), "HTTP/1.1 500 Internal Server Error") << c.library;
    EXPECT_EQ(server.LastRun().BodyText, c.body) << c.library;
    EXPECT_EQ(server.TakeEvents(), (Events{"before", "load:" + path, c.event, "after"})) << c.library;
  }
}

TEST_F(ISAPIRunnerTest, UnloadAfterRunReleasesTheLibraryAtTheEnd) {
  // Not cached before: loaded for this run only, no load event.
  server.Use(kGood, true);
  EXPECT_EQ(BodyOf(server.Get("/")), "<html>good versions=1 terminate=0</html>");
  EXPECT_EQ(server.TakeEvents(), (Events{"before", "unload:good_ext.so", "after"}));
  EXPECT_FALSE(LibraryResident(kGood));

  // Cached before: the run takes it out of the cache and releases it.
  server.Use(kGood);
  server.Get("/");
  server.Get("/");
  server.Use(kGood, true);
  EXPECT_EQ(BodyOf(server.Get("/")), "<html>good versions=3 terminate=0</html>");
  EXPECT_EQ(server.TakeEvents(),
            (Events{"before", "load:" + kGood, "after", "before", "after", "before", "unload:good_ext.so", "after"}));
  EXPECT_TRUE(server.Runner->LoadedModules().empty());
  EXPECT_FALSE(LibraryResident(kGood));
}

TEST_F(ISAPIRunnerTest, UnloadModule) {
  // A name that is not loaded: the event still comes, the answer is false.
  EXPECT_FALSE(server.Runner->UnloadModule("nothing.so", true));
  EXPECT_EQ(server.TakeEvents(), (Events{"unload:nothing.so"}));

  // A library that refuses keeps being loaded; without asking it goes.
  server.Use(kGood);
  server.Get("/?cmd=refuse");
  EXPECT_FALSE(server.Runner->UnloadModule("GOOD_EXT.SO", true));
  EXPECT_TRUE(LibraryResident(kGood));
  EXPECT_EQ(BodyOf(server.Get("/")), "<html>good versions=2 terminate=2</html>");
  EXPECT_TRUE(server.Runner->UnloadModule("good_ext.so", false));
  EXPECT_FALSE(LibraryResident(kGood));
  server.TakeEvents();

  // A library that agrees is released; the next run loads it afresh.
  EXPECT_EQ(BodyOf(server.Get("/")), "<html>good versions=1 terminate=0</html>");
  EXPECT_TRUE(server.Runner->UnloadModule("good_ext.so", true));
  EXPECT_FALSE(LibraryResident(kGood));
  EXPECT_FALSE(server.Runner->UnloadModule("good_ext.so", true));
  EXPECT_EQ(server.TakeEvents(), (Events{"before", "load:" + kGood, "after", "unload:good_ext.so", "unload:good_ext.so"}));
}

TEST_F(ISAPIRunnerTest, UnloadingWhileARunIsInsideWaitsForTheRunToLeave) {
  server.Use(kGood);
  LoopbackClient client(server.Port);
  client.Send("GET /?cmd=read&n=1 HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(server.WaitForEvent("log:reading"));  // the extension now waits in ReadClient

  EXPECT_TRUE(server.Runner->UnloadModule("good_ext.so", true));
  EXPECT_TRUE(server.Runner->LoadedModules().empty());
  EXPECT_TRUE(LibraryResident(kGood));

  client.Send("x");
  EXPECT_EQ(BodyOf(client.ReadAll()), "ok=1 size=1 data=[x]");
  EXPECT_FALSE(LibraryResident(kGood));
}

TEST_F(ISAPIRunnerTest, DestructionReleasesEveryLibrarySilently) {
  server.Use(kGood);
  server.Get("/");
  server.Use(kPending);
  server.Get("/");
  ASSERT_TRUE(LibraryResident(kGood));
  ASSERT_TRUE(LibraryResident(kPending));
  server.TakeEvents();
  server.DestroyRunner();
  EXPECT_TRUE(server.TakeEvents().empty());
  EXPECT_FALSE(LibraryResident(kGood));
  EXPECT_FALSE(LibraryResident(kPending));
}

TEST_F(ISAPIRunnerTest, PendingRequestCompletesFromTheExtensionsThread) {
  server.Use(kPending);
  for (int i = 0; i < 3; ++i) {
    std::string response = server.Get("/");
    EXPECT_EQ(StatusLine(response), "HTTP/1.1 201 Created");
    EXPECT_EQ(test::HeaderOf(response, "Content-Type"), "text/plain");
    EXPECT_EQ(BodyOf(response), "completed from the extension's thread");
  }
  // Several runs inside the library at once each get their own block.
  std::vector<std::unique_ptr<LoopbackClient>> clients;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(std::make_unique<LoopbackClient>(server.Port));
    clients.back()->Send("GET / HTTP/1.0\r\n\r\n");
  }
  for (auto& client : clients) EXPECT_EQ(BodyOf(client->ReadAll()), "completed from the extension's thread");
}

TEST_F(ISAPIRunnerTest, LogRequestReachesTheEvent) {
  server.Use(kGood);
  EXPECT_EQ(BodyOf(server.Get("/?cmd=log&text=hello+log")), "answer=1 keep=-1");
  EXPECT_EQ(server.TakeEvents(), (Events{"before", "load:" + kGood, "log:hello log", "after"}));
  // Without a handler the request still succeeds.
  server.Runner->OnLogServerMessage = nullptr;
  EXPECT_EQ(BodyOf(server.Get("/?cmd=log&text=x")), "answer=1 keep=-1");
}

TEST_F(ISAPIRunnerTest, FailureInsideACallbackAnswers500AndEndsTheRun) {
  server.Use(kGood);
  server.Runner->OnLogServerMessage = [](TISAPIRunner&, THTTPRequestInfo&, THTTPResponseInfo&, const std::string&) {
    throw std::runtime_error("log is full");
  };
  std::string response = server.Get("/?cmd=log&text=x");
  EXPECT_EQ(StatusLine(response), "HTTP/1.1 500 Internal Server Error");
  // The extension went on with a false answer; what it wrote stays.
  EXPECT_EQ(BodyOf(response), "answer=0 keep=-1");
  EXPECT_EQ(server.TakeEvents(), (Events{"before", "load:" + kGood, "after"}));
}

TEST_F(ISAPIRunnerTest, RunWithoutThreadOrRecordsDoesNothing) {
  THTTPRequestInfo request;
  THTTPResponseInfo response(nullptr);
  server.Runner->RunExtension(kGood, nullptr, &request, &response, "/srv", false, "");
  EXPECT_EQ(response.StatusCode, 200);
  EXPECT_TRUE(server.TakeEvents().empty());
  EXPECT_FALSE(LibraryResident(kGood));
}

}  // namespace
}  // namespace tamsel
