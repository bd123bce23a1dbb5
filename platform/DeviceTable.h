// The driver table Drivers\Active in a hive, filled from the machine's tty devices.
//
// Each device that has a real driver behind it (not a pty, not a virtual console, not an
// 8250 port with no UART) gets a subkey "dev-<name>" holding Name = its node ("/dev/ttyUSB0")
// and Key = "Drivers\Orvane\dev-<name>", a key whose FriendlyName a person recognises
// ("FT232R USB UART (ttyUSB0)"). Names come from udev when it knows the device, else from
// the sysfs attributes of the USB parent (product, manufacturer), else from the kind of port.
// When one USB device has several tty ports (a cellular module: diagnostics, GNSS, AT,
// data), each name carries its USB interface number: "EC25 if02 (ttyUSB2)".
//
// A device with a link in /dev/serial/by-id has that link as its Name, so a remembered port
// follows the device whichever node it gets; its friendly name stays the node's.
//
// Ownership of entries: every entry this code writes carries a value OrvaneSource,
// "device" or "simulator". A refresh rewrites the "device" entries from the current scan,
// keeps the "simulator" entries whose process is still running and whose pty still exists
// (drops the others: a simulator killed without cleaning up), and never touches entries
// without OrvaneSource (written by hand, e.g. with orvane-reg).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace orvane {

namespace reg {
class Hive;
}

struct TtyDevice {
  std::string name;          // kernel name, "ttyUSB0"
  std::string node;          // "/dev/ttyUSB0"
  std::string byId;          // its /dev/serial/by-id link, or empty
  std::string usbInterface;  // "02": the USB interface the port belongs to, or empty
  std::string driver;        // driver bound to the port's device, "ftdi_sio"
  std::string friendlyName;  // "FT232R USB UART (ttyUSB0)"

  // The name the line opens: the by-id link where there is one, else the node.
  const std::string& OpenName() const { return byId.empty() ? node : byId; }
};

struct DeviceTableOptions {
  std::string sysfsRoot = "/sys";  // tests point this at a fake tree
  std::string devRoot = "/dev";    // the nodes, and serial/by-id below it
  bool useUdev = true;             // ask udev too (only ever with the real /sys)
};

// The tty devices with a real driver, sorted by name.
std::vector<TtyDevice> ScanTtyDevices(const DeviceTableOptions& options = {});

// Brings the device entries of Drivers\Active in |hive| up to date in one transaction (see
// above). Only what differs is written: a refresh that finds nothing changed leaves the
// hive untouched. Returns the number of device entries, or -1 when the hive could not be
// written.
int RefreshDriverTable(reg::Hive& hive, const DeviceTableOptions& options = {});

// A simulated device (the modem simulator's pty) while its process |pid| runs.
// FriendlyName "Simulated Modem (pts/N)".
bool RegisterSimulatedDevice(reg::Hive& hive, const std::string& ptyPath, pid_t pid);
bool UnregisterSimulatedDevice(reg::Hive& hive, const std::string& ptyPath);

}  // namespace orvane
