// What the server window's logic needs of its controls. The desktop window
// and the headless program each implement it; tests use a fake.
#pragma once

#include <string>
#include <vector>

namespace tamsel {

class TServerView {
 public:
  virtual ~TServerView() = default;

  // edPort, edRoot, cbAuthentication, cbEnableLog and acActivate/cbActive.
  virtual std::string PortText() const = 0;
  virtual void SetPortText(const std::string& text) = 0;
  virtual std::string RootText() const = 0;
  virtual void SetRootText(const std::string& text) = 0;
  virtual bool AuthenticationChecked() const = 0;
  virtual void SetAuthenticationChecked(bool checked) = 0;
  virtual bool EnableLogChecked() const = 0;
  virtual void SetEnableLogChecked(bool checked) = 0;
  virtual bool ActiveChecked() const = 0;
  virtual void SetActiveChecked(bool checked) = 0;
  // Enables or disables edPort, edRoot, cbAuthentication and cbEnableLog together.
  virtual void SetSettingsEnabled(bool enabled) = 0;

  virtual void SetCaption(const std::string& caption) = 0;
  // Panel 0 of StatusBar1.
  virtual void SetStatusText(const std::string& text) = 0;

  // A line added at the end of lbLog. Called from any thread with the log
  // lock held: hand it over without waiting for the window's thread.
  virtual void LogLineAdded(const std::string& line) = 0;
  // lbSessionList now holds `ids`. Called from any thread with the log lock held.
  virtual void SessionListChanged(const std::vector<std::string>& ids) = 0;

  // A message box owned by the window with the information icon and OK.
  virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
  // Hides the window (Close button and closing by any means).
  virtual void Hide() = 0;
};

}  // namespace tamsel
