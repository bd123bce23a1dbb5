#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "entry/model/CommandHistory.h"
#include "platform/Registry.h"
#include "tests/platform/FaultyHive.h"

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

constexpr std::u16string_view kHistory = u"Software\\Orvane\\Orvane Port Linewright\\History";

class CommandHistoryTest : public ::testing::Test {
 protected:
  Hive& hive() { return *hive_; }

  std::u16string Stored(int n) {
    ScopedKey key(hive(), kLocalMachine, kHistory, false);
    std::u16string text;
    std::string digits = std::to_string(n);
    if (!key.ok() || hive().QueryString(key.get(), std::u16string(digits.begin(), digits.end()), &text) != kSuccess)
      return u"<absent>";
    return text;
  }
  std::u16string Joined() {
    std::u16string out;
    for (const std::u16string& entry : history.LoadHistory()) out += entry + u"|";
    return out;
  }
  static std::u16string Cmd(int i) {
    std::string s = "AT+C" + std::to_string(i);
    return std::u16string(s.begin(), s.end());
  }

  std::unique_ptr<Hive> hive_ = Hive::OpenMemory();
  CommandHistory history{*hive_};
};

TEST_F(CommandHistoryTest, FreshHiveLoadsNothingAndFirstAddStoresOneValue) {
  EXPECT_TRUE(history.LoadHistory().empty());
  reg::Key key;
  EXPECT_EQ(hive().OpenKey(kLocalMachine, kHistory, &key), kSuccess) << "loading creates the key";
  ASSERT_TRUE(history.AddToHistory(u"ATZ"));
  EXPECT_EQ(Stored(1), u"ATZ");
  EXPECT_EQ(Stored(2), u"<absent>");
  uint32_t size = 0;
  ScopedKey k(hive(), kLocalMachine, kHistory);
  ASSERT_EQ(hive().QueryValue(k.get(), u"1", nullptr, nullptr, &size), kSuccess);
  EXPECT_EQ(size, 8u) << "UTF-16 with the terminator counted";
}

TEST_F(CommandHistoryTest, AddingMovesAnEqualEntryToTheFrontCaseSensitively) {
  ASSERT_TRUE(history.AddToHistory(u"Y"));
  ASSERT_TRUE(history.AddToHistory(u"X"));
  EXPECT_EQ(Joined(), u"X|Y|");
  ASSERT_TRUE(history.AddToHistory(u"Y"));
  EXPECT_EQ(Joined(), u"Y|X|");
  ASSERT_TRUE(history.AddToHistory(u"y"));
  EXPECT_EQ(Joined(), u"y|Y|X|");
  ASSERT_TRUE(history.AddToHistory(u""));
  EXPECT_EQ(Joined(), u"|y|Y|X|");
  ASSERT_TRUE(history.AddToHistory(u"X"));
  EXPECT_EQ(Joined(), u"X||y|Y|");
}

TEST_F(CommandHistoryTest, TwentyEntriesPushTheOldestOut) {
  for (int i = 1; i <= 20; ++i) ASSERT_TRUE(history.AddToHistory(Cmd(i)));
  std::vector<std::u16string> list = history.LoadHistory();
  ASSERT_EQ(list.size(), 20u);
  EXPECT_EQ(list[0], Cmd(20));
  EXPECT_EQ(list[19], Cmd(1));
  ASSERT_TRUE(history.AddToHistory(u"NEW"));
  list = history.LoadHistory();
  ASSERT_EQ(list.size(), 20u);
  EXPECT_EQ(list[0], u"NEW");
  EXPECT_EQ(list[1], Cmd(20));
  EXPECT_EQ(list[19], Cmd(2));
  EXPECT_EQ(Stored(21), u"<absent>");
  // The oldest, sent again, comes to the front; still 20.
  ASSERT_TRUE(history.AddToHistory(Cmd(2)));
  list = history.LoadHistory();
  ASSERT_EQ(list.size(), 20u);
  EXPECT_EQ(list[0], Cmd(2));
  EXPECT_EQ(list[1], u"NEW");
  EXPECT_EQ(list[19], Cmd(3));
}

TEST_F(CommandHistoryTest, GapEndsTheListAndSaveReplacesEverything) {
  {
    ScopedKey key(hive(), kLocalMachine, kHistory);
    ASSERT_EQ(hive().SetString(key.get(), u"1", u"A"), kSuccess);
    ASSERT_EQ(hive().SetString(key.get(), u"2", u"B"), kSuccess);
    ASSERT_EQ(hive().SetString(key.get(), u"4", u"D"), kSuccess);
  }
  EXPECT_EQ(Joined(), u"A|B|");
  std::u16string two[] = {u"P", u"Q"};
  ASSERT_TRUE(history.SaveHistory(two));
  EXPECT_EQ(Stored(4), u"<absent>") << "the old key's values are gone";
  EXPECT_EQ(Joined(), u"P|Q|");
  ASSERT_TRUE(history.SaveHistory({}));
  EXPECT_EQ(Joined(), u"");
  std::vector<std::u16string> many;
  for (int i = 1; i <= 25; ++i) many.push_back(Cmd(i));
  ASSERT_TRUE(history.SaveHistory(many));
  EXPECT_EQ(history.LoadHistory(), std::vector<std::u16string>(many.begin(), many.begin() + 20));
  EXPECT_EQ(Stored(21), u"<absent>") << "only the first 20 are kept";
}

TEST_F(CommandHistoryTest, LongEntriesReadBackExactly) {
  std::u16string longer(129, u'a'), longest(2000, u'<');
  ASSERT_TRUE(history.AddToHistory(longer));
  ASSERT_TRUE(history.AddToHistory(longest));
  ASSERT_TRUE(history.AddToHistory(u"AT"));
  const std::vector<std::u16string> list = history.LoadHistory();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1], longest);
  EXPECT_EQ(list[2], longer);
}

TEST(CommandHistoryFaults, FailedSaveOrAddLeavesTheOldListWhole) {
  testing::FaultyHive hive(Hive::OpenMemory());
  CommandHistory history(hive);
  std::u16string three[] = {u"A", u"B", u"C"};
  ASSERT_TRUE(history.SaveHistory(three));
  std::u16string four[] = {u"W", u"X", u"Y", u"Z"};
  for (int failAt = 1; failAt <= 4; ++failAt) {
    hive.FailWritesFrom(failAt);
    EXPECT_FALSE(history.SaveHistory(four));
    EXPECT_FALSE(history.AddToHistory(u"NEW"));
    hive.FailWritesFrom(0);
    const std::vector<std::u16string> list = history.LoadHistory();
    ASSERT_EQ(list.size(), 3u) << "write " << failAt;
    EXPECT_EQ(list[0], u"A");
    EXPECT_EQ(list[2], u"C");
  }
}

}  // namespace
}  // namespace orvane
