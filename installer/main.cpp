// OrvaneInstaller: installs Orvane Port Linewright on the connected handheld through the
// desktop's application manager.
#include <unistd.h>

#include <QApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "installer/InstallerApp.h"
#include "platform/InstallLayout.h"

namespace {

// The application manager is started with ".\OrvanePortCmd.ini" in the installer's
// current folder. Started elsewhere (from the desktop menu, or from /usr/bin), the
// installer moves into the folder where its package was installed or built.
void EnterPackageFolder() {
  char cwd[4096];
  const std::string current = ::getcwd(cwd, sizeof cwd) ? cwd : "";
  const std::string dir =
      orvane::layout::FindHandheldPackageDir(current, orvane::layout::ExecutableDir(), "OrvanePortCmd.ini");
  if (dir.empty() || dir == current) return;
  if (::chdir(dir.c_str()) != 0)
    std::fprintf(stderr, "OrvaneInstaller: cannot enter the package folder %s: %s\n", dir.c_str(),
                 std::strerror(errno));
}

}  // namespace

int main(int argc, char** argv) {
  EnterPackageFolder();
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("OrvaneInstaller"));
  InstallerApp installer;
  return installer.Run();
}
