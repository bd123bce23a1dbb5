// The window's place, size and zoom in the hive: read back as written; values an outside
// edit damaged are not used (the zoom is only clamped); a hive that cannot be written
// keeps what it had.
#include <gtest/gtest.h>

#include <memory>

#include "platform/Registry.h"
#include "preferences/WindowPlacementStore.h"
#include "tests/platform/FaultyHive.h"

namespace {

using orvane::WindowPlacement;
using orvane::WindowPlacementStore;
using namespace orvane::reg;

constexpr char16_t kKey[] = u"Software\\Orvane\\Orvane Port Linewright\\Window";

TEST(WindowPlacementStoreTest, ReadsBackWhatItWroteAndNothingWhenNothingWasWritten) {
  const auto hive = Hive::OpenMemory();
  WindowPlacementStore store(*hive);
  WindowPlacement read{1, 2, 3, 4, 125};
  EXPECT_FALSE(store.Load(&read));
  EXPECT_EQ(read.width, 3);  // untouched
  ASSERT_TRUE(store.Save({-40, 30, 800, 600, 200}));
  ASSERT_TRUE(store.Load(&read));
  EXPECT_EQ(read.x, -40);
  EXPECT_EQ(read.y, 30);
  EXPECT_EQ(read.width, 800);
  EXPECT_EQ(read.height, 600);
  EXPECT_EQ(read.zoomPercent, 200);
}

TEST(WindowPlacementStoreTest, DamagedValuesAreNotUsedAndTheZoomIsClamped) {
  struct Case {
    const char16_t* name;
    uint32_t value;
    bool used;
    int zoom;
  } const cases[] = {
      {u"Width", 0, false, 0},          {u"Height", 0xFFFFFFFFu, false, 0},
      {u"Width", 1000000, false, 0},    {u"X", 0x80000000u, false, 0},
      {u"Zoom", 5000, true, 300},       {u"Zoom", 0xFFFFFFFBu, true, 100},
      {u"Zoom", 150, true, 150},
  };
  for (const Case& c : cases) {
    const auto hive = Hive::OpenMemory();
    WindowPlacementStore store(*hive);
    ASSERT_TRUE(store.Save({10, 10, 400, 300, 100}));
    {
      ScopedKey key(*hive, kLocalMachine, kKey);
      ASSERT_EQ(hive->SetDword(key.get(), c.name, c.value), kSuccess);
    }
    WindowPlacement read;
    EXPECT_EQ(store.Load(&read), c.used) << c.value;
    if (c.used) {
      EXPECT_EQ(read.zoomPercent, c.zoom) << c.value;
    }
  }
}

TEST(WindowPlacementStoreTest, AFailedSaveKeepsTheOldPlacementWhole) {
  orvane::testing::FaultyHive hive(Hive::OpenMemory());
  WindowPlacementStore store(hive);
  ASSERT_TRUE(store.Save({10, 20, 400, 300, 150}));
  hive.FailWritesFrom(3);
  EXPECT_FALSE(store.Save({50, 60, 900, 700, 250}));
  WindowPlacement read;
  ASSERT_TRUE(store.Load(&read));
  EXPECT_EQ(read.x, 10);
  EXPECT_EQ(read.width, 400);
  EXPECT_EQ(read.zoomPercent, 150);
}

}  // namespace
