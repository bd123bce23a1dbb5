// Shared helpers for the installer tests: a private desktop hive and handheld folder
// per test, files and small programs written on the fly.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "installer/DesktopLink.h"
#include "tests/platform/TempHive.h"

namespace orvane::testing {

inline void WriteFile(const std::string& path, const std::string& text, bool executable = false) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
  if (executable) ::chmod(path.c_str(), 0755);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// Points XDG_DATA_HOME (and with it the desktop hive) into a fresh folder, so this
// process and the programs it starts share a hive no other test sees.
class DesktopSandbox {
 public:
  DesktopSandbox() {
    const char* old = std::getenv("XDG_DATA_HOME");
    hadXdg_ = old != nullptr;
    if (old) oldXdg_ = old;
    ::setenv("XDG_DATA_HOME", (dir_.path() + "/xdg").c_str(), 1);
    desktop::InstallDesktopHive(nullptr);
    handheld_ = dir_.path() + "/handheld";
    std::filesystem::create_directories(handheld_);
  }
  ~DesktopSandbox() {
    desktop::InstallDesktopHive(nullptr);
    if (hadXdg_)
      ::setenv("XDG_DATA_HOME", oldXdg_.c_str(), 1);
    else
      ::unsetenv("XDG_DATA_HOME");
  }
  DesktopSandbox(const DesktopSandbox&) = delete;
  DesktopSandbox& operator=(const DesktopSandbox&) = delete;

  const std::string& root() const { return dir_.path(); }
  const std::string& handheld() const { return handheld_; }
  std::string Path(const std::string& name) const { return dir_.File(name); }

  bool Register(const std::string& appManager, const std::string& folder) {
    std::string error;
    return desktop::RegisterStandIns(desktop::DefaultDesktopHivePath(), appManager, folder, &error);
  }
  bool Register(const std::string& appManager) { return Register(appManager, handheld_); }

 private:
  TempDir dir_;
  bool hadXdg_ = false;
  std::string oldXdg_;
  std::string handheld_;
};

// Runs the test body in |dir| and returns to where it was.
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::string& dir) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~ScopedCurrentDir() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

// A program that records its arguments, one per line, into |record|, then exits |code|.
inline std::string RecorderScript(const std::string& record, int code = 0) {
  return "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record + "'\nexit " +
         std::to_string(code) + "\n";
}

// A directory nothing can be written into, not even by a privileged user.
inline const char* kUnwritableFolder = "/proc/self";

}  // namespace orvane::testing
