// The installer program: checks that the application manager is registered, then runs
// the main dialog, whose opening does the installation. The program ends with it.
#pragma once

#include <memory>

class QObject;

class InstallerApp {
 public:
  static constexpr int kPathBytes = 260;

  InstallerApp();
  ~InstallerApp();

  // Runs the program from start to end; 0 when the package was installed.
  int Run();


 private:
  // Reads the application manager's path into the buffer; false when it is not
  // registered or does not fit.
  bool ReadAppManagerPath();

  char appManagerPath_[kPathBytes] = {};
  std::unique_ptr<QObject> preTranslate_;
};
