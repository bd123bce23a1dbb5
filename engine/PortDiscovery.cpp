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

int ListActivePorts(Hive& hive, PortListing* listings, int capacity) {
  Open active(hive, kLocalMachine, u"Drivers\\Active");
  if (!active.ok()) return 0;
  int count = 0;
  auto add = [&](std::u16string display, const std::u16string& device) {
    if (listings && count < capacity) {
      listings[count].displayName = std::move(display);
      listings[count].deviceName = device;
      ++count;
    }
  };
  char16_t subKey[kNameRoom];
  for (uint32_t index = 0;; ++index) {
    uint32_t room = kNameRoom;
    const reg::Status s = hive.EnumKey(active.get(), index, subKey, &room);
    if (s == reg::kMoreData) continue;  // a name too long to open by: skipped, the walk goes on
    if (s != kSuccess) break;
    Open driver(hive, active.get(), std::u16string_view(subKey, room));
    if (!driver.ok()) continue;
    std::u16string name;
    if (!ReadText(hive, driver.get(), u"Name", &name)) continue;
    std::u16string pnpId;
    if (ReadText(hive, driver.get(), u"PnpId", &pnpId)) {
      // A plug-and-play device has no friendly name here: it shows its device name.
      add(name, name);
      continue;
    }
    std::u16string configPath;
    if (!ReadText(hive, driver.get(), u"Key", &configPath)) continue;
    Open config(hive, kLocalMachine, configPath);
    if (!config.ok()) continue;
    std::u16string friendly;
    if (ReadText(hive, config.get(), u"FriendlyName", &friendly))
      add(friendly, name);
    else
      add(name, name);
  }
  return count;
}

}  // namespace orvane
