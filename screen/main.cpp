// OrvanePort: the serial-line command terminal.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>

#include "platform/InstallLayout.h"
#include "screen/COrvanePortApp.h"

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "unknown"
#endif

namespace {

// --help and --version answer on the terminal without opening a window, so they work
// without a display too.
int PrintHelp() {
  const std::string page = orvane::layout::FindResource(orvane::layout::ExecutableDir(), "OrvanePortCmd.htm");
  std::printf(
      "Usage: OrvanePort [FILE]\n"
      "\n"
      "Orvane Port Linewright: a serial-line command terminal. Pick a device from the\n"
      "modem list, press Open, type a command and press Send; every reply is kept in\n"
      "the response list. FILE is opened as the (empty) document, as on the handheld.\n"
      "\n"
      "  --help       show this text\n"
      "  --version    show the version\n"
      "\n"
      "Settings, profiles and the command history are kept in\n"
      "$XDG_DATA_HOME/orvane-port-linewright/handheld.hive (~/.local/share/... when\n"
      "XDG_DATA_HOME is not set); see orvane-reg(1).\n"
      "\n"
      "Help page (Port > Help): %s\n",
      page.empty() ? "not found (OrvanePortCmd.htm belongs next to the program or in ../share/orvane-port-linewright)"
                   : page.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return PrintHelp();
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("OrvanePort %s\n", ORVANE_VERSION);
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("OrvanePort"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/OrvanePort.png")));
  // Ties the windows to the installed desktop entry (its icon and name on Wayland).
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.orvane.OrvanePortLinewright"));

  COrvanePortApp theApp;
  if (!theApp.InitInstance(QApplication::arguments())) return 1;
  const int result = app.exec();
  theApp.ExitInstance();
  return result;
}
