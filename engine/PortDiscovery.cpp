#include "engine/PortDiscovery.h"

#include <cstring>

#include "platform/Registry.h"

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;

constexpr uint32_t kNameRoom = 260;   // characters, for subkey names
constexpr uint32_t kValueRoom = 260;  // bytes, for values: 129 characters and the terminator

// Reads a value as text with room for 260 bytes; a value that does not fit counts as absent.
bool ReadText(Hive& hive, reg::Key key, std::u16string_view name, std::u16string* out) {
  char16_t buffer[kValueRoom / 2 + 1] = {};
  uint32_t size = kValueRoom;
  if (hive.QueryValue(key, name, nullptr, reinterpret_cast<uint8_t*>(buffer), &size) != kSuccess) return false;
  size_t chars = size / 2;
  size_t end = 0;
  while (end < chars && buffer[end] != u'\0') ++end;
  out->assign(buffer, end);
  return true;
}

// Opens |path| below the root with open-or-create, as every key is opened.
class Open {
 public:
  Open(Hive& hive, reg::Key parent, std::u16string_view path) : hive_(hive) {
    ok_ = hive_.CreateKey(parent, path, &key_) == kSuccess;
  }
  ~Open() {
    if (ok_) hive_.CloseKey(key_);
  }
  bool ok() const { return ok_; }
  reg::Key get() const { return key_; }

 private:
  Hive& hive_;
  reg::Key key_ = reg::kNoKey;
  bool ok_ = false;
};

}  // namespace

std::vector<PortListing> ListActivePorts(Hive& hive, size_t capacity) {
  std::vector<PortListing> listings;
  Open active(hive, kLocalMachine, u"Drivers\\Active");
  if (!active.ok() || capacity == 0) return listings;
  hive.ForEachSubkey(active.get(), [&](std::u16string_view subKey) {
    // A name too long for the room it is read into is skipped, and the walk goes on.
    if (subKey.size() + 1 > kNameRoom) return true;
    Open driver(hive, active.get(), subKey);
    if (!driver.ok()) return true;
    std::u16string name;
    if (!ReadText(hive, driver.get(), u"Name", &name)) return true;
    std::u16string display = name;
    std::u16string pnpId;
    // A plug-and-play device has no friendly name here: it shows its device name.
    if (!ReadText(hive, driver.get(), u"PnpId", &pnpId)) {
      std::u16string configPath, friendly;
      if (!ReadText(hive, driver.get(), u"Key", &configPath)) return true;
      Open config(hive, kLocalMachine, configPath);
      if (!config.ok()) return true;
      if (ReadText(hive, config.get(), u"FriendlyName", &friendly)) display = std::move(friendly);
    }
    listings.push_back({std::move(display), std::move(name)});
    return listings.size() < capacity;
  });
  return listings;
}

}  // namespace orvane
