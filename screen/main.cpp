// OrvanePort: the serial-line command terminal.
#include <QApplication>
#include <QIcon>
#include <QStringList>
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
      "Usage: OrvanePort [DEVICE [BAUD]]\n"
      "       OrvanePort FILE\n"
      "\n"
      "Orvane Port Linewright: a serial-line command terminal. Pick a device from the\n"
      "modem list, press Open (Ctrl+O), type a command and press Enter; every reply is\n"
      "kept in the response list. Modems want a carriage return after a command: type\n"
      "AT<0D>, or use a profile whose suffix is <0D>.\n"
      "\n"
      "DEVICE (a path such as /dev/ttyUSB0, or rfc2217://HOST:PORT or tcp://HOST:PORT)\n"
      "is selected in the modem list at start, or typed under <Not Listed> when the\n"
      "list does not offer it; BAUD goes into the baud box. Another single argument is\n"
      "opened as the (empty) document, as on the handheld.\n"
      "\n"
      "Keys: Enter sends; Ctrl+O opens the line, Ctrl+Shift+O closes it; Ctrl+E exports\n"
      "and Ctrl+L clears the response list; Ctrl+, preferences; Tab moves, Escape\n"
      "cancels a dialog, F10 opens the menu bar.\n"
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
  {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    StartArguments start;
    QString problem;
    if (!ParseStartArguments(arguments, &start, &problem)) {
      std::fprintf(stderr, "OrvanePort: %s\nTry 'OrvanePort --help'.\n", problem.toLocal8Bit().constData());
      return 2;
    }
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
