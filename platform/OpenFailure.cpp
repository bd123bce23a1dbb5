#include "platform/OpenFailure.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/SerialDevice.h"

namespace orvane {

namespace {

bool AllDigits(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

// The names of the entries of |folder|, or none when it cannot be read.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
  closedir(dir);
  return names;
}

std::string CommandName(const std::string& processFolder) {
  std::ifstream comm(processFolder + "/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? std::string("an unnamed program") : name;
}

bool ProcessInGroup(gid_t group) {
  if (getegid() == group) return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int filled = getgroups(count, groups.data());
  return filled > 0 && std::find(groups.begin(), groups.begin() + filled, group) != groups.begin() + filled;
}

bool UserListedInGroup(const group* entry) {
  const passwd* user = getpwuid(geteuid());
  if (user == nullptr || entry->gr_mem == nullptr) return false;
  for (char** member = entry->gr_mem; *member != nullptr; ++member) {
    if (std::strcmp(*member, user->pw_name) == 0) return true;
  }
  return false;
}

std::string ExplainDenied(const std::string& path, const std::string& reason) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return reason + ": " + path + ".";
  const group* owner = getgrgid(info.st_gid);
  const std::string groupName = owner != nullptr ? owner->gr_name : std::to_string(info.st_gid);
  const bool groupMayUse = (info.st_mode & S_IRGRP) != 0 && (info.st_mode & S_IWGRP) != 0;
  if (!groupMayUse || info.st_gid == 0) {
    return reason + ": " + path + " is open to its owner only. Ask the administrator for access "
           "(for example a udev rule that gives it to the group 'dialout').";
  }
  if (ProcessInGroup(info.st_gid)) {
    return reason + ": " + path + " belongs to group '" + groupName +
           "', but its permissions do not let this user open it.";
  }
  if (owner != nullptr && UserListedInGroup(owner)) {
    return reason + ": " + path + " belongs to group '" + groupName +
           "'. This user was added to it after logging in: log out and in again.";
  }
  return reason + ": " + path + " belongs to group '" + groupName +
         "', which this user is not in. Join it with 'sudo usermod -aG " + groupName +
         " $USER', then log out and in again.";
}

// The processes holding a whole-file lock on the node at |path|, from |procRoot|/locks
// ("1: FLOCK  ADVISORY  WRITE 4242 00:19:4 0 EOF": the file system's device in hex,
// then the node's inode).
std::vector<pid_t> LockHolders(const std::string& path, const std::string& procRoot) {
  std::vector<pid_t> pids;
  struct stat node {};
  if (stat(path.c_str(), &node) != 0) return pids;
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", major(node.st_dev), minor(node.st_dev),
                static_cast<unsigned long long>(node.st_ino));
  std::ifstream locks(procRoot + "/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, file;
    if (!(fields >> number >> kind)) continue;
    if (kind == "->") fields >> kind;  // a waiter, listed under the lock it waits for
    if (!(fields >> mode >> access >> pid >> file) || file != wanted || !AllDigits(pid.c_str())) continue;
    const pid_t holder = static_cast<pid_t>(std::stol(pid));
    if (holder != getpid() && std::find(pids.begin(), pids.end(), holder) == pids.end()) pids.push_back(holder);
  }
  return pids;
}

std::string ExplainBusy(const std::string& path, const std::string& reason) {
  std::vector<PortHolder> holders = FindPortHolders(path);
  // Of the programs with the port open, the one that locked it is the one in the way.
  const std::vector<pid_t> lockers = LockHolders(path, "/proc");
  const auto locked = [&lockers](const PortHolder& h) {
    return std::find(lockers.begin(), lockers.end(), h.pid) != lockers.end();
  };
  if (std::any_of(holders.begin(), holders.end(), locked)) {
    holders.erase(std::remove_if(holders.begin(), holders.end(), [&](const PortHolder& h) { return !locked(h); }),
                  holders.end());
  }
  if (holders.empty()) {
    return reason + ": another program holds " + path +
           " ('sudo fuser -v " + path + "' names it).";
  }
  std::string names;
  bool modemManager = false;
  for (const PortHolder& holder : holders) {
    if (!names.empty()) names += ", ";
    names += holder.program + " (pid " + std::to_string(holder.pid) + ")";
    modemManager = modemManager || holder.program == "ModemManager";
  }
  std::string text = reason + ": " + path + " is held by " + names + ".";
  if (modemManager) {
    text += " Stop it with 'sudo systemctl stop ModemManager', or tell it to leave this device alone.";
  } else {
    text += " Close it, then open the port again.";
  }
  return text;
}

}  // namespace

namespace {

// The number N of a pseudo-terminal /dev/pts/N that |devicePath| leads to; empty for
// other devices.
std::string PtyIndex(const std::string& devicePath) {
  char real[PATH_MAX];
  if (realpath(devicePath.c_str(), real) == nullptr) return {};
  const std::string path(real);
  const std::string folder = "/dev/pts/";
  if (path.compare(0, folder.size(), folder) != 0 || !AllDigits(path.c_str() + folder.size())) return {};
  return path.substr(folder.size());
}

// True when the open file |fd| of the process in |processFolder| is the master of
// pseudo-terminal |index| (its fdinfo names the index).
bool HoldsPtyMaster(const std::string& processFolder, const std::string& fd, const std::string& index) {
  std::ifstream info(processFolder + "/fdinfo/" + fd);
  std::string line;
  while (std::getline(info, line)) {
    if (line.compare(0, 10, "tty-index:") != 0) continue;
    const size_t digits = line.find_first_not_of(" \t", 10);
    return digits != std::string::npos && line.substr(digits) == index;
  }
  return false;
}

}  // namespace

std::vector<PortHolder> FindPortHolders(const std::string& devicePath, const std::string& procRoot) {
  std::vector<PortHolder> holders;
  struct stat device {};
  if (stat(devicePath.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return holders;
  const std::string ptyIndex = PtyIndex(devicePath);
  const pid_t self = getpid();
  for (const std::string& pidText : Entries(procRoot)) {
    if (!AllDigits(pidText.c_str())) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(pidText));
    if (pid == self) continue;
    const std::string processFolder = procRoot + "/" + pidText;
    bool holds = false, master = false;
    for (const std::string& fd : Entries(processFolder + "/fd")) {
      if (!AllDigits(fd.c_str())) continue;
      struct stat open {};
      if (stat((processFolder + "/fd/" + fd).c_str(), &open) != 0 || !S_ISCHR(open.st_mode)) continue;
      holds = holds || open.st_rdev == device.st_rdev;
      master = master || (!ptyIndex.empty() && HoldsPtyMaster(processFolder, fd, ptyIndex));
    }
    if (holds) holders.push_back({pid, CommandName(processFolder), master});
  }
  std::sort(holders.begin(), holders.end(),
            [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
  return holders;
}

std::string ExplainOpenFailure(const std::string& deviceName, int error) {
  const std::string path = serial::DevicePathForName(deviceName);
  const std::string reason = std::strerror(error);
  switch (error) {
    case EACCES:
    case EPERM:
      return ExplainDenied(path, reason);
    case EBUSY:
      return ExplainBusy(path, reason);
    case ENOENT:
      return reason + ": there is no device " + path + " (is it plugged in?).";
    default:
      return reason + ": " + path + ".";
  }
}

}  // namespace orvane
