// orvane-appmgr: the desktop's application manager stand-in (registered as
// CEAPPMGR.EXE). Started by OrvaneInstaller with the package description file; it
// installs the package into the handheld's storage folder and ends.
//
//   orvane-appmgr <description.ini>...     install (exit 0 when everything was installed)
//   orvane-appmgr --register <folder>      register this program under App Paths and
//                                          <folder> as the handheld's storage folder
//   orvane-appmgr --unregister             remove both entries
//   orvane-appmgr --status                 show what is registered
//   orvane-appmgr --help                   how to use it
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "installer/AppManager.h"
#include "installer/DesktopLink.h"
#include "installer/RemoteApi.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: orvane-appmgr <description.ini>...\n"
               "       orvane-appmgr --register <handheld storage folder>\n"
               "       orvane-appmgr --unregister\n"
               "       orvane-appmgr --status\n"
               "       orvane-appmgr --help\n");
  return 2;
}

int Help() {
  std::printf(
      "Usage: orvane-appmgr DESCRIPTION.ini...\n"
      "  or:  orvane-appmgr --register FOLDER | --unregister | --status\n"
      "\n"
      "The desktop's application manager for Orvane Port Linewright (registered as\n"
      "CEAPPMGR.EXE): OrvaneInstaller starts it with the package description file, and\n"
      "it installs the package into the handheld's storage folder.\n"
      "\n"
      "  DESCRIPTION.ini      install the component the file describes: the package it\n"
      "                       names (CabFiles) lists InstallDir and File1, File2, ...,\n"
      "                       taken from the package's own folder. All files or none.\n"
      "  --register FOLDER    register this program under App Paths as CEAPPMGR.EXE and\n"
      "                       FOLDER as the handheld's storage folder (made when missing)\n"
      "  --unregister         remove both entries again\n"
      "  --status             show what is registered and whether a handheld is connected\n"
      "  --help               show this text\n"
      "\n"
      "The entries are kept in the desktop hive\n"
      "$XDG_DATA_HOME/orvane-port-linewright/desktop.hive (~/.local/share/... when\n"
      "XDG_DATA_HOME is not set).\n"
      "\n"
      "Exit status: 0 done, 1 failed (the reason is on standard error), 2 usage error.\n");
  return 0;
}

std::string SelfPath() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

int Register(const std::string& folderArg) {
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::absolute(folderArg, ec).lexically_normal();
  if (ec) {
    std::fprintf(stderr, "orvane-appmgr: %s: %s\n", folderArg.c_str(), ec.message().c_str());
    return 1;
  }
  if (!std::filesystem::exists(folder) && std::filesystem::create_directories(folder, ec))
    std::printf("Made the handheld's storage folder %s\n", folder.c_str());
  if (ec) {
    std::fprintf(stderr, "orvane-appmgr: cannot make %s: %s\n", folder.c_str(), ec.message().c_str());
    return 1;
  }
  const std::string self = SelfPath();
  const std::string hive = orvane::desktop::DefaultDesktopHivePath();
  std::string error;
  if (self.empty() || !orvane::desktop::RegisterStandIns(hive, self, folder.string(), &error)) {
    std::fprintf(stderr, "orvane-appmgr: %s\n", self.empty() ? "cannot find this program's path" : error.c_str());
    return 1;
  }
  std::printf("Registered %s as CEAPPMGR.EXE and %s as the handheld's storage folder in %s\n", self.c_str(),
              folder.c_str(), hive.c_str());
  return 0;
}

int Unregister() {
  std::string error;
  if (!orvane::desktop::UnregisterStandIns(orvane::desktop::DefaultDesktopHivePath(), &error)) {
    std::fprintf(stderr, "orvane-appmgr: %s\n", error.c_str());
    return 1;
  }
  std::printf("The application manager and the handheld are no longer registered.\n");
  return 0;
}

int Status() {
  std::printf("Desktop hive:     %s\n", orvane::desktop::DefaultDesktopHivePath().c_str());
  std::string appManager = "(not registered)";
  if (orvane::reg::Hive* hive = orvane::desktop::DesktopHive()) {
    orvane::reg::ScopedKey key(*hive, orvane::reg::kLocalMachine, orvane::desktop::kAppPathsKey, false);
    char buffer[4096];
    uint32_t bytes = sizeof buffer;
    if (key.ok() && orvane::desktop::QueryStringA(*hive, key.get(), u"", buffer, &bytes) == orvane::reg::kSuccess)
      appManager = buffer;
  }
  const std::string folder = orvane::desktop::HandheldFolder();
  std::printf("CEAPPMGR.EXE:     %s\n", appManager.c_str());
  std::printf("Handheld storage: %s\n", folder.empty() ? "(not registered)" : folder.c_str());
  std::printf("Handheld:         %s\n", orvane::rapi::CeGetDeviceId() == 0       ? "not connected"
                                        : orvane::rapi::CeRapiInit() == orvane::rapi::kOk ? "connected"
                                                                                          : "found but not writable");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string first = argv[1];
  if (first == "--help" || first == "-h") return argc == 2 ? Help() : Usage();
  if (first == "--register") return argc == 3 ? Register(argv[2]) : Usage();
  if (first == "--unregister") return argc == 2 ? Unregister() : Usage();
  if (first == "--status") return argc == 2 ? Status() : Usage();
  if (first.rfind("--", 0) == 0) return Usage();

  const std::string folder = orvane::desktop::HandheldFolder();
  if (folder.empty() || orvane::rapi::CeGetDeviceId() == 0) {
    std::fprintf(stderr, "orvane-appmgr: no handheld is connected\n");
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    orvane::appmgr::InstallReport report;
    std::string error;
    if (!orvane::appmgr::InstallDescription(argv[i], folder, &report, &error)) {
      std::fprintf(stderr, "orvane-appmgr: %s\n", error.c_str());
      return 1;
    }
    std::printf("Installed %s (%zu files) into %s\n", report.component.c_str(), report.installed.size(),
                folder.c_str());
  }
  return 0;
}
