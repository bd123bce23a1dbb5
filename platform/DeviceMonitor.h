// Tells when the serial devices on offer may have changed: a tty plugged or unplugged, a
// pseudo-terminal made or gone, a watched file written (the hive, where the simulator and
// orvane-reg list devices and remote ports). No Qt and no threads: the caller waits on
// Descriptor() in its own loop (a socket notifier, poll()) and calls TakeChanges() when
// it is readable. Nothing wakes the caller while nothing changes.
//
// Where udev runs, plugging is followed by a udev monitor of the tty subsystem (its events
// come once the device's node and links are made); elsewhere (a container) by an inotify
// watch on the device folder.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct udev;
struct udev_monitor;

namespace orvane {

struct DeviceMonitorOptions {
  bool useUdev = true;            // a udev monitor where udev runs
  std::string devRoot = "/dev";   // watched for nodes coming and going when udev does not run
  bool watchPtys = true;          // devRoot/pts too: the simulator's pseudo-terminals
  std::vector<std::string> files;    // files whose changes count (their folder is watched)
  std::vector<std::string> folders;  // folders whose entries coming and going count
};

class DeviceMonitor {
 public:
  // Null with the system's reason in |error| when nothing at all can be watched. A folder
  // or file that cannot be watched (not there) is left out.
  static std::unique_ptr<DeviceMonitor> Open(const DeviceMonitorOptions& options, std::string* error = nullptr);
  ~DeviceMonitor();
  DeviceMonitor(const DeviceMonitor&) = delete;
  DeviceMonitor& operator=(const DeviceMonitor&) = delete;

  // Readable while notices are waiting.
  int Descriptor() const { return epoll_; }
  // Reads every waiting notice without blocking; true when one concerns what is watched.
  bool TakeChanges();
  // True when plugging is followed through udev.
  bool UsesUdev() const { return udevMonitor_ != nullptr; }

 private:
  DeviceMonitor() = default;
  // One inotify watch: notices on entries whose name starts with |prefix| count (every
  // entry coming or going when it is empty).
  struct Watch {
    int wd;
    std::string prefix;
  };
  bool AddWatch(const std::string& folder, const std::string& namePrefix, bool contents);

  int epoll_ = -1;
  int inotify_ = -1;
  ::udev* udev_ = nullptr;
  ::udev_monitor* udevMonitor_ = nullptr;
  std::vector<Watch> watches_;
};

// True when a udev daemon runs on this machine.
bool UdevRunning();

}  // namespace orvane
