#include "platform/InstallLayout.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#ifndef ORVANE_DATA_DIR_FROM_BIN
#error "ORVANE_DATA_DIR_FROM_BIN must name the data folder relative to the programs' folder"
#endif
#ifndef ORVANE_HANDHELD_DIR_FROM_BIN
#error "ORVANE_HANDHELD_DIR_FROM_BIN must name the handheld package folder relative to the programs' folder"
#endif

namespace orvane::layout {
namespace {

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + '/' + name;
}

}  // namespace

const char* DataDirFromBin() { return ORVANE_DATA_DIR_FROM_BIN; }
const char* HandheldPackageDirFromBin() { return ORVANE_HANDHELD_DIR_FROM_BIN; }

std::string ExecutableDir() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  std::string path(buffer, static_cast<size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

std::vector<std::string> ResourceCandidates(const std::string& exeDir, const std::string& name) {
  if (exeDir.empty()) return {};
  const auto normal = [](const std::string& path) { return std::filesystem::path(path).lexically_normal().string(); };
  return {normal(Join(Join(exeDir, DataDirFromBin()), name)), normal(Join(exeDir, name))};
}

std::string FindResource(const std::string& exeDir, const std::string& name) {
  for (const std::string& path : ResourceCandidates(exeDir, name))
    if (IsFile(path)) return path;
  return {};
}

std::string FindHandheldPackageDir(const std::string& currentDir, const std::string& exeDir,
                                   const std::string& descriptionFile) {
  std::vector<std::string> dirs = {currentDir};
  if (!exeDir.empty()) {
    dirs.push_back(std::filesystem::path(Join(exeDir, HandheldPackageDirFromBin())).lexically_normal().string());
    dirs.push_back(exeDir);
  }
  for (const std::string& dir : dirs)
    if (!dir.empty() && IsFile(Join(dir, descriptionFile))) return dir;
  return {};
}

}  // namespace orvane::layout
