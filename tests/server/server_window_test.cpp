#include <gtest/gtest.h>
#include <sys/socket.h>
#include <netinet/in.h>

#include "app/server_config.h"
#include "server/fake_view.h"
#include "server/server_main.h"
#include "support/loopback.h"
#include "support/temp_folder.h"

namespace tamsel {
namespace {

using tamsel::testing::TTempFolder;
using tamsel::testing::WriteFileBytes;

class ServerWindowTest : public ::testing::Test {
 protected:
  void WriteConfig(const std::string& port, const std::string& root) {
    TServerConfigValues v;
    v.PhpExe = "/usr/bin/php-cgi";
    v.PhpIni = "/usr/bin";
    v.Port = port;
    v.Root = root;
    v.AuthUser = "admin";
    v.AuthPassword = "secret";
    v.ServerAdmin = "admin@example.test";
    WriteServerConfig(conf, v);
  }

  TTempFolder temp;
  std::string conf = temp / "server.conf";
  std::string www = temp / "www";
  test::FakeView view;
};

TEST_F(ServerWindowTest, CaptionsAndControlsFollowActivation) {
  ::mkdir(www.c_str(), 0755);
  WriteConfig("0", www);
  TfmHTTPServerMain window(view, conf, temp / "logs/server.log");
  window.FormShow();
  EXPECT_EQ(view.caption, "inactive");
  EXPECT_EQ(view.root, www);
  EXPECT_EQ(view.status.rfind("Your IP -> ", 0), 0u);

  window.acActivateExecute();
  ASSERT_TRUE(view.active);
  EXPECT_EQ(view.caption, "Active");
  EXPECT_FALSE(view.settingsEnabled);
  int port = window.HTTPServer.BoundPort();
  EXPECT_EQ(view.Log().back(), "Listening for HTTP connections on 0.0.0.0:" + std::to_string(port) + ".");

  window.FormShow();  // shown again while running
  EXPECT_EQ(view.caption, "active");

  window.FormCloseQuery();  // closing stops the server
  EXPECT_FALSE(window.HTTPServer.Active());
  EXPECT_EQ(view.caption, "inactive");
  EXPECT_TRUE(view.settingsEnabled);
  EXPECT_EQ(view.Log().back(), "Stop listening.");
}

TEST_F(ServerWindowTest, FailedStarts) {
  WriteConfig("0", www);
  TfmHTTPServerMain window(view, conf, temp / "logs/server.log");
  window.FormShow();
  view.root = temp / "missing";
  window.acActivateExecute();
  EXPECT_FALSE(view.active);
  EXPECT_EQ(view.caption, "inactive");
  EXPECT_EQ(view.Log().back(), "Web root folder (" + temp / "missing" + ") not found.");

  // A port that is taken.
  ::mkdir(www.c_str(), 0755);
  view.root = www;
  int blocker = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  ::bind(blocker, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(blocker, 1);
  socklen_t len = sizeof a;
  ::getsockname(blocker, reinterpret_cast<sockaddr*>(&a), &len);
  view.port = std::to_string(ntohs(a.sin_port));
  window.acActivateExecute();
  ::close(blocker);
  EXPECT_FALSE(view.active);
  EXPECT_FALSE(window.HTTPServer.Active());
  EXPECT_EQ(view.Log().back().rfind("Exception ECouldNotBindSocket in Activate. Error is:\"", 0), 0u) << view.Log().back();

  // A port above the range is refused the same way.
  view.port = "70000";
  window.acActivateExecute();
  EXPECT_FALSE(view.active);
  EXPECT_EQ(view.Log().back().rfind("Exception ECouldNotBindSocket in Activate.", 0), 0u);
}

TEST_F(ServerWindowTest, PortBoxFilters) {
  WriteConfig("-8080", www);
  TfmHTTPServerMain window(view, conf, temp / "logs/server.log");
  window.FormShow();
  EXPECT_EQ(view.port, "8080");  // the sign is filtered out

  std::string typed;
  for (char key : std::string("8a0"))
    if (window.edPortKeyPress(key)) typed += key;
  EXPECT_EQ(typed, "80");
  EXPECT_TRUE(window.edPortKeyPress('\b'));

  view.port = "-1";  // pasted
  window.edPortChange();
  EXPECT_EQ(view.port, "1");
  view.port = "  ";
  window.edPortChange();
  window.edPortExit();
  EXPECT_EQ(view.port, "80");
}

TEST_F(ServerWindowTest, NothingLoggedWhenLogIsOffAtStart) {
  ::mkdir(www.c_str(), 0755);
  WriteConfig("0", www);
  TfmHTTPServerMain window(view, conf, temp / "logs/server.log");
  window.FormShow();
  view.enableLog = false;
  window.acActivateExecute();
  ASSERT_TRUE(view.active);
  test::Exchange(window.HTTPServer.BoundPort(), "GET / HTTP/1.0\r\n\r\n");
  window.acActivateExecute();
  EXPECT_TRUE(view.Log().empty());
  EXPECT_TRUE(view.Sessions().empty());
  EXPECT_EQ(tamsel::testing::ReadFileBytes(temp / "logs/server.log"), "");
}

TEST_F(ServerWindowTest, AboutMessage) {
  WriteConfig("0", www);
  TfmHTTPServerMain window(view, conf, temp / "logs/server.log");
  window.Button1Click();
  EXPECT_EQ(view.message.rfind("Description|", 0), 0u);
  std::string text = window.AboutServerText();
  EXPECT_NE(text.find("\r\nThis version is beta.\r\nVisit my page for newer version: "), std::string::npos);
  EXPECT_EQ(text.substr(text.find("\r\n\r\n")), "\r\n\r\nSERVER-VERSION: Tamsel 1.03 beta");
}

}  // namespace
}  // namespace tamsel

namespace tamsel {
namespace {

TEST(ServerWindowExtensionHost, MessagesOfTheHostReachTheLog) {
  tamsel::testing::TTempFolder temp;
  ::mkdir((temp / "www").c_str(), 0755);
  test::FakeView view;
  TfmHTTPServerMain window(view, temp / "none.conf", temp / "logs/server.log");
  window.FormShow();
  view.root = temp / "www";
  view.port = "0";
  window.acActivateExecute();
  ASSERT_TRUE(view.active);
  EXPECT_EQ(window.ISAPIRunner1.Server, &window.HTTPServer);
  THTTPRequestInfo request;
  THTTPResponseInfo response(nullptr);
  ASSERT_TRUE(window.ISAPIRunner1.OnLogServerMessage);
  window.ISAPIRunner1.OnLogServerMessage(window.ISAPIRunner1, request, response, "extension says hello");
  EXPECT_EQ(view.Log().back(), "extension says hello");
}

}  // namespace
}  // namespace tamsel
