#include "platform/DeviceMonitor.h"

#include <libudev.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace orvane {

namespace {

// Entries coming and going. Writes to device nodes are not watched: every write to a
// terminal would count.
constexpr uint32_t kEntryEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;
// A watched file's own writes too.
constexpr uint32_t kFileEvents = kEntryEvents | IN_MODIFY | IN_CLOSE_WRITE;

std::string Folder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Base(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool UdevRunning() { return ::access("/run/udev/control", F_OK) == 0; }

std::unique_ptr<DeviceMonitor> DeviceMonitor::Open(const DeviceMonitorOptions& options, std::string* error) {
  std::unique_ptr<DeviceMonitor> m(new DeviceMonitor);
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    return nullptr;
  };
  m->epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (m->epoll_ < 0) return fail("epoll");
  m->inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m->inotify_ < 0) return fail("inotify");
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = m->inotify_;
  if (::epoll_ctl(m->epoll_, EPOLL_CTL_ADD, m->inotify_, &ev) != 0) return fail("epoll");

  if (options.useUdev && UdevRunning()) {
    m->udev_ = udev_new();
    udev_monitor* mon = m->udev_ ? udev_monitor_new_from_netlink(m->udev_, "udev") : nullptr;
    if (mon && udev_monitor_filter_add_match_subsystem_devtype(mon, "tty", nullptr) >= 0 &&
        udev_monitor_enable_receiving(mon) >= 0) {
      ev.data.fd = udev_monitor_get_fd(mon);
      if (::epoll_ctl(m->epoll_, EPOLL_CTL_ADD, ev.data.fd, &ev) == 0) m->udevMonitor_ = mon;
    }
    if (!m->udevMonitor_ && mon) udev_monitor_unref(mon);
  }
  bool any = m->udevMonitor_ != nullptr;
  if (!m->udevMonitor_) any |= m->AddWatch(options.devRoot, "", true);
  if (options.watchPtys) any |= m->AddWatch(options.devRoot + "/pts", "", true);
  for (const std::string& folder : options.folders) any |= m->AddWatch(folder, "", true);
  for (const std::string& file : options.files) {
    // A file kept behind a link is written (with its journal) where the link leads.
    char real[PATH_MAX];
    const std::string path = ::realpath(file.c_str(), real) ? std::string(real) : file;
    any |= m->AddWatch(Folder(path), Base(path), false);
  }
  if (!any) {
    if (error) *error = "nothing to watch";
    return nullptr;
  }
  return m;
}

DeviceMonitor::~DeviceMonitor() {
  if (udevMonitor_) udev_monitor_unref(udevMonitor_);
  if (udev_) udev_unref(udev_);
  if (inotify_ >= 0) ::close(inotify_);
  if (epoll_ >= 0) ::close(epoll_);
}

bool DeviceMonitor::AddWatch(const std::string& folder, const std::string& namePrefix, bool contents) {
  // The same folder watched twice keeps one watch descriptor with both masks.
  const int wd = ::inotify_add_watch(inotify_, folder.c_str(), (contents ? kEntryEvents : kFileEvents) | IN_MASK_ADD);
  if (wd < 0) return false;
  watches_.push_back({wd, namePrefix});
  return true;
}

bool DeviceMonitor::TakeChanges() {
  bool changed = false;
  if (udevMonitor_) {
    while (udev_device* d = udev_monitor_receive_device(udevMonitor_)) {
      udev_device_unref(d);
      changed = true;
    }
  }
  alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
  for (;;) {
    const ssize_t n = ::read(inotify_, buffer, sizeof buffer);
    if (n <= 0) break;
    for (const char* p = buffer; p < buffer + n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(p);
      p += sizeof(inotify_event) + e->len;
      if (e->mask & IN_Q_OVERFLOW) {
        changed = true;  // notices were lost: anything may have changed
        continue;
      }
      const std::string name = e->len ? std::string(e->name) : std::string();
      for (const Watch& w : watches_) {
        if (w.wd != e->wd) continue;
        if (w.prefix.empty() ? !(e->mask & (IN_MODIFY | IN_CLOSE_WRITE)) : name.rfind(w.prefix, 0) == 0) {
          changed = true;
          break;
        }
      }
    }
  }
  return changed;
}

}  // namespace orvane
