// A server view for tests: controls are plain values, and every change the
// logic makes is recorded.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "server/server_view.h"

namespace tamsel::test {

class FakeView : public TServerView {
 public:
  std::string PortText() const override { return port; }
  void SetPortText(const std::string& text) override { port = text; }
  std::string RootText() const override { return root; }
  void SetRootText(const std::string& text) override { root = text; }
  bool AuthenticationChecked() const override { return auth; }
  void SetAuthenticationChecked(bool c) override { auth = c; }
  bool EnableLogChecked() const override { return enableLog; }
  void SetEnableLogChecked(bool c) override { enableLog = c; }
  bool ActiveChecked() const override { return active; }
  void SetActiveChecked(bool c) override { active = c; }
  void SetSettingsEnabled(bool e) override { settingsEnabled = e; }
  void SetCaption(const std::string& c) override { caption = c; }
  void SetStatusText(const std::string& t) override { status = t; }
  void LogLineAdded(const std::string& line) override {
    std::lock_guard lock(mutex);
    log.push_back(line);
  }
  void SessionListChanged(const std::vector<std::string>& ids) override {
    std::lock_guard lock(mutex);
    sessions = ids;
  }
  void ShowMessage(const std::string& c, const std::string& t) override { message = c + "|" + t; }
  void Hide() override { hidden = true; }

  std::vector<std::string> Log() {
    std::lock_guard lock(mutex);
    return log;
  }
  std::vector<std::string> Sessions() {
    std::lock_guard lock(mutex);
    return sessions;
  }

  std::string port = "80", root, caption, status, message;
  bool auth = false, enableLog = true, active = false, settingsEnabled = true, hidden = false;
  std::mutex mutex;
  std::vector<std::string> log, sessions;
};

}  // namespace tamsel::test
