#include <gtest/gtest.h>

#include <string>

#include "engine/LineSettingsStore.h"
#include "platform/Registry.h"

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

TEST(LineSettingsStore, EachPortKeepsItsOwnSettings) {
  auto hive = Hive::OpenMemory();
  const LineSettings a{7, Parity::kMark, 2, FlowControl::kRtsCts, false, true};
  const LineSettings b{5, Parity::kSpace, 1, FlowControl::kXonXoff, true, false};
  const std::u16string ports[] = {u"/dev/ttyUSB0", u"rfc2217://[::1]:7000", u"odd\\name%5C"};
  EXPECT_EQ(LoadLineSettings(*hive, ports[0]), LineSettings{});
  ASSERT_TRUE(SaveLineSettings(*hive, ports[0], a));
  ASSERT_TRUE(SaveLineSettings(*hive, ports[1], b));
  ASSERT_TRUE(SaveLineSettings(*hive, ports[2], b));
  ASSERT_TRUE(SaveLineSettings(*hive, ports[2], a));  // saved again: replaced
  EXPECT_EQ(LoadLineSettings(*hive, ports[0]), a);
  EXPECT_EQ(LoadLineSettings(*hive, ports[1]), b);
  EXPECT_EQ(LoadLineSettings(*hive, ports[2]), a);
  // A backslash is no key separator, and the escapes do not collide with a name that
  // holds them already.
  EXPECT_EQ(LoadLineSettings(*hive, u"odd"), LineSettings{});
  EXPECT_EQ(LoadLineSettings(*hive, u"odd%5Cname%5C"), LineSettings{});
  ScopedKey key(*hive, kLocalMachine, std::u16string(kLineSettingsKey) + u"\\odd%5Cname%255C", false);
  EXPECT_TRUE(key.ok());

  // Refused: settings out of range, a name no key can hold, a hive that cannot be written.
  EXPECT_FALSE(SaveLineSettings(*hive, u"/dev/ttyS0", LineSettings{9}));
  EXPECT_FALSE(SaveLineSettings(*hive, u"", a));
  EXPECT_FALSE(SaveLineSettings(*hive, std::u16string(300, u'x'), a));
  EXPECT_FALSE(SaveLineSettings(*Hive::OpenNone(), ports[0], a));
  EXPECT_EQ(LoadLineSettings(*Hive::OpenNone(), ports[0]), LineSettings{});
}

TEST(LineSettingsStore, ADamagedValueLeavesItsFieldAtTheDefault) {
  const LineSettings saved{7, Parity::kOdd, 2, FlowControl::kXonXoff, false, false};
  const struct {
    const char16_t* name;
    uint32_t type;
    std::string bytes;
    LineSettings expected;
  } cases[] = {
      {u"DataBits", reg::kTypeDword, std::string("\x09\0\0\0", 4), {8, Parity::kOdd, 2, FlowControl::kXonXoff, false, false}},
      {u"Parity", reg::kTypeDword, std::string("\x05\0\0\0", 4), {7, Parity::kNone, 2, FlowControl::kXonXoff, false, false}},
      {u"StopBits", reg::kTypeDword, std::string("\0\0\0\0", 4), {7, Parity::kOdd, 1, FlowControl::kXonXoff, false, false}},
      {u"FlowControl", reg::kTypeString, std::string("x\0\0\0", 4), {7, Parity::kOdd, 2, FlowControl::kNone, false, false}},
      {u"Dtr", reg::kTypeDword, std::string("\0\0", 2), {7, Parity::kOdd, 2, FlowControl::kXonXoff, true, false}},
      {u"Rts", reg::kTypeBinary, std::string(8, '\0'), {7, Parity::kOdd, 2, FlowControl::kXonXoff, false, true}},
  };
  for (const auto& c : cases) {
    auto hive = Hive::OpenMemory();
    ASSERT_TRUE(SaveLineSettings(*hive, u"COM1:", saved));
    ScopedKey key(*hive, kLocalMachine, std::u16string(kLineSettingsKey) + u"\\COM1:");
    ASSERT_EQ(hive->SetValue(key.get(), c.name, c.type, reinterpret_cast<const uint8_t*>(c.bytes.data()),
                             static_cast<uint32_t>(c.bytes.size())),
              kSuccess);
    EXPECT_EQ(LoadLineSettings(*hive, u"COM1:"), c.expected) << DescribeLineSettings(c.expected);
  }
}

}  // namespace
}  // namespace orvane
