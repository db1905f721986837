// tamsel-server: the server window's logic without a display. It reads the
// settings, starts the server as the Activate box does, prints the log and
// stops on SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/headless/console_view.h"
#include "app/server_config.h"
#include "server/server_main.h"

namespace {

const char kUsage[] =
    "Usage: tamsel-server [OPTION]...\n"
    "Serve a folder over HTTP, with PHP through php-cgi, until interrupted.\n"
    "\n"
    "  --conf FILE   read the settings from FILE (default: server.conf beside the program)\n"
    "  --port N      listen on port N (0: a free port chosen by the system)\n"
    "  --root DIR    serve the folder DIR\n"
    "  --no-log      log nothing (as unchecking \"Enable log\")\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Log lines are printed to standard output and appended to logs/server.log below the\n"
    "current folder. SIGINT or SIGTERM stops the server; the exit status is 0 then, and 1\n"
    "when the server could not start.\n";

int Fail(const char* message) {
  std::fprintf(stderr, "tamsel-server: %s\nTry 'tamsel-server --help'.\n", message);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tamsel;
  std::string conf = ServerConfigPath(), port, root;
  bool havePort = false, haveRoot = false, noLog = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("tamsel-server (%s)\n", TfmHTTPServerMain::kServerSoftware);
      return 0;
    } else if (arg == "--conf") {
      if (!value(conf)) return Fail("--conf needs a file");
    } else if (arg == "--port") {
      if (!value(port)) return Fail("--port needs a number");
      havePort = true;
    } else if (arg == "--root") {
      if (!value(root)) return Fail("--root needs a folder");
      haveRoot = true;
    } else if (arg == "--no-log") {
      noLog = true;
    } else {
      std::string message = "unknown option '" + arg + "'";
      return Fail(message.c_str());
    }
  }

  // Block the stop signals before any thread starts, so that only sigwait sees them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  TConsoleView view;
  TfmHTTPServerMain window(view, conf);
  // The console prints every line as it comes; the log needs no copy of its own.
  window.Log().SetKeepLines(false);
  window.FormShow();
  if (havePort) {
    view.SetPortText(port);  // typed into the box: the same filters apply
    window.edPortChange();
    window.edPortExit();
  }
  if (haveRoot) view.SetRootText(root);
  if (noLog) view.SetEnableLogChecked(false);

  window.acActivateExecute();
  if (!view.ActiveChecked()) {
    if (noLog) std::fputs("tamsel-server: the server did not start\n", stderr);
    return 1;
  }

  int signal = 0;
  sigwait(&stop, &signal);
  window.acActivateExecute();
  return 0;
}
