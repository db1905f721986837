// The headless program's view of the server window: controls are plain
// values, log lines go to standard output.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "server/server_view.h"

namespace tamsel {

class TConsoleView : public TServerView {
 public:
  std::string PortText() const override { return port_; }
  void SetPortText(const std::string& text) override { port_ = text; }
  std::string RootText() const override { return root_; }
  void SetRootText(const std::string& text) override { root_ = text; }
  bool AuthenticationChecked() const override { return auth_; }
  void SetAuthenticationChecked(bool checked) override { auth_ = checked; }
  bool EnableLogChecked() const override { return enableLog_; }
  void SetEnableLogChecked(bool checked) override { enableLog_ = checked; }
  bool ActiveChecked() const override { return active_; }
  void SetActiveChecked(bool checked) override { active_ = checked; }
  void SetSettingsEnabled(bool) override {}
  void SetCaption(const std::string&) override {}
  void SetStatusText(const std::string& text) override { status_ = text; }
  void LogLineAdded(const std::string& line) override {
    std::lock_guard lock(out_);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  void SessionListChanged(const std::vector<std::string>&) override {}
  void ShowMessage(const std::string&, const std::string& text) override { LogLineAdded(text); }
  void Hide() override {}
  const std::string& StatusText() const { return status_; }

 private:
  std::string port_ = "80", root_, status_;
  bool auth_ = false, enableLog_ = true, active_ = false;
  std::mutex out_;
};

}  // namespace tamsel
