#include "preferences/WindowPlacementStore.h"

#include <algorithm>

#include "platform/Registry.h"

namespace orvane {
namespace {

using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

constexpr char16_t kWindowPath[] = u"Software\\Orvane\\Orvane Port Linewright\\Window";

}  // namespace

bool WindowPlacementStore::Load(WindowPlacement* placement) const {
  ScopedKey key(hive_, kLocalMachine, kWindowPath, /*create=*/false);
  if (!key.ok()) return false;
  uint32_t values[5] = {};
  const char16_t* names[5] = {u"X", u"Y", u"Width", u"Height", u"Zoom"};
  for (int i = 0; i < 5; ++i)
    if (hive_.QueryDword(key.get(), names[i], &values[i]) != kSuccess) return false;
  WindowPlacement read;
  read.x = static_cast<int32_t>(values[0]);
  read.y = static_cast<int32_t>(values[1]);
  read.width = static_cast<int32_t>(values[2]);
  read.height = static_cast<int32_t>(values[3]);
  if (read.width <= 0 || read.height <= 0 || read.width > kMaxExtent || read.height > kMaxExtent ||
      read.x < -kMaxExtent || read.x > kMaxExtent || read.y < -kMaxExtent || read.y > kMaxExtent)
    return false;
  read.zoomPercent = static_cast<int32_t>(std::clamp<int64_t>(static_cast<int32_t>(values[4]), kMinZoom, kMaxZoom));
  *placement = read;
  return true;
}

bool WindowPlacementStore::Save(const WindowPlacement& placement) {
  reg::Hive::Transaction transaction(hive_);
  ScopedKey key(hive_, kLocalMachine, kWindowPath);
  if (!key.ok()) return false;
  const std::pair<const char16_t*, int32_t> values[] = {
      {u"X", placement.x},          {u"Y", placement.y},
      {u"Width", placement.width},  {u"Height", placement.height},
      {u"Zoom", placement.zoomPercent}};
  for (const auto& [name, value] : values)
    if (hive_.SetDword(key.get(), name, static_cast<uint32_t>(value)) != kSuccess) return false;
  return transaction.Commit() == kSuccess;
}

}  // namespace orvane
