#include "platform/DeviceTable.h"

#include <dirent.h>
#include <libudev.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "platform/Registry.h"
#include "platform/TextConvert.h"

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

constexpr std::u16string_view kActive = u"Drivers\\Active";
constexpr std::u16string_view kConfigRoot = u"Drivers\\Orvane";
constexpr std::u16string_view kSource = u"OrvaneSource";
constexpr std::u16string_view kPid = u"OrvanePid";

std::u16string Widen(std::string_view s) { return Utf8ToUtf16(s); }

std::string ReadAttribute(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string& path) {
  char buf[PATH_MAX];
  return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string UdevValue(udev_device* dev, const char* key) {
  const char* v = dev ? udev_device_get_property_value(dev, key) : nullptr;
  return v ? std::string(v) : std::string();
}

// "Some\x20Model" as udev encodes it.
std::string UdevDecode(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
      out.push_back(static_cast<char>(std::strtol(s.substr(i + 2, 2).c_str(), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// The model name udev knows for the device, if any (empty without a udev database).
std::string UdevModel(udev* u, const std::string& syspath) {
  if (!u) return {};
  udev_device* dev = udev_device_new_from_syspath(u, syspath.c_str());
  if (!dev) return {};
  std::string model = UdevValue(dev, "ID_MODEL_FROM_DATABASE");
  if (model.empty()) model = UdevDecode(UdevValue(dev, "ID_MODEL_ENC"));
  if (model.empty()) {
    model = UdevValue(dev, "ID_MODEL");
    std::replace(model.begin(), model.end(), '_', ' ');
  }
  udev_device_unref(dev);
  return model;
}

// The USB parent's product (or manufacturer) name, walking up from the port's device.
std::string SysfsModel(const std::string& deviceDir, const std::string& stopAt) {
  std::string dir = RealPath(deviceDir);
  while (!dir.empty() && dir.size() > stopAt.size() && dir.compare(0, stopAt.size(), stopAt) == 0) {
    std::string product = ReadAttribute(dir + "/product");
    if (!product.empty()) return product;
    std::string manufacturer = ReadAttribute(dir + "/manufacturer");
    if (!manufacturer.empty()) return manufacturer;
    size_t slash = dir.find_last_of('/');
    if (slash == std::string::npos || slash == 0) break;
    dir.resize(slash);
  }
  return {};
}

// The USB interface a port belongs to: its number ("02") and the USB device above it,
// walking up from the port's device to the first folder with bInterfaceNumber. Nothing
// for a port that is not on USB.
void UsbInterface(const std::string& deviceDir, const std::string& stopAt, std::string* number,
                  std::string* usbDevice) {
  std::string dir = RealPath(deviceDir);
  while (!dir.empty() && dir.size() > stopAt.size() && dir.compare(0, stopAt.size(), stopAt) == 0) {
    if (Exists(dir + "/idVendor")) return;  // the USB device itself: no interface below it
    std::string found = ReadAttribute(dir + "/bInterfaceNumber");
    size_t slash = dir.find_last_of('/');
    if (!found.empty()) {
      *number = found;
      *usbDevice = slash == std::string::npos ? std::string() : dir.substr(0, slash);
      return;
    }
    if (slash == std::string::npos || slash == 0) return;
    dir.resize(slash);
  }
}

// The /dev/serial/by-id links, by the node each leads to.
std::map<std::string, std::string> ByIdLinks(const std::string& devRoot) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> links;
  const fs::path dir = fs::path(devRoot) / "serial" / "by-id";
  std::error_code ec;
  std::vector<fs::path> names;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) names.push_back(it->path());
  std::sort(names.begin(), names.end());
  for (const fs::path& link : names) {
    std::error_code linkError;
    const fs::path target = fs::read_symlink(link, linkError);
    if (linkError) continue;
    const fs::path node = (target.is_absolute() ? target : dir / target).lexically_normal();
    links.emplace(node.string(), link.string());  // the first link in name order wins
  }
  return links;
}

std::string KindName(const std::string& name) {
  if (name.rfind("ttyUSB", 0) == 0) return "USB Serial Port";
  if (name.rfind("ttyACM", 0) == 0) return "USB Modem";
  if (name.rfind("ttyS", 0) == 0) return "Serial Port";
  if (name.rfind("rfcomm", 0) == 0) return "Bluetooth Serial Port";
  return "Serial Device";
}

// One tty class entry: kept when a real driver stands behind it.
bool Describe(const DeviceTableOptions& options, const std::string& syspath, const std::string& name, udev* u,
              TtyDevice* out, std::string* usbDevice) {
  const std::string& sysfsRoot = options.sysfsRoot;
  std::string device = syspath + "/device";
  if (!Exists(device) || !Exists(device + "/driver")) return false;  // ptys, consoles, ptmx
  // An 8250 port with type 0 has no UART behind it.
  std::string type = ReadAttribute(syspath + "/type");
  if (!type.empty() && type == "0") return false;
  out->name = name;
  std::string devName;
  std::ifstream uevent(syspath + "/uevent");
  for (std::string line; std::getline(uevent, line);)
    if (line.rfind("DEVNAME=", 0) == 0) devName = line.substr(8);
  out->node = options.devRoot + "/" + (devName.empty() ? name : devName);
  out->driver = BaseName(RealPath(device + "/driver"));
  std::string model = UdevModel(u, syspath);
  if (model.empty()) model = SysfsModel(device, RealPath(sysfsRoot));
  if (model.empty()) model = KindName(name);
  out->friendlyName = model;  // the port's name is added once all ports are known
  UsbInterface(device, RealPath(sysfsRoot), &out->usbInterface, usbDevice);
  return true;
}

bool ProcessRunning(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

std::u16string SimulatorSubkey(const std::string& ptyPath) {
  // "/dev/pts/3" -> "sim-pts-3"
  std::string rest = ptyPath.rfind("/dev/", 0) == 0 ? ptyPath.substr(5) : ptyPath;
  std::replace(rest.begin(), rest.end(), '/', '-');
  std::replace(rest.begin(), rest.end(), '\\', '-');
  return Widen("sim-" + rest);
}

// Writes a string value only when it differs from what is stored.
bool SetIfChanged(Hive& hive, reg::Key key, std::u16string_view name, std::u16string_view text) {
  std::u16string stored;
  uint32_t type = 0;
  uint32_t size = 0;
  if (hive.QueryValue(key, name, &type, nullptr, &size) == kSuccess && type == reg::kTypeString &&
      hive.QueryString(key, name, &stored) == kSuccess && stored == text)
    return true;
  return hive.SetString(key, name, text) == kSuccess;
}

bool WriteEntry(Hive& hive, std::u16string_view subkey, const std::string& node, const std::string& friendly,
                std::u16string_view source) {
  std::u16string configPath = std::u16string(kConfigRoot) + u"\\" + std::u16string(subkey);
  ScopedKey entry(hive, kLocalMachine, std::u16string(kActive) + u"\\" + std::u16string(subkey));
  ScopedKey config(hive, kLocalMachine, configPath);
  return entry.ok() && config.ok() && SetIfChanged(hive, entry.get(), u"Name", Widen(node)) &&
         SetIfChanged(hive, entry.get(), u"Key", configPath) &&
         SetIfChanged(hive, entry.get(), kSource, source) &&
         SetIfChanged(hive, config.get(), u"FriendlyName", Widen(friendly));
}

void DeleteEntry(Hive& hive, std::u16string_view subkey) {
  ScopedKey active(hive, kLocalMachine, kActive);
  if (active.ok()) hive.DeleteKey(active.get(), subkey);
  ScopedKey config(hive, kLocalMachine, kConfigRoot);
  if (config.ok()) hive.DeleteKey(config.get(), subkey);
}

}  // namespace

std::vector<TtyDevice> ScanTtyDevices(const DeviceTableOptions& options) {
  std::vector<TtyDevice> devices;
  std::vector<std::pair<std::string, std::string>> entries;  // name, syspath
  bool realSys = options.sysfsRoot == "/sys";
  udev* u = realSys && options.useUdev ? udev_new() : nullptr;
  if (u) {
    udev_enumerate* e = udev_enumerate_new(u);
    if (e && udev_enumerate_add_match_subsystem(e, "tty") >= 0 && udev_enumerate_scan_devices(e) >= 0) {
      udev_list_entry* item;
      udev_list_entry_foreach(item, udev_enumerate_get_list_entry(e)) {
        std::string syspath = udev_list_entry_get_name(item);
        entries.emplace_back(BaseName(syspath), syspath);
      }
    }
    if (e) udev_enumerate_unref(e);
  }
  if (entries.empty()) {
    std::string classDir = options.sysfsRoot + "/class/tty";
    if (DIR* dir = ::opendir(classDir.c_str())) {
      while (dirent* d = ::readdir(dir)) {
        std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        entries.emplace_back(name, classDir + "/" + name);
      }
      ::closedir(dir);
    }
  }
  std::vector<std::string> usbDevices;  // per device: the USB device its port is on
  std::map<std::string, int> portsOnUsbDevice;
  for (const auto& [name, syspath] : entries) {
    TtyDevice device;
    std::string usbDevice;
    if (!Describe(options, syspath, name, u, &device, &usbDevice)) continue;
    devices.push_back(std::move(device));
    usbDevices.push_back(usbDevice);
    if (!usbDevice.empty()) ++portsOnUsbDevice[usbDevice];
  }
  if (u) udev_unref(u);
  const std::map<std::string, std::string> links = ByIdLinks(options.devRoot);
  for (size_t i = 0; i < devices.size(); ++i) {
    TtyDevice& d = devices[i];
    // Several ports of one product are told apart by their interface.
    if (!usbDevices[i].empty() && portsOnUsbDevice[usbDevices[i]] > 1 && !d.usbInterface.empty())
      d.friendlyName += " if" + d.usbInterface;
    d.friendlyName += " (" + d.name + ")";
    const auto link = links.find(std::filesystem::path(d.node).lexically_normal().string());
    if (link != links.end()) d.byId = link->second;
  }
  std::sort(devices.begin(), devices.end(), [](const TtyDevice& a, const TtyDevice& b) { return a.name < b.name; });
  return devices;
}

int RefreshDriverTable(Hive& hive, const DeviceTableOptions& options) {
  std::vector<TtyDevice> devices = ScanTtyDevices(options);
  Hive::Transaction tx(hive);
  if (!tx.Active()) return -1;
  std::vector<std::u16string> stale;
  {
    ScopedKey active(hive, kLocalMachine, kActive);
    if (!active.ok()) return -1;
    std::vector<std::u16string> names;
    if (hive.EnumKeys(active.get(), 0, UINT32_MAX, &names) != kSuccess) return -1;
    for (std::u16string& sub : names) {
      if (sub.size() >= 260) continue;  // not one of ours: ours have short names
      ScopedKey entry(hive, active.get(), sub, false);
      std::u16string source;
      if (!entry.ok() || hive.QueryString(entry.get(), kSource, &source) != kSuccess) continue;  // not ours
      if (source == u"device" && sub.rfind(u"dev-", 0) == 0 &&
          std::any_of(devices.begin(), devices.end(), [&](const TtyDevice& d) { return Widen("dev-" + d.name) == sub; }))
        continue;  // still there: brought up to date below
      if (source == u"simulator") {
        uint32_t pid = 0;
        std::u16string node;
        hive.QueryDword(entry.get(), kPid, &pid);
        hive.QueryString(entry.get(), u"Name", &node);
        std::string path(node.begin(), node.end());  // pty paths are ASCII
        if (ProcessRunning(static_cast<pid_t>(pid)) && Exists(path)) continue;
      }
      stale.push_back(std::move(sub));
    }
  }
  for (const auto& sub : stale) DeleteEntry(hive, sub);
  int written = 0;
  for (const auto& d : devices) {
    if (!WriteEntry(hive, Widen("dev-" + d.name), d.OpenName(), d.friendlyName, u"device")) return -1;
    ++written;
  }
  return tx.Commit() == kSuccess ? written : -1;
}

bool RegisterSimulatedDevice(Hive& hive, const std::string& ptyPath, pid_t pid) {
  std::string shortName = ptyPath.rfind("/dev/", 0) == 0 ? ptyPath.substr(5) : ptyPath;
  Hive::Transaction tx(hive);
  if (!tx.Active()) return false;
  std::u16string sub = SimulatorSubkey(ptyPath);
  DeleteEntry(hive, sub);  // a leftover of an earlier simulator on the same pty
  if (!WriteEntry(hive, sub, ptyPath, "Simulated Modem (" + shortName + ")", u"simulator")) return false;
  ScopedKey entry(hive, kLocalMachine, std::u16string(kActive) + u"\\" + sub);
  if (!entry.ok() || hive.SetDword(entry.get(), kPid, static_cast<uint32_t>(pid)) != kSuccess) return false;
  return tx.Commit() == kSuccess;
}

bool UnregisterSimulatedDevice(Hive& hive, const std::string& ptyPath) {
  std::u16string sub = SimulatorSubkey(ptyPath);
  Hive::Transaction tx(hive);
  if (!tx.Active()) return false;
  ScopedKey active(hive, kLocalMachine, kActive);
  if (!active.ok() || hive.DeleteKey(active.get(), sub) != kSuccess) return false;
  ScopedKey config(hive, kLocalMachine, kConfigRoot);
  if (config.ok()) hive.DeleteKey(config.get(), sub);
  return tx.Commit() == kSuccess;
}

}  // namespace orvane
