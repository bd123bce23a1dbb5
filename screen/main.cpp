// OrvanePort: the serial-line command terminal.
#include <QApplication>
#include <QIcon>

#include "screen/COrvanePortApp.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("OrvanePort"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/OrvanePort.png")));

  COrvanePortApp theApp;
  if (!theApp.InitInstance(QApplication::arguments())) return 1;
  const int result = app.exec();
  theApp.ExitInstance();
  return result;
}
