// OrvaneInstaller: installs Orvane Port Linewright on the connected handheld through the
// desktop's application manager.
#include <QApplication>

#include "installer/InstallerApp.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("OrvaneInstaller"));
  InstallerApp installer;
  return installer.Run();
}
