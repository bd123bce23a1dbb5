// The device table over a fake sysfs tree, so nothing depends on this machine's devices.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "engine/PortDiscovery.h"
#include "platform/DeviceMonitor.h"
#include "platform/DeviceTable.h"
#include "platform/Registry.h"
#include "platform/TextConvert.h"
#include "tests/platform/TempHive.h"
#include "tests/support/PtyPair.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

class FakeSysfs {
 public:
  explicit FakeSysfs(const std::string& root) : root_(root) { fs::create_directories(root_ + "/class/tty"); }
  const std::string& root() const { return root_; }

  void File(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(root_ + "/" + path).parent_path());
    std::ofstream(root_ + "/" + path) << text << "\n";
  }
  // A tty whose port device is |deviceDir| (relative to the root), bound to |driver|
  // (empty: no device link at all, like a virtual console).
  void Tty(const std::string& name, const std::string& deviceDir, const std::string& driver,
           const std::string& type = "") {
    std::string ttyDir = (deviceDir.empty() ? "devices/virtual/tty" : deviceDir + "/tty") + "/" + name;
    File(ttyDir + "/uevent", "MAJOR=188\nMINOR=0\nDEVNAME=" + name);
    if (!type.empty()) File(ttyDir + "/type", type);
    if (!deviceDir.empty()) {
      fs::create_symlink(root_ + "/" + deviceDir, root_ + "/" + ttyDir + "/device");
      if (!driver.empty()) {
        fs::create_directories(root_ + "/bus/drivers/" + driver);
        if (!fs::exists(root_ + "/" + deviceDir + "/driver"))
          fs::create_symlink(root_ + "/bus/drivers/" + driver, root_ + "/" + deviceDir + "/driver");
      }
    }
    fs::create_symlink(root_ + "/" + ttyDir, root_ + "/class/tty/" + name);
  }
  void Remove(const std::string& name) { fs::remove(root_ + "/class/tty/" + name); }

 private:
  std::string root_;
};

class DeviceTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys_ = std::make_unique<FakeSysfs>(dir_.File("sys"));
    sys_->File("devices/pci0/usb1/1-1/product", "FT232R USB UART");
    sys_->File("devices/pci0/usb1/1-1/manufacturer", "FTDI");
    sys_->Tty("ttyUSB0", "devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
    sys_->File("devices/pci0/usb1/1-2/manufacturer", "Acme Modems");
    sys_->Tty("ttyACM0", "devices/pci0/usb1/1-2/1-2:1.0", "cdc_acm");
    sys_->Tty("ttyS0", "devices/platform/serial8250/port0", "port", "4");
    sys_->Tty("ttyS1", "devices/platform/serial8250/port1", "port", "0");  // no UART
    sys_->Tty("ttyS2", "devices/platform/serial8250/port2", "");           // no driver bound
    sys_->Tty("tty1", "", "");                                              // virtual console
    sys_->Tty("ptmx", "", "");
    options_.sysfsRoot = sys_->root();
    hive_ = Hive::OpenMemory();
  }

  std::u16string Value(const std::u16string& key, std::u16string_view name) {
    ScopedKey k(*hive_, kLocalMachine, key, false);
    std::u16string text;
    if (!k.ok() || hive_->QueryString(k.get(), name, &text) != kSuccess) return u"<absent>";
    return text;
  }
  std::vector<PortListing> Ports() { return ListActivePorts(*hive_, 100); }

  testing::TempDir dir_;
  std::unique_ptr<FakeSysfs> sys_;
  DeviceTableOptions options_;
  std::unique_ptr<Hive> hive_;
};

TEST_F(DeviceTableTest, ScanKeepsRealPortsAndNamesThemFromTheUsbParent) {
  auto devices = ScanTtyDevices(options_);
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].name, "ttyACM0");
  EXPECT_EQ(devices[0].friendlyName, "Acme Modems (ttyACM0)");
  EXPECT_EQ(devices[0].driver, "cdc_acm");
  EXPECT_EQ(devices[1].name, "ttyS0");
  EXPECT_EQ(devices[1].friendlyName, "Serial Port (ttyS0)");
  EXPECT_EQ(devices[2].node, "/dev/ttyUSB0");
  EXPECT_EQ(devices[2].friendlyName, "FT232R USB UART (ttyUSB0)");
  EXPECT_EQ(devices[2].driver, "ftdi_sio");
}

TEST_F(DeviceTableTest, RefreshFillsTheTableDiscoveryReads) {
  ASSERT_EQ(RefreshDriverTable(*hive_, options_), 3);
  EXPECT_EQ(Value(u"Drivers\\Active\\dev-ttyUSB0", u"Name"), u"/dev/ttyUSB0");
  auto ports = Ports();
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[2].displayName, u"FT232R USB UART (ttyUSB0)");
  EXPECT_EQ(ports[2].deviceName, u"/dev/ttyUSB0");
  // A second refresh after a device went away rewrites the table without it.
  sys_->Remove("ttyUSB0");
  ASSERT_EQ(RefreshDriverTable(*hive_, options_), 2);
  EXPECT_EQ(Ports().size(), 2u);
  EXPECT_EQ(Value(u"Drivers\\Orvane\\dev-ttyUSB0", u"FriendlyName"), u"<absent>");
}

TEST_F(DeviceTableTest, RefreshKeepsLiveSimulatorsAndHandWrittenEntries) {
  {
    ScopedKey hand(*hive_, kLocalMachine, u"Drivers\\Active\\Mine");
    ASSERT_EQ(hive_->SetString(hand.get(), u"Name", u"/dev/ttyMine"), kSuccess);
    ASSERT_EQ(hive_->SetString(hand.get(), u"PnpId", u"x"), kSuccess);
  }
  std::string livePty = dir_.File("pty-live");  // stands for a pty node that exists
  std::ofstream(livePty) << "";
  ASSERT_TRUE(RegisterSimulatedDevice(*hive_, livePty, ::getpid()));
  // A simulator that died without cleaning up: its process is gone.
  pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  ASSERT_TRUE(RegisterSimulatedDevice(*hive_, "/dev/pts/9999", dead));
  std::string deadPty = dir_.File("pty-dead");
  ASSERT_TRUE(RegisterSimulatedDevice(*hive_, deadPty, ::getpid()));  // pty no longer there

  ASSERT_EQ(RefreshDriverTable(*hive_, options_), 3);
  std::vector<std::u16string> names;
  for (const auto& p : Ports()) names.push_back(p.deviceName);
  auto has = [&](const std::string& n) { return std::count(names.begin(), names.end(), std::u16string(n.begin(), n.end())); };
  EXPECT_EQ(names.size(), 5u);
  EXPECT_EQ(has("/dev/ttyMine"), 1);
  EXPECT_EQ(has(livePty), 1);
  EXPECT_EQ(has("/dev/pts/9999"), 0);
  EXPECT_EQ(has(deadPty), 0);
}

TEST_F(DeviceTableTest, SimulatorRegistersAsSimulatedModemAndUnregisters) {
  const testing::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  const std::string& pts = pty.path();
  ASSERT_TRUE(RegisterSimulatedDevice(*hive_, pts, ::getpid()));
  auto ports = Ports();
  ASSERT_EQ(ports.size(), 1u);
  std::string shortName = pts.substr(5);  // "pts/N"
  EXPECT_EQ(ports[0].displayName, u"Simulated Modem (" + std::u16string(shortName.begin(), shortName.end()) + u")");
  EXPECT_EQ(ports[0].deviceName, std::u16string(pts.begin(), pts.end()));
  ASSERT_EQ(RefreshDriverTable(*hive_, options_), 3);
  EXPECT_EQ(Ports().size(), 4u) << "a running simulator survives the refresh";
  EXPECT_TRUE(UnregisterSimulatedDevice(*hive_, pts));
  EXPECT_FALSE(UnregisterSimulatedDevice(*hive_, pts));
  EXPECT_EQ(Ports().size(), 3u);
}

// A cellular module with four ports on one USB device, and by-id links as udev makes them.
TEST_F(DeviceTableTest, PortsOfOneProductCarryTheirInterfaceAndOpenByTheirByIdLink) {
  sys_->File("devices/pci0/usb1/1-1/idVendor", "0403");
  sys_->File("devices/pci0/usb1/1-1/1-1:1.0/bInterfaceNumber", "00");
  sys_->File("devices/pci0/usb1/1-3/idVendor", "2c7c");
  sys_->File("devices/pci0/usb1/1-3/product", "EC25");
  for (int i = 0; i < 4; ++i) {
    const std::string iface = "devices/pci0/usb1/1-3/1-3:1." + std::to_string(i);
    sys_->File(iface + "/bInterfaceNumber", "0" + std::to_string(i));
    sys_->Tty("ttyUSB" + std::to_string(i + 1), iface + "/ttyUSB" + std::to_string(i + 1), "option");
  }
  const std::string dev = dir_.File("dev");
  fs::create_directories(dev + "/serial/by-id");
  fs::create_symlink("../../ttyUSB0", dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0");
  fs::create_symlink("../../ttyUSB3", dev + "/serial/by-id/usb-Quectel_EC25-if02-port0");
  options_.devRoot = dev;

  ASSERT_EQ(RefreshDriverTable(*hive_, options_), 7);
  std::map<std::u16string, std::u16string> offered;  // display name -> device name
  for (const auto& p : Ports()) offered[p.displayName] = p.deviceName;
  const std::map<std::u16string, std::u16string> expected = {
      {u"Acme Modems (ttyACM0)", Utf8ToUtf16(dev + "/ttyACM0")},
      {u"Serial Port (ttyS0)", Utf8ToUtf16(dev + "/ttyS0")},
      {u"FT232R USB UART (ttyUSB0)", Utf8ToUtf16(dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0")},
      {u"EC25 if00 (ttyUSB1)", Utf8ToUtf16(dev + "/ttyUSB1")},
      {u"EC25 if01 (ttyUSB2)", Utf8ToUtf16(dev + "/ttyUSB2")},
      {u"EC25 if02 (ttyUSB3)", Utf8ToUtf16(dev + "/serial/by-id/usb-Quectel_EC25-if02-port0")},
      {u"EC25 if03 (ttyUSB4)", Utf8ToUtf16(dev + "/ttyUSB4")},
  };
  EXPECT_EQ(offered, expected);
}

// The monitor's notices are queued by the write itself, so they can be looked for at once.
TEST_F(DeviceTableTest, ARefreshThatFindsNothingNewLeavesTheHiveAlone) {
  const std::string dev = dir_.File("dev");
  fs::create_directories(dev);
  const std::string hivePath = dir_.File("handheld.hive");
  auto hive = Hive::OpenFile(hivePath);
  ASSERT_TRUE(hive);
  DeviceMonitorOptions watch;
  watch.useUdev = false;
  watch.devRoot = dev;
  watch.watchPtys = false;
  watch.files = {hivePath};
  auto monitor = DeviceMonitor::Open(watch);
  ASSERT_TRUE(monitor);
  options_.devRoot = dev;

  ASSERT_EQ(RefreshDriverTable(*hive, options_), 3);
  EXPECT_TRUE(monitor->TakeChanges()) << "the first refresh writes the table";
  ASSERT_EQ(RefreshDriverTable(*hive, options_), 3);
  EXPECT_FALSE(monitor->TakeChanges()) << "nothing changed: nothing written";
  sys_->Remove("ttyS0");
  ASSERT_EQ(RefreshDriverTable(*hive, options_), 2);
  EXPECT_TRUE(monitor->TakeChanges());
  // A node coming and going in the device folder is noticed too.
  std::ofstream(dev + "/ttyUSB9") << "";
  EXPECT_TRUE(monitor->TakeChanges());
  EXPECT_FALSE(monitor->TakeChanges());
  fs::remove(dev + "/ttyUSB9");
  EXPECT_TRUE(monitor->TakeChanges());
}

TEST(DeviceTableMachine, ScanOfThisMachineOffersOnlyDeviceNodes) {
  const auto devices = ScanTtyDevices();
  if (devices.empty()) GTEST_SKIP() << "this machine has no serial device to check";
  for (const auto& d : devices) {
    EXPECT_EQ(d.node.rfind("/dev/", 0), 0u) << d.node;
    EXPECT_NE(d.name, "ptmx");
    EXPECT_FALSE(d.friendlyName.empty());
  }
}

}  // namespace
}  // namespace orvane
