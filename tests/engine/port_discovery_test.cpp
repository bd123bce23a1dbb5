#include <gtest/gtest.h>

#include <string>

#include "engine/PortDiscovery.h"
#include "engine/RemotePorts.h"
#include "platform/Registry.h"

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

class PortDiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hive_ = Hive::OpenMemory();
    ASSERT_TRUE(hive_);
  }

  // Adds Drivers\Active\<sub> with the given values (an empty text means "leave out").
  void Driver(std::u16string sub, std::u16string name, std::u16string key = u"", std::u16string pnp = u"") {
    ScopedKey k(*hive_, kLocalMachine, u"Drivers\\Active\\" + sub);
    ASSERT_TRUE(k.ok());
    if (!name.empty()) {
      ASSERT_EQ(hive_->SetString(k.get(), u"Name", name), kSuccess);
    }
    if (!key.empty()) {
      ASSERT_EQ(hive_->SetString(k.get(), u"Key", key), kSuccess);
    }
    if (!pnp.empty()) {
      ASSERT_EQ(hive_->SetString(k.get(), u"PnpId", pnp), kSuccess);
    }
  }
  void Friendly(std::u16string key, std::u16string friendly) {
    ScopedKey k(*hive_, kLocalMachine, key);
    ASSERT_EQ(hive_->SetString(k.get(), u"FriendlyName", friendly), kSuccess);
  }
  int List(PortListing* out, int capacity) { return ListActivePorts(*hive_, out, capacity); }

  std::unique_ptr<Hive> hive_;
  PortListing ports_[100];
};

TEST_F(PortDiscoveryTest, EmptyTableGivesNothingAndLeavesTheArrayAlone) {
  ports_[0].displayName = u"keep";
  EXPECT_EQ(List(ports_, 100), 0);
  EXPECT_EQ(ports_[0].displayName, u"keep");
}

TEST_F(PortDiscoveryTest, EachKindOfDriverGivesItsEntryInTableOrder) {
  Driver(u"01", u"COM1:", u"Drivers\\BuiltIn\\Serial");
  Friendly(u"Drivers\\BuiltIn\\Serial", u"Serial Cable on COM1:");
  Driver(u"02", u"COM2:", u"Drivers\\BuiltIn\\IrDA");  // key without FriendlyName
  Driver(u"03", u"COM5:", u"Drivers\\BuiltIn\\Serial", u"PCMCIA\\Modem-1234");
  Driver(u"04", u"", u"Drivers\\BuiltIn\\Serial");  // no Name: offers nothing
  Driver(u"05", u"COM6:");                          // no Key, no PnpId: skipped
  Driver(u"06", u"COM7:", u"Drivers\\Nowhere");     // Key names a missing key
  ASSERT_EQ(List(ports_, 100), 4);
  EXPECT_EQ(ports_[0].displayName, u"Serial Cable on COM1:");
  EXPECT_EQ(ports_[0].deviceName, u"COM1:");
  EXPECT_EQ(ports_[1].displayName, u"COM2:");
  EXPECT_EQ(ports_[1].deviceName, u"COM2:");
  EXPECT_EQ(ports_[2].displayName, u"COM5:") << "plug-and-play shows its device name";
  EXPECT_EQ(ports_[2].deviceName, u"COM5:");
  EXPECT_EQ(ports_[3].displayName, u"COM7:");
  EXPECT_EQ(ports_[3].deviceName, u"COM7:");
  reg::Key made;
  EXPECT_EQ(hive_->OpenKey(kLocalMachine, u"Drivers\\Nowhere", &made), kSuccess)
      << "the missing key is opened with open-or-create";
}

TEST_F(PortDiscoveryTest, DriverNamedTooLongToListIsSkippedAndTheRestListed) {
  Driver(u"01", u"COM1:", u"", u"PnP");
  Driver(std::u16string(260, u'L'), u"COM2:", u"", u"PnP");  // only an outside edit makes this
  Driver(u"03", u"COM3:", u"", u"PnP");
  ASSERT_EQ(List(ports_, 100), 2);
  EXPECT_EQ(ports_[1].deviceName, u"COM3:");
}

TEST_F(PortDiscoveryTest, FillsAtMostTheCapacity) {
  for (int i = 0; i < 101; ++i) {
    std::string n = std::to_string(i);
    std::u16string s(n.begin(), n.end());
    Driver(u"D" + s, u"/dev/ttyS" + s, u"Cfg\\" + s);
  }
  ports_[99].displayName = u"before";
  ASSERT_EQ(List(ports_, 100), 100);
  EXPECT_EQ(ports_[0].deviceName, u"/dev/ttyS0");
  EXPECT_EQ(ports_[99].deviceName, u"/dev/ttyS99");
  PortListing three[3];
  EXPECT_EQ(List(three, 3), 3);
  EXPECT_EQ(List(three, 0), 0);
}

TEST_F(PortDiscoveryTest, ValuesLongerThan129CharactersCountAsAbsent) {
  std::u16string fits(129, u'n'), tooLong(130, u'n');
  Driver(u"A", fits, u"Cfg\\A");
  Driver(u"B", tooLong, u"Cfg\\B");
  Driver(u"C", u"/dev/ttyC", u"Cfg\\C");
  Friendly(u"Cfg\\C", std::u16string(130, u'f'));  // too long: the device name is shown
  ASSERT_EQ(List(ports_, 100), 2);
  EXPECT_EQ(ports_[0].deviceName, fits);
  EXPECT_EQ(ports_[1].displayName, u"/dev/ttyC");
}

TEST(RemotePortUrl, TheFormsOfARemotePort) {
  struct Case {
    std::u16string url;
    bool ok;
  } cases[] = {
      {u"rfc2217://lab-server:2001", true},      {u"tcp://127.0.0.1:4000", true},
      {u"rfc2217://[::1]:2001", true},           {u"tcp://host:65535", true},
      {u"rfc2217://host", false},                {u"rfc2217://:2001", false},
      {u"rfc2217://host:0", false},              {u"rfc2217://host:65536", false},
      {u"rfc2217://host:20x1", false},           {u"telnet://host:23", false},
      {u"/dev/ttyUSB0", false},                  {u"tcp://::1:2001", false},
      {u"tcp://[::1]2001", false},               {u"tcp://a b:1", false},
      {u"", false},
  };
  for (const auto& c : cases) {
    const std::string problem = CheckRemotePortUrl(c.url);
    EXPECT_EQ(problem.empty(), c.ok) << std::string(c.url.begin(), c.url.end()) << ": " << problem;
  }
}

TEST_F(PortDiscoveryTest, RemotePortsAreOfferedByNameAfterTheDevicesAndCanBeReplacedAndDeleted) {
  Driver(u"01", u"/dev/ttyS0", u"Cfg\\S0");
  std::string error;
  ASSERT_TRUE(SaveRemotePort(*hive_, {u"Lab EC25", u"rfc2217://lab:2001"}, &error)) << error;
  ASSERT_TRUE(SaveRemotePort(*hive_, {u"Bench", u"tcp://[::1]:4000"}, &error)) << error;
  ASSERT_TRUE(SaveRemotePort(*hive_, {u"Lab EC25", u"rfc2217://lab:2002"}, &error)) << "a new URL for the name";
  EXPECT_FALSE(SaveRemotePort(*hive_, {u"Bad", u"lab:2001"}, &error));
  EXPECT_NE(error.find("rfc2217://HOST:PORT"), std::string::npos) << error;
  EXPECT_FALSE(SaveRemotePort(*hive_, {u"a\\b", u"tcp://h:1"}, &error));
  EXPECT_FALSE(SaveRemotePort(*hive_, {u"", u"tcp://h:1"}, &error));
  // One written by hand without a URL offers nothing.
  { ScopedKey bare(*hive_, kLocalMachine, std::u16string(kRemotePortsKey) + u"\\Bare"); }

  ASSERT_EQ(ListModemPorts(*hive_, ports_, 100), 3);
  EXPECT_EQ(ports_[0].deviceName, u"/dev/ttyS0");
  EXPECT_EQ(ports_[1].displayName, u"Lab EC25");
  EXPECT_EQ(ports_[1].deviceName, u"rfc2217://lab:2002");
  EXPECT_EQ(ports_[2].displayName, u"Bench");
  EXPECT_EQ(ListModemPorts(*hive_, ports_, 2), 2) << "the capacity holds for both kinds";

  EXPECT_TRUE(DeleteRemotePort(*hive_, u"Lab EC25"));
  EXPECT_FALSE(DeleteRemotePort(*hive_, u"Lab EC25"));
  ASSERT_EQ(ListModemPorts(*hive_, ports_, 100), 2);
  EXPECT_EQ(ports_[1].displayName, u"Bench");
}

}  // namespace
}  // namespace orvane
