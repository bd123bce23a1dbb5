#include "engine/LineSettingsStore.h"

#include <cstdint>
#include <utility>

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

constexpr size_t kMaxKeyName = 255;

// One stored field: its value name and the range it may hold.
struct Field {
  std::u16string_view name;
  uint32_t low;
  uint32_t high;
};
constexpr Field kDataBits{u"DataBits", 5, 8};
constexpr Field kParity{u"Parity", 0, 4};
constexpr Field kStopBits{u"StopBits", 1, 2};
constexpr Field kFlow{u"FlowControl", 0, 2};
constexpr Field kDtr{u"Dtr", 0, 1};
constexpr Field kRts{u"Rts", 0, 1};

// The field's value when it is a 32-bit number in range; |fallback| otherwise.
uint32_t Read(Hive& hive, reg::Key key, const Field& field, uint32_t fallback) {
  uint32_t size = 0;
  uint32_t value = 0;
  if (hive.QueryValue(key, field.name, nullptr, nullptr, &size) != kSuccess || size != sizeof value ||
      hive.QueryDword(key, field.name, &value) != kSuccess) {
    return fallback;
  }
  return value >= field.low && value <= field.high ? value : fallback;
}

}  // namespace

std::u16string LineSettingsKeyName(std::u16string_view port) {
  std::u16string name;
  for (char16_t c : port) {
    if (c == u'%') name += u"%25";
    else if (c == u'\\') name += u"%5C";
    else name += c;
  }
  return name.size() <= kMaxKeyName ? name : std::u16string();
}

LineSettings LoadLineSettings(Hive& hive, std::u16string_view port) {
  LineSettings settings;
  const std::u16string name = LineSettingsKeyName(port);
  if (name.empty()) return settings;
  Hive::Transaction reading(hive, Hive::Transaction::For::kReading);
  ScopedKey key(hive, kLocalMachine, std::u16string(kLineSettingsKey) + u"\\" + name, false);
  if (!key.ok()) return settings;
  settings.dataBits = static_cast<uint8_t>(Read(hive, key.get(), kDataBits, settings.dataBits));
  settings.parity = static_cast<Parity>(Read(hive, key.get(), kParity, static_cast<uint32_t>(settings.parity)));
  settings.stopBits = static_cast<uint8_t>(Read(hive, key.get(), kStopBits, settings.stopBits));
  settings.flow = static_cast<FlowControl>(Read(hive, key.get(), kFlow, static_cast<uint32_t>(settings.flow)));
  settings.dtr = Read(hive, key.get(), kDtr, settings.dtr) != 0;
  settings.rts = Read(hive, key.get(), kRts, settings.rts) != 0;
  return settings;
}

bool SaveLineSettings(Hive& hive, std::u16string_view port, const LineSettings& settings) {
  const std::u16string name = LineSettingsKeyName(port);
  if (name.empty() || !settings.Valid()) return false;
  Hive::Transaction tx(hive);
  ScopedKey key(hive, kLocalMachine, std::u16string(kLineSettingsKey) + u"\\" + name);
  if (!tx.Active() || !key.ok()) return false;
  const std::pair<const Field*, uint32_t> values[] = {
      {&kDataBits, settings.dataBits},
      {&kParity, static_cast<uint32_t>(settings.parity)},
      {&kStopBits, settings.stopBits},
      {&kFlow, static_cast<uint32_t>(settings.flow)},
      {&kDtr, settings.dtr ? 1u : 0u},
      {&kRts, settings.rts ? 1u : 0u},
  };
  for (const auto& [field, value] : values)
    if (hive.SetDword(key.get(), field->name, value) != kSuccess) return false;
  return tx.Commit() == kSuccess;
}

}  // namespace orvane
