// The hive's contract, run against a file hive and an in-memory hive.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "tests/platform/TempHive.h"

namespace orvane::reg {
namespace {

enum class Kind { kFile, kMemory };

class RegistryContract : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    if (GetParam() == Kind::kFile) {
      std::string error;
      hive_ = Hive::OpenFile(dir_.File("test.hive"), &error);
      ASSERT_TRUE(hive_) << error;
    } else {
      hive_ = Hive::OpenMemory();
      ASSERT_TRUE(hive_);
    }
  }
  Hive& hive() { return *hive_; }

  Key Create(Key parent, std::u16string_view path) {
    Key key = kNoKey;
    EXPECT_EQ(hive().CreateKey(parent, path, &key), kSuccess);
    return key;
  }
  std::u16string EnumName(Key key, uint32_t index, Status* status) {
    char16_t name[260];
    uint32_t room = 260;
    *status = hive().EnumKey(key, index, name, &room);
    return *status == kSuccess ? std::u16string(name, room) : std::u16string();
  }

  testing::TempDir dir_;
  std::unique_ptr<Hive> hive_;
};

TEST_P(RegistryContract, CreateOpensExistingAndMakesMissingKeysOnThePath) {
  Key deep = Create(kLocalMachine, u"A\\B\\C");
  ASSERT_NE(deep, kNoKey);
  ASSERT_EQ(hive().SetDword(deep, u"V", 7), kSuccess);
  Key again = Create(kLocalMachine, u"A\\B\\C");
  uint32_t v = 0;
  EXPECT_EQ(hive().QueryDword(again, u"V", &v), kSuccess);
  EXPECT_EQ(v, 7u);
  Key b = kNoKey;
  EXPECT_EQ(hive().OpenKey(kLocalMachine, u"A\\B", &b), kSuccess);
  Key relative = Create(b, u"C");
  EXPECT_EQ(hive().QueryDword(relative, u"V", &v), kSuccess);
  Key missing = 123;
  EXPECT_EQ(hive().OpenKey(kLocalMachine, u"A\\X", &missing), kFileNotFound);
  EXPECT_EQ(missing, kNoKey);
  EXPECT_EQ(hive().OpenKey(kLocalMachine, u"A\\X", &missing), kFileNotFound) << "OpenKey created the key";
  EXPECT_EQ(hive().CreateKey(kLocalMachine, u"A\\\\B", &missing), kInvalidParameter);
  for (Key k : {deep, again, b, relative}) EXPECT_EQ(hive().CloseKey(k), kSuccess);
  EXPECT_EQ(hive().CloseKey(deep), kInvalidHandle);
}

TEST_P(RegistryContract, NamesAreCaseSensitiveAndEnumerateInCreationOrder) {
  Key parent = Create(kLocalMachine, u"P");
  for (auto name : {u"zeta", u"Alpha", u"alpha", u"  spaced  ", u"\u00e9t\u00e9"}) Create(parent, name);
  Status s;
  EXPECT_EQ(EnumName(parent, 0, &s), u"zeta");
  EXPECT_EQ(EnumName(parent, 1, &s), u"Alpha");
  EXPECT_EQ(EnumName(parent, 2, &s), u"alpha");
  EXPECT_EQ(EnumName(parent, 3, &s), u"  spaced  ");
  EXPECT_EQ(EnumName(parent, 4, &s), u"\u00e9t\u00e9");
  EnumName(parent, 5, &s);
  EXPECT_EQ(s, kNoMoreItems);
  // Deleting one keeps the others' order; a re-created key goes to the end.
  ASSERT_EQ(hive().DeleteKey(parent, u"Alpha"), kSuccess);
  Create(parent, u"Alpha");
  EXPECT_EQ(EnumName(parent, 1, &s), u"alpha");
  EXPECT_EQ(EnumName(parent, 4, &s), u"Alpha");
  // All at once, or a range of them, in the same order.
  std::vector<std::u16string> names{u"left over"};
  ASSERT_EQ(hive().EnumKeys(parent, 0, UINT32_MAX, &names), kSuccess);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"zeta", u"alpha", u"  spaced  ", u"\u00e9t\u00e9", u"Alpha"}));
  ASSERT_EQ(hive().EnumKeys(parent, 1, 2, &names), kSuccess);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"alpha", u"  spaced  "}));
  ASSERT_EQ(hive().EnumKeys(parent, 5, 10, &names), kSuccess);
  EXPECT_TRUE(names.empty());
  std::u16string walked;
  ASSERT_EQ(hive().ForEachSubkey(parent, [&](std::u16string_view name) { return walked += name, name != u"alpha"; }),
            kSuccess);
  EXPECT_EQ(walked, u"zetaalpha") << "the walk stops when told";
  Key v = Create(parent, u"zeta");
  ASSERT_EQ(hive().SetDword(v, u"X", 1), kSuccess);
  EXPECT_EQ(hive().QueryDword(v, u"x", nullptr), kFileNotFound);
}

TEST_P(RegistryContract, EnumKeyReportsTooSmallRoom) {
  Key parent = Create(kLocalMachine, u"P");
  Create(parent, u"abcd");
  char16_t name[8];
  uint32_t room = 4;  // "abcd" needs 5 with the terminator
  EXPECT_EQ(hive().EnumKey(parent, 0, name, &room), kMoreData);
  room = 5;
  EXPECT_EQ(hive().EnumKey(parent, 0, name, &room), kSuccess);
  EXPECT_EQ(room, 4u);
  EXPECT_EQ(std::u16string(name), u"abcd");
}

TEST_P(RegistryContract, StringsAreUtf16WithTheTerminatorCounted) {
  Key key = Create(kLocalMachine, u"S");
  ASSERT_EQ(hive().SetString(key, u"T", u"OK<0D>"), kSuccess);
  uint32_t type = 0, size = 0;
  ASSERT_EQ(hive().QueryValue(key, u"T", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(type, kTypeString);
  EXPECT_EQ(size, (6u + 1) * 2);
  uint8_t buf[14];
  size = sizeof buf;
  ASSERT_EQ(hive().QueryValue(key, u"T", nullptr, buf, &size), kSuccess);
  EXPECT_EQ(std::memcmp(buf, "O\0K\0<\0" "0\0D\0>\0\0\0", 14), 0);
  ASSERT_EQ(hive().SetString(key, u"Empty", u""), kSuccess);
  ASSERT_EQ(hive().QueryValue(key, u"Empty", nullptr, nullptr, &size), kSuccess);
  EXPECT_EQ(size, 2u);
}

TEST_P(RegistryContract, ReadFailsWhenTheValueDoesNotFitAndNeverChecksTheType) {
  Key key = Create(kLocalMachine, u"S");
  std::u16string text129(129, u'x'), text130(130, u'y');
  ASSERT_EQ(hive().SetString(key, u"Fits", text129), kSuccess);
  ASSERT_EQ(hive().SetString(key, u"Long", text130), kSuccess);
  char16_t buf[130];
  uint32_t size = 260;
  EXPECT_EQ(hive().QueryValue(key, u"Fits", nullptr, reinterpret_cast<uint8_t*>(buf), &size), kSuccess);
  EXPECT_EQ(std::u16string(buf), text129);
  size = 260;
  EXPECT_EQ(hive().QueryValue(key, u"Long", nullptr, reinterpret_cast<uint8_t*>(buf), &size), kMoreData);
  EXPECT_EQ(size, 262u);
  std::u16string whole;
  EXPECT_EQ(hive().QueryString(key, u"Long", &whole), kSuccess);
  EXPECT_EQ(whole, text130);
  // A number read as text and text read as a number: bytes are bytes.
  ASSERT_EQ(hive().SetDword(key, u"N", 0x00420041), kSuccess);
  EXPECT_EQ(hive().QueryString(key, u"N", &whole), kSuccess);
  EXPECT_EQ(whole, u"AB");
  ASSERT_EQ(hive().SetString(key, u"One", u"5"), kSuccess);
  uint32_t n = 0;
  EXPECT_EQ(hive().QueryDword(key, u"One", &n), kSuccess);
  EXPECT_EQ(n, 0x35u);
  EXPECT_EQ(hive().QueryDword(key, u"Fits", &n), kMoreData);
}

TEST_P(RegistryContract, ValuesOverwriteInPlaceAndEnumerate) {
  Key key = Create(kLocalMachine, u"V");
  ASSERT_EQ(hive().SetString(key, u"first", u"1"), kSuccess);
  ASSERT_EQ(hive().SetDword(key, u"second", 2), kSuccess);
  const uint8_t bin[] = {0, 1, 2};
  ASSERT_EQ(hive().SetValue(key, u"", kTypeBinary, bin, 3), kSuccess);
  ASSERT_EQ(hive().SetDword(key, u"first", 9), kSuccess);  // keeps its place, takes the new type
  std::u16string name;
  uint32_t type;
  std::string data;
  ASSERT_EQ(hive().EnumValue(key, 0, &name, &type, &data), kSuccess);
  EXPECT_EQ(name, u"first");
  EXPECT_EQ(type, kTypeDword);
  EXPECT_EQ(data, std::string("\x09\0\0\0", 4));
  ASSERT_EQ(hive().EnumValue(key, 2, &name, &type, &data), kSuccess);
  EXPECT_EQ(name, u"");
  EXPECT_EQ(data, std::string("\0\1\2", 3));
  EXPECT_EQ(hive().EnumValue(key, 3, &name, &type, &data), kNoMoreItems);
  std::vector<ValueEntry> values;
  ASSERT_EQ(hive().EnumValues(key, &values), kSuccess);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].name, u"first");
  EXPECT_EQ(values[0].type, kTypeDword);
  EXPECT_EQ(values[0].data, std::string("\x09\0\0\0", 4));
  EXPECT_EQ(values[1].name, u"second");
  EXPECT_EQ(values[2].name, u"");
  EXPECT_EQ(values[2].data, std::string("\0\1\2", 3));
  EXPECT_EQ(hive().DeleteValue(key, u"second"), kSuccess);
  EXPECT_EQ(hive().DeleteValue(key, u"second"), kFileNotFound);
  ASSERT_EQ(hive().EnumValue(key, 1, &name, nullptr, nullptr), kSuccess);
  EXPECT_EQ(name, u"");
}

TEST_P(RegistryContract, DeleteKeyRemovesEverythingBelowAndStaleHandlesSaySo) {
  Key a = Create(kLocalMachine, u"D\\A");
  Key deep = Create(a, u"B\\C");
  ASSERT_EQ(hive().SetDword(deep, u"X", 1), kSuccess);
  Key d = Create(kLocalMachine, u"D");
  EXPECT_EQ(hive().DeleteKey(d, u"A"), kSuccess);
  EXPECT_EQ(hive().DeleteKey(d, u"A"), kFileNotFound);
  EXPECT_EQ(hive().DeleteKey(d, u""), kInvalidParameter);
  EXPECT_EQ(hive().SetDword(deep, u"X", 2), kKeyDeleted);
  EXPECT_EQ(hive().QueryDword(a, u"X", nullptr), kKeyDeleted);
  std::vector<std::u16string> names;
  std::vector<ValueEntry> values;
  EXPECT_EQ(hive().EnumKeys(a, 0, UINT32_MAX, &names), kKeyDeleted);
  EXPECT_EQ(hive().EnumValues(deep, &values), kKeyDeleted);
  Key again = Create(kLocalMachine, u"D\\A\\B\\C");
  EXPECT_EQ(hive().QueryDword(again, u"X", nullptr), kFileNotFound) << "values came back with the key";
  Status s;
  EXPECT_EQ(EnumName(Create(kLocalMachine, u"D\\A"), 1, &s), u"");
  EXPECT_EQ(s, kNoMoreItems);
  EXPECT_EQ(hive().QueryDword(12345, u"X", nullptr), kInvalidHandle);
}

TEST_P(RegistryContract, TransactionsNestAndRollBack) {
  Key key = Create(kLocalMachine, u"T");
  ASSERT_EQ(hive().SetDword(key, u"kept", 1), kSuccess);
  {
    Hive::Transaction outer(hive());
    ASSERT_TRUE(outer.Active());
    ASSERT_EQ(hive().SetDword(key, u"kept", 2), kSuccess);
    {
      Hive::Transaction inner(hive());
      ASSERT_TRUE(inner.Active());
      ASSERT_EQ(hive().SetDword(key, u"inner", 3), kSuccess);
    }  // inner rolled back
    {
      Hive::Transaction inner(hive());
      ASSERT_EQ(hive().SetDword(key, u"committed-inner", 4), kSuccess);
      EXPECT_EQ(inner.Commit(), kSuccess);
    }
    Create(kLocalMachine, u"T\\Child");
  }  // outer rolled back: everything since it began is gone
  uint32_t v = 0;
  EXPECT_EQ(hive().QueryDword(key, u"kept", &v), kSuccess);
  EXPECT_EQ(v, 1u);
  EXPECT_EQ(hive().QueryDword(key, u"inner", &v), kFileNotFound);
  EXPECT_EQ(hive().QueryDword(key, u"committed-inner", &v), kFileNotFound);
  Key child;
  EXPECT_EQ(hive().OpenKey(kLocalMachine, u"T\\Child", &child), kFileNotFound);

  Hive::Transaction outer(hive());
  {
    Hive::Transaction inner(hive());
    ASSERT_EQ(hive().SetDword(key, u"inner", 5), kSuccess);
    ASSERT_EQ(inner.Commit(), kSuccess);
  }
  ASSERT_EQ(outer.Commit(), kSuccess);
  EXPECT_EQ(hive().QueryDword(key, u"inner", &v), kSuccess);
  EXPECT_EQ(v, 5u);
  EXPECT_EQ(hive().Commit(), kInvalidParameter) << "commit without a transaction";
}

INSTANTIATE_TEST_SUITE_P(Hives, RegistryContract, ::testing::Values(Kind::kFile, Kind::kMemory),
                         [](const auto& info) { return info.param == Kind::kFile ? "File" : "Memory"; });

}  // namespace
}  // namespace orvane::reg
