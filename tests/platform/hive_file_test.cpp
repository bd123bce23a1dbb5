// The hive as a file: where it lives, its mode, persistence, and what happens to a file
// that is not a hive.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sqlite3.h>

#include "entry/CommandHistory.h"
#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"
#include "tests/platform/TempHive.h"

namespace orvane::reg {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

// The files in |dir| whose names start with |prefix|, other than |except|.
std::vector<std::string> FilesStartingWith(const std::string& dir, const std::string& prefix,
                                           const std::string& except) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string name = e.path().filename().string();
    if (name.rfind(prefix, 0) == 0 && name != except) out.push_back(e.path().string());
  }
  return out;
}

TEST(HiveFile, KeepsItsContentAcrossOpensWithMode0600) {
  testing::TempDir dir;
  std::string path = dir.File("sub/folder/h.hive");
  {
    auto hive = Hive::OpenFile(path);
    ASSERT_TRUE(hive);
    ASSERT_TRUE(PreferenceStore(*hive).SaveBaudRate(9600));
  }
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  auto hive = Hive::OpenFile(path);
  ASSERT_TRUE(hive);
  EXPECT_EQ(PreferenceStore(*hive).LoadBaudRate(), 9600u);
  // Written in WAL mode: the journal file carries the same mode.
  std::string wal = path + "-wal";
  if (::stat(wal.c_str(), &st) == 0) {
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
}

TEST(HiveFile, TwoOpenHivesOnOneFileSeeEachOthersWrites) {
  testing::TempDir dir;
  auto a = Hive::OpenFile(dir.File("h.hive"));
  auto b = Hive::OpenFile(dir.File("h.hive"));
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(CommandHistory(*a).AddToHistory(u"AT"));
  ASSERT_TRUE(CommandHistory(*b).AddToHistory(u"ATZ"));
  std::u16string list[20];
  ASSERT_EQ(CommandHistory(*a).LoadHistory(list), 2);
  EXPECT_EQ(list[0], u"ATZ");
  EXPECT_EQ(list[1], u"AT");
}

TEST(HiveFile, HandheldHiveLivesUnderXdgDataHome) {
  testing::TempDir dir;
  ASSERT_EQ(::setenv("XDG_DATA_HOME", dir.path().c_str(), 1), 0);
  std::string expected = dir.path() + "/orvane-port-linewright/handheld.hive";
  EXPECT_EQ(Hive::DefaultHandheldPath(), expected);
  {
    auto hive = Hive::OpenHandheld();
    ASSERT_TRUE(hive);
    EXPECT_TRUE(PreferenceStore(*hive).SaveBaudRate(57600));
  }
  EXPECT_TRUE(fs::exists(expected));
  EXPECT_EQ(PreferenceStore(*Hive::OpenHandheld()).LoadBaudRate(), 57600u);

  ASSERT_EQ(::setenv("XDG_DATA_HOME", "relative/path", 1), 0);
  ASSERT_EQ(::setenv("HOME", dir.path().c_str(), 1), 0);
  EXPECT_EQ(Hive::DefaultHandheldPath(), dir.path() + "/.local/share/orvane-port-linewright/handheld.hive");
  ASSERT_EQ(::unsetenv("XDG_DATA_HOME"), 0);
  EXPECT_EQ(Hive::DefaultHandheldPath(), dir.path() + "/.local/share/orvane-port-linewright/handheld.hive");
}

TEST(HiveFile, HandheldHiveThatCannotBeMadeIsKeptInMemoryWithANotice) {
  testing::TempDir dir;
  const std::string blocker = dir.File("not-a-folder");
  WriteAll(blocker, "x");  // the hive's folder would have to be made below a file
  ASSERT_EQ(::setenv("XDG_DATA_HOME", blocker.c_str(), 1), 0);
  ::testing::internal::CaptureStderr();
  auto hive = Hive::OpenHandheld();
  const std::string notice = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(hive);
  EXPECT_NE(notice.find("kept in memory"), std::string::npos) << notice;
  PreferenceStore store(*hive);
  EXPECT_TRUE(store.SaveBaudRate(9600));
  EXPECT_EQ(store.LoadBaudRate(), 9600u);
  ASSERT_EQ(::unsetenv("XDG_DATA_HOME"), 0);
}

class NotAHive : public ::testing::Test {
 protected:
  // Opens |path|, expects it moved aside with its bytes intact, and a fresh hive working.
  void ExpectMovedAside(const std::string& path) {
    std::string before = ReadAll(path);
    ::testing::internal::CaptureStderr();
    std::string error;
    auto hive = Hive::OpenFile(path, &error);
    std::string notice = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(hive) << error;
    auto aside = FilesStartingWith(dir_.path(), "h.hive.corrupt-", "");
    ASSERT_EQ(aside.size(), 1u) << notice;
    EXPECT_TRUE(ReadAll(aside[0]) == before) << "the moved file differs from the original";
    EXPECT_NE(notice.find(aside[0]), std::string::npos) << notice;
    EXPECT_EQ(std::count(notice.begin(), notice.end(), '\n'), 1) << notice;
    // The stores work on the fresh hive.
    PreferenceStore store(*hive);
    EXPECT_EQ(store.CountProfiles(), 0);
    PreferenceProfile p;
    p.name = u"Modem";
    p.suffix = u"<0D>";
    EXPECT_TRUE(store.SaveProfile(p));
    EXPECT_TRUE(CommandHistory(*hive).AddToHistory(u"ATI"));
    hive.reset();
    // Reopening the fresh hive is quiet and moves nothing more.
    ::testing::internal::CaptureStderr();
    auto again = Hive::OpenFile(path);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(again);
    EXPECT_EQ(PreferenceStore(*again).CountProfiles(), 1);
    EXPECT_EQ(FilesStartingWith(dir_.path(), "h.hive.corrupt-", "").size(), 1u);
  }
  testing::TempDir dir_;
};

TEST_F(NotAHive, TextFileIsKeptAndMovedAside) {
  std::string path = dir_.File("h.hive");
  WriteAll(path, std::string("this is not a database at all\n") + std::string(5000, 'x'));
  ExpectMovedAside(path);
}

TEST_F(NotAHive, ForeignSqliteDatabaseIsKeptAndMovedAside) {
  std::string path = dir_.File("h.hive");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE other(x); INSERT INTO other VALUES (42);", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ExpectMovedAside(path);
}

TEST_F(NotAHive, DamagedHiveIsKeptAndMovedAside) {
  std::string path = dir_.File("h.hive");
  {
    auto hive = Hive::OpenFile(path);
    ASSERT_TRUE(hive);
    PreferenceStore store(*hive);
    for (int i = 0; i < 200; ++i) {
      PreferenceProfile p;
      p.name = u"Profile " + std::u16string(1, char16_t(u'A' + i % 26)) + char16_t(u'a' + i / 26);
      p.prefix = std::u16string(100, u'p');
      ASSERT_TRUE(store.SaveProfile(p));
    }
  }
  sqlite3* db = nullptr;  // fold the journal into the file so the damage is not repaired from it
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode=DELETE;", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  std::string bytes = ReadAll(path);
  ASSERT_GT(bytes.size(), 8192u);
  for (size_t i = 4096 + 100; i < bytes.size() - 100; i += 7) bytes[i] = static_cast<char>(0xA5);
  WriteAll(path, bytes);
  ExpectMovedAside(path);
}

TEST_F(NotAHive, EmptyFileIsAFreshHiveWithoutNotice) {
  std::string path = dir_.File("h.hive");
  WriteAll(path, "");
  ::testing::internal::CaptureStderr();
  auto hive = Hive::OpenFile(path);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ASSERT_TRUE(hive);
  EXPECT_TRUE(FilesStartingWith(dir_.path(), "h.hive.corrupt-", "").empty());
}

}  // namespace
}  // namespace orvane::reg
