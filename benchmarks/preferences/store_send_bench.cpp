// The store work of one send (current profile name, profile count, load the profile, add
// the command to the history) on a hive file, beside the same reads and writes done with
// bare SQLite statements on plain tables in the same run.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "entry/model/CommandHistory.h"
#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"

namespace {

using orvane::CommandHistory;
using orvane::PreferenceProfile;
using orvane::PreferenceStore;
using orvane::reg::Hive;

std::string TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
  return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

std::u16string Command(int i) {
  std::string s = "AT+CMD=" + std::to_string(i % 25);
  return std::u16string(s.begin(), s.end());
}

void StoreWorkOfOneSend(benchmark::State& state) {
  std::string dir = TempDir();
  auto hive = Hive::OpenFile(dir + "/bench.hive");
  PreferenceProfile p;
  p.name = u"Hayes";
  p.prefix = u"AT";
  p.suffix = u"<0D>";
  p.timeout = 3;
  p.tokens = {u"<0D><0A>OK<0D><0A>", u"<0D><0A>ERROR<0D><0A>", u"CONNECT"};
  PreferenceStore preferences(*hive);
  CommandHistory history(*hive);
  preferences.SaveProfile(p);
  preferences.SaveCurrentProfileName(u"Hayes");
  for (int i = 0; i < 20; ++i) history.AddToHistory(Command(i));
  int i = 0;
  for (auto _ : state) {
    std::u16string current = preferences.LoadCurrentProfileName();
    int count = preferences.CountProfiles();
    PreferenceProfile loaded;
    bool ok = preferences.LoadProfile(current, &loaded);
    bool saved = history.AddToHistory(Command(i++));
    benchmark::DoNotOptimize(count + ok + saved);
  }
  hive.reset();
  std::filesystem::remove_all(dir);
}

// The same work as plain SQL: read one setting, count profiles, read the profile's seven
// values, then read the 20 history rows and rewrite them in one transaction.
void BareSqliteBaseline(benchmark::State& state) {
  std::string dir = TempDir();
  sqlite3* db = nullptr;
  sqlite3_open((dir + "/bench.db").c_str(), &db);
  sqlite3_exec(db,
               "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
               "CREATE TABLE settings(name TEXT PRIMARY KEY, value BLOB);"
               "CREATE TABLE profiles(profile TEXT, name TEXT, value BLOB, PRIMARY KEY(profile, name));"
               "CREATE TABLE history(n INTEGER PRIMARY KEY, text BLOB);"
               "INSERT INTO settings VALUES('Current', 'Hayes');"
               "INSERT INTO profiles VALUES('Hayes','Prefix','AT'),('Hayes','Suffix','<0D>'),"
               "('Hayes','Timeout',3),('Hayes','TokenCount',3),('Hayes','1','<0D><0A>OK<0D><0A>'),"
               "('Hayes','2','<0D><0A>ERROR<0D><0A>'),('Hayes','3','CONNECT');",
               nullptr, nullptr, nullptr);
  for (int i = 0; i < 20; ++i) {
    std::string sql = "INSERT INTO history VALUES(" + std::to_string(i + 1) + ", 'AT+CMD=" + std::to_string(i) + "')";
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  }
  sqlite3_stmt *current, *count, *value, *readHistory, *clear, *insert;
  sqlite3_prepare_v2(db, "SELECT value FROM settings WHERE name='Current'", -1, &current, nullptr);
  sqlite3_prepare_v2(db, "SELECT count(DISTINCT profile) FROM profiles", -1, &count, nullptr);
  sqlite3_prepare_v2(db, "SELECT value FROM profiles WHERE profile=?1 AND name=?2", -1, &value, nullptr);
  sqlite3_prepare_v2(db, "SELECT text FROM history ORDER BY n", -1, &readHistory, nullptr);
  sqlite3_prepare_v2(db, "DELETE FROM history", -1, &clear, nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO history VALUES(?1, ?2)", -1, &insert, nullptr);
  const char* names[] = {"Prefix", "Suffix", "Timeout", "TokenCount", "1", "2", "3"};
  int i = 0;
  for (auto _ : state) {
    sqlite3_step(current);
    std::string profile(reinterpret_cast<const char*>(sqlite3_column_text(current, 0)));
    sqlite3_reset(current);
    sqlite3_step(count);
    benchmark::DoNotOptimize(sqlite3_column_int(count, 0));
    sqlite3_reset(count);
    for (const char* n : names) {
      sqlite3_bind_text(value, 1, profile.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(value, 2, n, -1, SQLITE_STATIC);
      sqlite3_step(value);
      benchmark::DoNotOptimize(sqlite3_column_bytes(value, 0));
      sqlite3_reset(value);
    }
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    std::string list[20];
    int rows = 0;
    while (sqlite3_step(readHistory) == SQLITE_ROW && rows < 20)
      list[rows++] = reinterpret_cast<const char*>(sqlite3_column_text(readHistory, 0));
    sqlite3_reset(readHistory);
    sqlite3_step(clear);
    sqlite3_reset(clear);
    std::string cmd = "AT+CMD=" + std::to_string(i++ % 25);
    for (int n = 0; n < 20; ++n) {
      sqlite3_bind_int(insert, 1, n + 1);
      const std::string& text = n == 0 ? cmd : list[n - 1];
      sqlite3_bind_text(insert, 2, text.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  for (auto* s : {current, count, value, readHistory, clear, insert}) sqlite3_finalize(s);
  sqlite3_close(db);
  std::filesystem::remove_all(dir);
}

BENCHMARK(BareSqliteBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(StoreWorkOfOneSend)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
