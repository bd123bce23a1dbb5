#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"
#include "tests/platform/FaultyHive.h"

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

constexpr std::u16string_view kPrefs = u"Software\\Orvane\\Orvane Port Linewright\\Preferences";

class PreferenceStoreTest : public ::testing::Test {
 protected:
  Hive& hive() { return *hive_; }

  static PreferenceProfile Make(std::u16string name, int tokens) {
    PreferenceProfile p;
    p.name = std::move(name);
    p.prefix = u"AT";
    p.suffix = u"<0D>";
    p.timeout = 5;
    for (int i = 0; i < tokens; ++i) p.tokens.push_back(u"T" + std::u16string(1, char16_t(u'0' + i % 10)));
    return p;
  }
  // Names of the values stored in a profile's key, in order.
  std::u16string ValueNames(std::u16string_view profile) {
    ScopedKey key(hive(), kLocalMachine, std::u16string(kPrefs) + u"\\" + std::u16string(profile), false);
    std::u16string names;
    std::u16string name;
    for (uint32_t i = 0; key.ok() && hive().EnumValue(key.get(), i, &name, nullptr, nullptr) == kSuccess; ++i)
      names += name + u",";
    return names;
  }

  std::unique_ptr<Hive> hive_ = Hive::OpenMemory();
  PreferenceStore store{*hive_};
};

TEST_F(PreferenceStoreTest, FreshHiveHasNothingAndDefaults) {
  EXPECT_EQ(store.CountProfiles(), 0);
  reg::Key key;
  EXPECT_EQ(hive().OpenKey(kLocalMachine, kPrefs, &key), kSuccess) << "counting creates the key";
  EXPECT_EQ(store.LoadCurrentProfileName(), u"");
  EXPECT_EQ(store.LoadBaudRate(), 115200u);
  EXPECT_TRUE(store.SaveBaudRate(9600));
  EXPECT_EQ(store.LoadBaudRate(), 9600u);
  EXPECT_TRUE(store.SaveCurrentProfileName(u"Hayes"));
  EXPECT_EQ(store.LoadCurrentProfileName(), u"Hayes");
}

TEST_F(PreferenceStoreTest, SaveWritesTheLayoutAndLoadReadsItBack) {
  PreferenceProfile p = Make(u"Hayes Modem", 3);
  p.prefix = u"  <1B>AT ";
  p.tokens[1] = u"";
  ASSERT_TRUE(store.SaveProfile(p));
  EXPECT_EQ(ValueNames(u"Hayes Modem"), u"Prefix,Suffix,Timeout,TokenCount,1,2,3,");
  ASSERT_TRUE(store.SaveProfile(Make(u"Bare", 0)));
  EXPECT_EQ(ValueNames(u"Bare"), u"Prefix,Suffix,Timeout,TokenCount,");

  PreferenceProfile got;
  ASSERT_TRUE(store.LoadProfile(u"Hayes Modem", &got));
  EXPECT_EQ(got.name, u"Hayes Modem");
  EXPECT_EQ(got.prefix, u"  <1B>AT ");
  EXPECT_EQ(got.suffix, u"<0D>");
  EXPECT_EQ(got.timeout, 5);
  EXPECT_EQ(got.tokens, (std::vector<std::u16string>{u"T0", u"", u"T2"}));

  EXPECT_EQ(store.CountProfiles(), 2);
  auto names = store.ListProfileNames();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], u"Hayes Modem");  // creation order, not sorted
  EXPECT_EQ(names[1], u"Bare");
  EXPECT_EQ(store.ListProfileNames(1), std::vector<std::u16string>{u"Hayes Modem"}) << "no more than asked for";
}

TEST_F(PreferenceStoreTest, SaveOverFewerTokensLeavesOldValuesReplaceLeavesNone) {
  ASSERT_TRUE(store.SaveProfile(Make(u"P", 5)));
  ASSERT_TRUE(store.SaveProfile(Make(u"P", 2)));
  EXPECT_EQ(ValueNames(u"P"), u"Prefix,Suffix,Timeout,TokenCount,1,2,3,4,5,");
  PreferenceProfile got;
  ASSERT_TRUE(store.LoadProfile(u"P", &got));
  EXPECT_EQ(got.tokens.size(), 2u);
  ASSERT_TRUE(store.ReplaceProfile(Make(u"P", 1)));
  EXPECT_EQ(ValueNames(u"P"), u"Prefix,Suffix,Timeout,TokenCount,1,");
}

TEST_F(PreferenceStoreTest, ReplaceOfMissingProfileFailsAndWritesNothing) {
  EXPECT_FALSE(store.ReplaceProfile(Make(u"Ghost", 1)));
  EXPECT_EQ(store.CountProfiles(), 0);
  EXPECT_FALSE(store.DeleteProfile(u"Ghost"));
}

TEST(PreferenceStoreFaults, FailedReplaceAndSaveKeepTheOldProfileWhole) {
  testing::FaultyHive hive(Hive::OpenMemory());
  PreferenceStore store(hive);
  PreferenceProfile old;
  old.name = u"P";
  old.prefix = u"old";
  old.tokens.resize(4);
  ASSERT_TRUE(store.SaveProfile(old));
  PreferenceProfile fresh = old;
  fresh.prefix = u"new";
  fresh.tokens.resize(2);
  for (int failAt = 1; failAt <= 6; ++failAt) {
    hive.FailWritesFrom(failAt);
    EXPECT_FALSE(store.ReplaceProfile(fresh)) << failAt;
    EXPECT_FALSE(store.SaveProfile(fresh)) << failAt;
    hive.FailWritesFrom(0);
    PreferenceProfile got;
    ASSERT_TRUE(store.LoadProfile(u"P", &got)) << "write " << failAt;
    EXPECT_EQ(got.prefix, u"old");
    EXPECT_EQ(got.tokens.size(), 4u);
  }
  EXPECT_TRUE(store.ReplaceProfile(fresh));
}

TEST_F(PreferenceStoreTest, LoadOfMissingNameLoadsNothingAndCreatesNothing) {
  PreferenceProfile got = Make(u"Untouched", 1);
  EXPECT_FALSE(store.LoadProfile(u"Missing", &got));
  EXPECT_EQ(got.name, u"Untouched");
  EXPECT_EQ(got.tokens.size(), 1u);
  EXPECT_EQ(store.CountProfiles(), 0) << "a missing profile must not appear";
  EXPECT_FALSE(store.LoadProfile(u"", &got));
  // The current profile deleted: Current still names it, and loading it fails cleanly.
  ASSERT_TRUE(store.SaveProfile(Make(u"Gone", 0)));
  ASSERT_TRUE(store.SaveCurrentProfileName(u"Gone"));
  ASSERT_TRUE(store.DeleteProfile(u"Gone"));
  EXPECT_EQ(store.LoadCurrentProfileName(), u"Gone");
  EXPECT_FALSE(store.LoadProfile(u"Gone", &got));
  EXPECT_EQ(store.CountProfiles(), 0);
}

TEST_F(PreferenceStoreTest, TextsOfAnyLengthReadBackExactly) {
  PreferenceProfile p = Make(u"Long", 2);
  p.prefix = std::u16string(130, u'a');
  p.suffix = std::u16string(4000, u'<');
  p.tokens[1] = std::u16string(500, u'z');
  ASSERT_TRUE(store.SaveProfile(p));
  PreferenceProfile got;
  ASSERT_TRUE(store.LoadProfile(u"Long", &got));
  EXPECT_EQ(got.prefix, p.prefix);
  EXPECT_EQ(got.suffix, p.suffix);
  EXPECT_EQ(got.tokens[1], p.tokens[1]);
}

TEST_F(PreferenceStoreTest, TokenCountOutsideTheTwentySlotsIsBounded) {
  PreferenceProfile p = Make(u"Many", 25);  // the dialogs never allow this; the store writes 20 at most
  ASSERT_TRUE(store.SaveProfile(p));
  EXPECT_EQ(ValueNames(u"Many").find(u",21,"), std::u16string::npos);
  // An outside edit stores 30 with 22 values present: the first 20 load.
  ScopedKey key(hive(), kLocalMachine, std::u16string(kPrefs) + u"\\Many");
  ASSERT_EQ(hive().SetDword(key.get(), u"TokenCount", 30), kSuccess);
  ASSERT_EQ(hive().SetString(key.get(), u"21", u"extra"), kSuccess);
  PreferenceProfile got;
  ASSERT_TRUE(store.LoadProfile(u"Many", &got));
  ASSERT_EQ(got.tokens.size(), 20u);
  EXPECT_EQ(got.tokens[19], p.tokens[19]);
  ASSERT_EQ(hive().SetDword(key.get(), u"TokenCount", static_cast<uint32_t>(-3)), kSuccess);
  ASSERT_TRUE(store.LoadProfile(u"Many", &got));
  EXPECT_TRUE(got.tokens.empty());
}

TEST_F(PreferenceStoreTest, FailedLoadKeepsWhatWasRead) {
  ASSERT_TRUE(store.SaveProfile(Make(u"Broken", 3)));
  ScopedKey key(hive(), kLocalMachine, std::u16string(kPrefs) + u"\\Broken");
  ASSERT_EQ(hive().DeleteValue(key.get(), u"2"), kSuccess);
  PreferenceProfile got;
  EXPECT_FALSE(store.LoadProfile(u"Broken", &got));
  EXPECT_EQ(got.prefix, u"AT");
  EXPECT_EQ(got.tokens[0], u"T0");
  // A Timeout too big for 4 bytes counts as a failed read.
  const uint8_t eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(hive().SetValue(key.get(), u"Timeout", reg::kTypeBinary, eight, 8), kSuccess);
  EXPECT_FALSE(store.LoadProfile(u"Broken", &got));
}

TEST_F(PreferenceStoreTest, NamesTheListCannotShowAreRefused) {
  EXPECT_FALSE(store.SaveProfile(Make(u"", 0)));
  EXPECT_FALSE(store.SaveProfile(Make(std::u16string(260, u'n'), 0)));
  EXPECT_TRUE(store.SaveProfile(Make(std::u16string(259, u'n'), 0)));
  EXPECT_EQ(store.ListProfileNames()[0].size(), 259u);
  // A backslash makes nested keys: the list shows the first part, which has no values.
  ASSERT_TRUE(store.SaveProfile(Make(u"A\\B", 0)));
  auto names = store.ListProfileNames();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[1], u"A");
  PreferenceProfile got;
  EXPECT_FALSE(store.LoadProfile(u"A", &got));
}

TEST_F(PreferenceStoreTest, NamesTooLongToListAreSkippedAndTheRestListed) {
  ASSERT_TRUE(store.SaveProfile(Make(u"First", 0)));
  for (size_t length : {260u, 20000u}) {  // only an outside edit makes these
    ScopedKey key(hive(), kLocalMachine, std::u16string(kPrefs) + u"\\" + std::u16string(length, u'L'));
    ASSERT_TRUE(key.ok());
  }
  ASSERT_TRUE(store.SaveProfile(Make(u"Last", 0)));
  EXPECT_EQ(store.ListProfileNames(), (std::vector<std::u16string>{u"First", u"Last"}));
  EXPECT_EQ(store.CountProfiles(), 2);
  EXPECT_EQ(store.ListProfileNames(2), (std::vector<std::u16string>{u"First", u"Last"}));
}

TEST_F(PreferenceStoreTest, NamesAreCaseSensitive) {
  ASSERT_TRUE(store.SaveProfile(Make(u"modem", 0)));
  ASSERT_TRUE(store.SaveProfile(Make(u"Modem", 1)));
  EXPECT_EQ(store.CountProfiles(), 2);
  ASSERT_TRUE(store.DeleteProfile(u"modem"));
  PreferenceProfile got;
  ASSERT_TRUE(store.LoadProfile(u"Modem", &got));
  EXPECT_EQ(got.tokens.size(), 1u);
}

}  // namespace
}  // namespace orvane
