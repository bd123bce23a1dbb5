#include <gtest/gtest.h>

#include <string>

#include "engine/PortDiscovery.h"
#include "engine/RemotePorts.h"
#include "platform/Registry.h"
#include "tests/platform/FaultyHive.h"

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

class PortDiscoveryTest : public ::testing::Test {
 protected:
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
  std::vector<PortListing> List(size_t capacity) { return ListActivePorts(*hive_, capacity); }

  // Counts what the listing reads.
  std::unique_ptr<testing::FaultyHive> hive_ = std::make_unique<testing::FaultyHive>(Hive::OpenMemory());
  std::vector<PortListing> ports_;
};

TEST_F(PortDiscoveryTest, EmptyTableGivesNothing) { EXPECT_TRUE(List(100).empty()); }

TEST_F(PortDiscoveryTest, EachKindOfDriverGivesItsEntryInTableOrder) {
  Driver(u"01", u"COM1:", u"Drivers\\BuiltIn\\Serial");
  Friendly(u"Drivers\\BuiltIn\\Serial", u"Serial Cable on COM1:");
  Driver(u"02", u"COM2:", u"Drivers\\BuiltIn\\IrDA");  // key without FriendlyName
  Driver(u"03", u"COM5:", u"Drivers\\BuiltIn\\Serial", u"PCMCIA\\Modem-1234");
  Driver(u"04", u"", u"Drivers\\BuiltIn\\Serial");  // no Name: offers nothing
  Driver(u"05", u"COM6:");                          // no Key, no PnpId: skipped
  Driver(u"06", u"COM7:", u"Drivers\\Nowhere");     // Key names a missing key
  ports_ = List(100);
  ASSERT_EQ(ports_.size(), 4u);
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
  ports_ = List(100);
  ASSERT_EQ(ports_.size(), 2u);
  EXPECT_EQ(ports_[1].deviceName, u"COM3:");
}

TEST_F(PortDiscoveryTest, FillsAtMostTheCapacityAndReadsNoFurther) {
  for (int i = 0; i < 1000; ++i) {
    std::string n = std::to_string(i);
    std::u16string s(n.begin(), n.end());
    Driver(u"D" + s, u"/dev/ttyS" + s, u"Cfg\\" + s);
  }
  ports_ = List(100);
  ASSERT_EQ(ports_.size(), 100u);
  EXPECT_EQ(ports_[0].deviceName, u"/dev/ttyS0");
  EXPECT_EQ(ports_[99].deviceName, u"/dev/ttyS99");
  EXPECT_EQ(List(3).size(), 3u);
  const int opened = hive_->keysOpened();
  const size_t read = hive_->namesRead();
  EXPECT_TRUE(List(0).empty());
  ASSERT_EQ(List(3).size(), 3u);
  EXPECT_LT(hive_->keysOpened() - opened, 20) << "keys of drivers past the third were opened";
  EXPECT_LT(hive_->namesRead() - read, 100u) << "names past the third were read";
}

TEST_F(PortDiscoveryTest, ValuesLongerThan129CharactersCountAsAbsent) {
  std::u16string fits(129, u'n'), tooLong(130, u'n');
  Driver(u"A", fits, u"Cfg\\A");
  Driver(u"B", tooLong, u"Cfg\\B");
  Driver(u"C", u"/dev/ttyC", u"Cfg\\C");
  Friendly(u"Cfg\\C", std::u16string(130, u'f'));  // too long: the device name is shown
  ports_ = List(100);
  ASSERT_EQ(ports_.size(), 2u);
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

  ports_ = ListModemPorts(*hive_, 100);
  ASSERT_EQ(ports_.size(), 3u);
  EXPECT_EQ(ports_[0].deviceName, u"/dev/ttyS0");
  EXPECT_EQ(ports_[1].displayName, u"Lab EC25");
  EXPECT_EQ(ports_[1].deviceName, u"rfc2217://lab:2002");
  EXPECT_EQ(ports_[2].displayName, u"Bench");
  EXPECT_EQ(ListModemPorts(*hive_, 2).size(), 2u) << "the capacity holds for both kinds";

  EXPECT_TRUE(DeleteRemotePort(*hive_, u"Lab EC25"));
  EXPECT_FALSE(DeleteRemotePort(*hive_, u"Lab EC25"));
  ports_ = ListModemPorts(*hive_, 100);
  ASSERT_EQ(ports_.size(), 2u);
  EXPECT_EQ(ports_[1].displayName, u"Bench");
}

TEST_F(PortDiscoveryTest, ModemListReadsOnlyTheRemotePortsItShows) {
  Driver(u"01", u"/dev/ttyS0", u"", u"PnP");
  std::string error;
  for (int i = 0; i < 1000; ++i) {
    const std::string n = "Port " + std::to_string(i);
    ASSERT_TRUE(SaveRemotePort(hive_->inner(), {std::u16string(n.begin(), n.end()), u"tcp://127.0.0.1:4000"}, &error));
  }
  EXPECT_EQ(LoadRemotePorts(*hive_).size(), 1000u);
  const int opened = hive_->keysOpened();
  const size_t read = hive_->namesRead();
  ports_ = ListModemPorts(*hive_, 100);
  ASSERT_EQ(ports_.size(), 100u);
  EXPECT_EQ(ports_[99].displayName, u"Port 98");
  EXPECT_LT(hive_->keysOpened() - opened, 200) << "remote ports past the list's end were opened";
  EXPECT_LT(hive_->namesRead() - read, 500u) << "remote port names past the list's end were read";
}

}  // namespace
}  // namespace orvane
