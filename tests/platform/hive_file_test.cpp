// The hive as a file: where it lives, its mode, persistence, and what happens to a file
// that is not a hive.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sqlite3.h>

#include "entry/model/CommandHistory.h"
#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"
#include "tests/platform/TempHive.h"
#include "tests/support/Unprivileged.h"

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
  EXPECT_EQ(CommandHistory(*a).LoadHistory(), (std::vector<std::u16string>{u"ATZ", u"AT"}));
}

TEST(HiveFile, AReadTransactionSeesOneStateAndLeavesWritersFree) {
  testing::TempDir dir;
  auto a = Hive::OpenFile(dir.File("h.hive"));
  auto b = Hive::OpenFile(dir.File("h.hive"));
  ASSERT_TRUE(a && b);
  ScopedKey inA(*a, kLocalMachine, u"K"), inB(*b, kLocalMachine, u"K");
  ASSERT_EQ(a->SetDword(inA.get(), u"V", 1), kSuccess);
  uint32_t v = 0;
  {
    Hive::Transaction reading(*a, Hive::Transaction::For::kReading);
    ASSERT_TRUE(reading.Active());
    ASSERT_EQ(a->QueryDword(inA.get(), u"V", &v), kSuccess);
    EXPECT_EQ(b->SetDword(inB.get(), u"V", 2), kSuccess) << "the reader held the write lock";
    ASSERT_EQ(a->QueryDword(inA.get(), u"V", &v), kSuccess);
    EXPECT_EQ(v, 1u) << "the reader saw a write made after it began";
  }
  ASSERT_EQ(a->QueryDword(inA.get(), u"V", &v), kSuccess);
  EXPECT_EQ(v, 2u);
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

// ---- a hive that cannot be opened, or not written ---------------------------------------

PreferenceProfile Modem() {
  PreferenceProfile p;
  p.name = u"Modem";
  p.suffix = u"<0D>";
  return p;
}

TEST(HandheldHive, ThatCannotBeMadeFailsEveryCallAndSaysWhy) {
  testing::TempDir dir;
  const std::string blocker = dir.File("not-a-folder");
  WriteAll(blocker, "x");  // the hive's folder would have to be made below a file
  ASSERT_EQ(::setenv("XDG_DATA_HOME", blocker.c_str(), 1), 0);
  std::string reason = "stale";
  ::testing::internal::CaptureStderr();
  auto hive = Hive::OpenHandheld(&reason);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(::unsetenv("XDG_DATA_HOME"), 0);
  ASSERT_TRUE(hive);
  EXPECT_EQ(hive->GetAccess(), Access::kNone);
  EXPECT_EQ(reason, "Not a directory");
  PreferenceStore store(*hive);
  EXPECT_FALSE(store.SaveBaudRate(9600));
  EXPECT_EQ(store.LoadBaudRate(), 115200u);
  EXPECT_FALSE(store.SaveProfile(Modem()));
  EXPECT_EQ(store.CountProfiles(), 0);
  EXPECT_FALSE(CommandHistory(*hive).AddToHistory(u"AT"));
  EXPECT_EQ(ReadAll(blocker), "x");
}

// Why the hive cannot be written, for the user the check runs as.
struct Unwritable {
  const char* what;
  mode_t fileMode;
  bool userOwnsFile;
  bool folderWritable;
  const char* reason;
};

class ReadOnlyHive : public ::testing::TestWithParam<Unwritable> {};

TEST_P(ReadOnlyHive, LoadsWhatWasSavedAndEverySaveFails) {
  const Unwritable& c = GetParam();
  testing::TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::setenv("XDG_DATA_HOME", dir.path().c_str(), 1), 0);
  const std::string path = Hive::DefaultHandheldPath();
  const std::string folder = path.substr(0, path.rfind('/'));
  {
    auto hive = Hive::OpenHandheld();
    PreferenceStore store(*hive);
    ASSERT_TRUE(store.SaveBaudRate(57600));
    ASSERT_TRUE(store.SaveProfile(Modem()));
    ASSERT_TRUE(CommandHistory(*hive).AddToHistory(u"ATI"));
  }
  const uid_t user = ::geteuid() == 0 ? testing::kUnprivilegedId : ::geteuid();
  if (c.userOwnsFile) {
    ASSERT_EQ(::chown(path.c_str(), user, static_cast<gid_t>(-1)), 0);
  }
  ASSERT_EQ(::chmod(path.c_str(), c.fileMode), 0);
  ASSERT_EQ(::chmod(folder.c_str(), c.folderWritable ? 0777 : 0555), 0);
  const std::string before = ReadAll(path);

  const int result = testing::AsUnprivilegedUser([&c] {
    std::string reason;
    auto hive = Hive::OpenHandheld(&reason);
    PreferenceStore store(*hive);
    PreferenceProfile got;
    if (hive->GetAccess() != Access::kReadOnly) return 1;
    if (reason != c.reason) return 2;
    if (store.LoadBaudRate() != 57600u || !store.LoadProfile(u"Modem", &got) || got.suffix != u"<0D>") return 3;
    if (CommandHistory(*hive).LoadHistory() != std::vector<std::u16string>{u"ATI"}) return 4;
    if (store.SaveBaudRate(9600) || store.SaveProfile(got) || store.SaveCurrentProfileName(u"Modem") ||
        CommandHistory(*hive).AddToHistory(u"AT"))
      return 5;
    return 0;
  });
  ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
  ASSERT_EQ(::unsetenv("XDG_DATA_HOME"), 0);
  ASSERT_NE(result, 99) << "could not become an unprivileged user";
  EXPECT_EQ(result, 0) << "1: not opened read-only, 2: another reason, 3: the settings did not load, "
                          "4: the history did not load, 5: a save reported success";
  EXPECT_EQ(ReadAll(path), before);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, c.fileMode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadOnlyHive,
    ::testing::Values(Unwritable{"FileWriteProtected", 0444, false, true, "Permission denied"},
                      Unwritable{"FolderWriteProtected", 0600, true, false,
                                 "its folder cannot be written: Permission denied"},
                      Unwritable{"BothWriteProtected", 0444, false, false, "Permission denied"}),
    [](const ::testing::TestParamInfo<Unwritable>& info) { return std::string(info.param.what); });

TEST(HiveFile, PipeOrFolderAtItsPathIsRefusedAndKept) {
  testing::TempDir dir;
  const std::string pipe = dir.File("pipe.hive");
  const std::string folder = dir.File("folder.hive");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  std::string error;
  EXPECT_FALSE(Hive::OpenFile(pipe, &error)) << "a pipe was taken for a hive";
  EXPECT_EQ(error, "it is not a regular file");
  EXPECT_FALSE(Hive::OpenFile(folder, &error));
  EXPECT_EQ(error, "Is a directory");
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(FilesStartingWith(dir.path(), "", "").size(), 2u) << "nothing was made or moved";
}

// ---- links: nothing but a hive is opened through one, and nothing is changed ------------

// What the hive's path is a link to: a file with |content|, or nothing at all.
struct LinkedTo {
  const char* what;
  const char* content;
};

class HiveLink : public ::testing::TestWithParam<LinkedTo> {};

TEST_P(HiveLink, ToAnythingButAHiveChangesNothing) {
  testing::TempDir dir;
  const std::string target = dir.File("elsewhere/file");
  const std::string link = dir.File("data/h.hive");
  fs::create_directories(dir.File("elsewhere"));
  fs::create_directories(dir.File("data"));
  const char* content = GetParam().content;
  if (content) {
    WriteAll(target, content);
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
  }
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  std::string error;
  ::testing::internal::CaptureStderr();
  auto hive = Hive::OpenFile(link, &error);
  ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(hive) << "opened through a link to something that is not a hive";
  EXPECT_EQ(error.rfind("it is a link to ", 0), 0u) << error;
  if (content) {
    EXPECT_TRUE(ReadAll(target) == content) << "the target's content was changed";
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "the mode of a file that is not a hive was changed";
  } else {
    EXPECT_FALSE(fs::exists(target)) << "a hive was written at the target of a dangling link";
  }
  ASSERT_TRUE(fs::is_symlink(link)) << "the link was replaced";
  EXPECT_EQ(fs::read_symlink(link).string(), target);
  EXPECT_EQ(FilesStartingWith(dir.File("data"), "h.hive", "h.hive").size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Targets, HiveLink,
                         ::testing::Values(LinkedTo{"TextFile", "precious text\n"}, LinkedTo{"EmptyFile", ""},
                                           LinkedTo{"Nothing", nullptr}),
                         [](const ::testing::TestParamInfo<LinkedTo>& info) { return std::string(info.param.what); });

TEST(HiveLinkToAHive, IsFollowedAndKept) {
  testing::TempDir dir;
  const std::string target = dir.File("elsewhere.hive");
  const std::string link = dir.File("h.hive");
  {
    auto hive = Hive::OpenFile(target);
    ASSERT_TRUE(hive);
    ASSERT_TRUE(PreferenceStore(*hive).SaveBaudRate(57600));
  }
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  {
    auto hive = Hive::OpenFile(link);
    ASSERT_TRUE(hive);
    EXPECT_EQ(hive->GetAccess(), Access::kReadWrite);
    PreferenceStore store(*hive);
    EXPECT_EQ(store.LoadBaudRate(), 57600u);
    EXPECT_TRUE(store.SaveBaudRate(9600));
  }
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(PreferenceStore(*Hive::OpenFile(target)).LoadBaudRate(), 9600u);
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "a hive gets the program's mode";
}

class NotAHive : public ::testing::Test {
 protected:
  // Opens |path|, expects it moved aside with its bytes intact, and a fresh hive working.
  // A file that is not the program's own keeps its mode too.
  void ExpectMovedAside(const std::string& path, bool foreign = true) {
    if (foreign) {
      ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    }
    std::string before = ReadAll(path);
    ::testing::internal::CaptureStderr();
    std::string error;
    auto hive = Hive::OpenFile(path, &error);
    std::string notice = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(hive) << error;
    auto aside = FilesStartingWith(dir_.path(), "h.hive.corrupt-", "");
    ASSERT_EQ(aside.size(), 1u) << notice;
    EXPECT_TRUE(ReadAll(aside[0]) == before) << "the moved file differs from the original";
    struct stat st;
    ASSERT_EQ(::stat(aside[0].c_str(), &st), 0);
    if (foreign) {
      EXPECT_EQ(st.st_mode & 0777, 0644u) << "the mode of a file that is not a hive was changed";
    }
    EXPECT_NE(notice.find(aside[0]), std::string::npos) << notice;
    notice_ = notice;
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

  // Makes a hive at h.hive holding a profile, then runs |sql| on it as another program would.
  std::string MakeHiveAndRun(const char* sql) {
    const std::string path = dir_.File("h.hive");
    {
      auto hive = Hive::OpenFile(path);
      EXPECT_TRUE(hive);
      PreferenceProfile p;
      p.name = u"Kept";
      if (hive) {
        EXPECT_TRUE(PreferenceStore(*hive).SaveProfile(p));
      }
    }
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
    return path;
  }

  testing::TempDir dir_;
  std::string notice_;  // what the last ExpectMovedAside printed
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
  ExpectMovedAside(path, /*foreign=*/false);
}

// Objects in a hive's schema that the program does not make: each could run code of its own
// inside the hive's queries (the view and the trigger never end), so the hive is refused
// before any query runs.
struct Foreign {
  const char* what;
  const char* sql;
  const char* reason;
};

class HiveWithForeignSchema : public NotAHive, public ::testing::WithParamInterface<Foreign> {};

TEST_P(HiveWithForeignSchema, IsDamagedAndMovedAsideWithTheReason) {
  const std::string path = MakeHiveAndRun(GetParam().sql);
  ExpectMovedAside(path, /*foreign=*/false);
  EXPECT_NE(notice_.find(GetParam().reason), std::string::npos) << notice_;
}

INSTANTIATE_TEST_SUITE_P(
    Objects, HiveWithForeignSchema,
    ::testing::Values(
        Foreign{"RecursiveViewNamedLikeATable",
                "DROP TABLE hive_keys; CREATE VIEW hive_keys(id, parent, name) AS WITH RECURSIVE r(id, parent, name) AS "
                "(SELECT 1, NULL, x'' UNION ALL SELECT id + 1, 1, x'' FROM r) SELECT * FROM r;",
                "the hive holds a view 'hive_keys' the program does not make"},
        Foreign{"Trigger",
                "CREATE TRIGGER x AFTER INSERT ON hive_keys BEGIN SELECT count(*) FROM (WITH RECURSIVE r(n) AS "
                "(SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT n FROM r); END;",
                "the hive holds a trigger 'x' the program does not make"},
        Foreign{"ExtraTable", "CREATE TABLE other(x); INSERT INTO other VALUES (1);",
                "the hive holds a table 'other' the program does not make"},
        Foreign{"ChangedIndex", "DROP INDEX hive_keys_by_parent; CREATE INDEX hive_keys_by_parent ON hive_keys(name);",
                "the hive's index 'hive_keys_by_parent' is not the one the program makes"}),
    [](const ::testing::TestParamInfo<Foreign>& info) { return std::string(info.param.what); });

TEST_F(NotAHive, HiveWithoutItsOrderIndexesOpensAsItIs) {
  // The layout of a hive made before the order indexes existed: sound, and opened quietly.
  const std::string path = MakeHiveAndRun("DROP INDEX hive_keys_in_order; DROP INDEX hive_values_in_order;");
  ::testing::internal::CaptureStderr();
  auto hive = Hive::OpenFile(path);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ASSERT_TRUE(hive);
  EXPECT_EQ(PreferenceStore(*hive).ListProfileNames(), std::vector<std::u16string>{u"Kept"});
  EXPECT_TRUE(FilesStartingWith(dir_.path(), "h.hive.corrupt-", "").empty());
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
