// The hive on SQLite.
//
// Layout: table hive_keys (id, parent, name) with the root as row 1; table hive_values
// (key, name, type, data). Names are stored as the raw UTF-16LE bytes of the name, so
// comparison is exact and case-sensitive. Subkeys enumerate by row id (creation order);
// values by their row id, which an overwrite keeps.
//
// Open key handles are numbers that map to key rows; every call checks that the row still
// exists, so a handle to a key that another call (or another process) deleted reports
// kKeyDeleted instead of touching a reused row.
//
// Transactions: the outermost Begin is BEGIN IMMEDIATE (the write lock is taken up front, so
// a read-then-write sequence such as adding to the history never fails half-way with a busy
// error); nested Begins are savepoints, so an inner Rollback undoes only the inner work and
// the outermost Commit is the one that makes everything durable.
#include "platform/Registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace orvane::reg {
namespace {

static_assert(std::endian::native == std::endian::little,
              "names and strings are stored as the in-memory UTF-16 bytes");

constexpr int kApplicationId = 0x4F525647;  // "ORVG"
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 15000;
constexpr int64_t kRootRow = 1;

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS hive_keys ("
    "  id INTEGER PRIMARY KEY,"
    "  parent INTEGER,"
    "  name BLOB NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS hive_keys_by_parent ON hive_keys(parent, name);"
    "CREATE TABLE IF NOT EXISTS hive_values ("
    "  id INTEGER PRIMARY KEY,"
    "  key INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS hive_values_by_key ON hive_values(key, name);"
    "INSERT OR IGNORE INTO hive_keys(id, parent, name) VALUES (1, NULL, x'');";

// Enumeration by index walks these in creation order without sorting.
const char kOrderIndexes[] =
    "CREATE INDEX IF NOT EXISTS hive_keys_in_order ON hive_keys(parent, id);"
    "CREATE INDEX IF NOT EXISTS hive_values_in_order ON hive_values(key, id);";

// One prepared statement, reset when it goes out of scope.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) {
    rc_ = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  }
  ~Stmt() { sqlite3_finalize(stmt_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  bool ok() const { return rc_ == SQLITE_OK && stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_;
};

// Binds and runs a cached statement; reset on destruction.
class Run {
 public:
  explicit Run(sqlite3_stmt* s) : s_(s) {}
  ~Run() {
    if (s_) {
      sqlite3_reset(s_);
      sqlite3_clear_bindings(s_);
    }
  }
  Run& Int(int i, int64_t v) {
    sqlite3_bind_int64(s_, i, v);
    return *this;
  }
  Run& Blob(int i, const void* p, size_t n) {
    // A zero-length blob must still bind as a blob, not NULL.
    sqlite3_bind_blob64(s_, i, n ? p : "", n, SQLITE_TRANSIENT);
    return *this;
  }
  Run& Name(int i, std::u16string_view name) { return Blob(i, name.data(), name.size() * 2); }
  int Step() { return sqlite3_step(s_); }
  sqlite3_stmt* get() const { return s_; }

 private:
  sqlite3_stmt* s_;
};

Status FromSqlite(int rc) {
  switch (rc) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return kSuccess;
    case SQLITE_NOMEM:
      return kIoError;
    default:
      return kIoError;
  }
}

bool SplitPath(std::u16string_view path, std::vector<std::u16string_view>* parts) {
  parts->clear();
  // A single trailing backslash is accepted and ignored; an empty part elsewhere is not.
  if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  if (path.empty()) return true;
  size_t start = 0;
  while (true) {
    size_t end = path.find(u'\\', start);
    std::u16string_view part = path.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (part.empty()) return false;
    parts->push_back(part);
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return true;
}

// Column |i| of the current row as a name (UTF-16LE bytes) or as stored bytes.
std::u16string NameAt(sqlite3_stmt* s, int i) {
  std::u16string name(static_cast<size_t>(sqlite3_column_bytes(s, i)) / 2, u'\0');
  if (!name.empty()) std::memcpy(name.data(), sqlite3_column_blob(s, i), name.size() * 2);
  return name;
}

std::string DataAt(sqlite3_stmt* s, int i) {
  const void* p = sqlite3_column_blob(s, i);
  return std::string(static_cast<const char*>(p ? p : ""), static_cast<size_t>(sqlite3_column_bytes(s, i)));
}

class SqliteHive final : public Hive {
 public:
  // A read-only hive refuses every write itself (kAccessDenied) rather than leaving it to
  // SQLite, and reads in plain (deferred) transactions, which take no write lock.
  SqliteHive(sqlite3* db, bool readOnly) : db_(db), readOnly_(readOnly) {}
  ~SqliteHive() override {
    if (depth_ > 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    statements_.clear();
    sqlite3_close_v2(db_);
  }

  bool Prepare() {
    const char* sql[] = {
        /*0*/ "SELECT id FROM hive_keys WHERE parent = ?1 AND name = ?2",
        /*1*/ "INSERT INTO hive_keys(parent, name) VALUES (?1, ?2)",
        /*2*/ "SELECT 1 FROM hive_keys WHERE id = ?1",
        /*3*/ "SELECT name FROM hive_keys WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
        /*4*/ "SELECT name, type, data FROM hive_values WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
        /*5*/ "SELECT type, data FROM hive_values WHERE key = ?1 AND name = ?2",
        /*6*/ "INSERT INTO hive_values(key, name, type, data) VALUES (?1, ?2, ?3, ?4) "
              "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data",
        /*7*/ "DELETE FROM hive_values WHERE key = ?1 AND name = ?2",
        // The tree below a key is walked here rather than with a recursive query: that
        // would build a temporary table (and its page cache) on every delete.
        /*8*/ "DELETE FROM hive_values WHERE key = ?1",
        /*9*/ "DELETE FROM hive_keys WHERE id = ?1",
        /*10*/ "SELECT id FROM hive_keys WHERE parent = ?1",
        /*11*/ "SELECT name FROM hive_keys WHERE parent = ?1 ORDER BY id LIMIT ?3 OFFSET ?2",
        /*12*/ "SELECT name, type, data FROM hive_values WHERE key = ?1 ORDER BY id",
    };
    for (const char* s : sql) {
      auto stmt = std::make_unique<Stmt>(db_, s);
      if (!stmt->ok()) return false;
      statements_.push_back(std::move(stmt));
    }
    return true;
  }

  Status CreateKey(Key parent, std::u16string_view subKey, Key* out) override {
    return Open(parent, subKey, out, true);
  }
  Status OpenKey(Key parent, std::u16string_view subKey, Key* out) override {
    return Open(parent, subKey, out, false);
  }

  Access GetAccess() const override { return readOnly_ ? Access::kReadOnly : Access::kReadWrite; }

  Status CloseKey(Key key) override {
    std::lock_guard lock(mutex_);
    if (key == kLocalMachine) return kSuccess;
    return handles_.erase(key) ? kSuccess : kInvalidHandle;
  }

  Status EnumKey(Key key, uint32_t index, char16_t* name, uint32_t* nameChars) override {
    std::lock_guard lock(mutex_);
    if (!nameChars || (!name && *nameChars)) return kInvalidParameter;
    int64_t row;
    if (Status s = Row(key, &row); s != kSuccess) return s;
    Run q(stmt(3));
    q.Int(1, row).Int(2, index);
    int rc = q.Step();
    if (rc == SQLITE_DONE) return kNoMoreItems;
    if (rc != SQLITE_ROW) return kIoError;
    size_t chars = static_cast<size_t>(sqlite3_column_bytes(q.get(), 0)) / 2;
    if (chars + 1 > *nameChars) {
      *nameChars = static_cast<uint32_t>(chars + 1);
      return kMoreData;
    }
    if (chars) std::memcpy(name, sqlite3_column_blob(q.get(), 0), chars * 2);
    name[chars] = u'\0';
    *nameChars = static_cast<uint32_t>(chars);
    return kSuccess;
  }

  Status EnumValue(Key key, uint32_t index, std::u16string* name, uint32_t* type,
                   std::string* data) override {
    std::lock_guard lock(mutex_);
    int64_t row;
    if (Status s = Row(key, &row); s != kSuccess) return s;
    Run q(stmt(4));
    q.Int(1, row).Int(2, index);
    int rc = q.Step();
    if (rc == SQLITE_DONE) return kNoMoreItems;
    if (rc != SQLITE_ROW) return kIoError;
    if (name) *name = NameAt(q.get(), 0);
    if (type) *type = static_cast<uint32_t>(sqlite3_column_int64(q.get(), 1));
    if (data) *data = DataAt(q.get(), 2);
    return kSuccess;
  }

  Status EnumKeys(Key key, uint32_t first, uint32_t limit, std::vector<std::u16string>* names) override {
    std::lock_guard lock(mutex_);
    if (!names) return kInvalidParameter;
    names->clear();
    int64_t row;
    if (Status s = Row(key, &row); s != kSuccess) return s;
    Run q(stmt(11));
    q.Int(1, row).Int(2, first).Int(3, limit);
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) names->push_back(NameAt(q.get(), 0));
    if (rc == SQLITE_DONE) return kSuccess;
    names->clear();
    return kIoError;
  }

  Status EnumValues(Key key, std::vector<ValueEntry>* values) override {
    std::lock_guard lock(mutex_);
    if (!values) return kInvalidParameter;
    values->clear();
    int64_t row;
    if (Status s = Row(key, &row); s != kSuccess) return s;
    Run q(stmt(12));
    q.Int(1, row);
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
      ValueEntry& v = values->emplace_back();
      v.name = NameAt(q.get(), 0);
      v.type = static_cast<uint32_t>(sqlite3_column_int64(q.get(), 1));
      v.data = DataAt(q.get(), 2);
    }
    if (rc == SQLITE_DONE) return kSuccess;
    values->clear();
    return kIoError;
  }

  Status QueryValue(Key key, std::u16string_view name, uint32_t* type, uint8_t* data,
                    uint32_t* dataBytes) override {
    std::lock_guard lock(mutex_);
    if (data && !dataBytes) return kInvalidParameter;
    int64_t row;
    if (Status s = Row(key, &row); s != kSuccess) return s;
    Run q(stmt(5));
    q.Int(1, row).Name(2, name);
    int rc = q.Step();
    if (rc == SQLITE_DONE) return kFileNotFound;
    if (rc != SQLITE_ROW) return kIoError;
    if (type) *type = static_cast<uint32_t>(sqlite3_column_int64(q.get(), 0));
    const void* p = sqlite3_column_blob(q.get(), 1);
    uint32_t stored = static_cast<uint32_t>(sqlite3_column_bytes(q.get(), 1));
    if (!dataBytes) return kSuccess;
    uint32_t room = *dataBytes;
    *dataBytes = stored;
    if (!data) return kSuccess;
    if (stored > room) return kMoreData;
    if (stored) std::memcpy(data, p, stored);
    return kSuccess;
  }

  Status SetValue(Key key, std::u16string_view name, uint32_t type, const uint8_t* data,
                  uint32_t dataBytes) override {
    std::lock_guard lock(mutex_);
    if (!data && dataBytes) return kInvalidParameter;
    if (readOnly_) return kAccessDenied;
    int64_t row;
    if (Status s = Row(key, &row); s != kSuccess) return s;
    Run q(stmt(6));
    q.Int(1, row).Name(2, name).Int(3, type).Blob(4, data, dataBytes);
    return FromSqlite(q.Step());
  }

  Status DeleteValue(Key key, std::u16string_view name) override {
    std::lock_guard lock(mutex_);
    if (readOnly_) return kAccessDenied;
    int64_t row;
    if (Status s = Row(key, &row); s != kSuccess) return s;
    Run q(stmt(7));
    q.Int(1, row).Name(2, name);
    int rc = q.Step();
    if (rc != SQLITE_DONE) return kIoError;
    return sqlite3_changes(db_) ? kSuccess : kFileNotFound;
  }

  Status DeleteKey(Key parent, std::u16string_view subKey) override {
    std::lock_guard lock(mutex_);
    std::vector<std::u16string_view> parts;
    if (!SplitPath(subKey, &parts) || parts.empty()) return kInvalidParameter;
    if (readOnly_) return kAccessDenied;
    int64_t row;
    if (Status s = Row(parent, &row); s != kSuccess) return s;
    if (Status s = BeginLocked(); s != kSuccess) return s;
    Status result = kSuccess;
    for (auto part : parts) {
      if (Status s = Child(row, part, &row); s != kSuccess) {
        result = s;
        break;
      }
    }
    if (result == kSuccess) result = DeleteTree(row);
    return Finish(result);
  }

  Status Begin() override {
    std::lock_guard lock(mutex_);
    return BeginLocked();
  }
  Status BeginRead() override {
    std::lock_guard lock(mutex_);
    return BeginLocked(/*write=*/false);
  }
  Status Commit() override {
    std::lock_guard lock(mutex_);
    return CommitLocked();
  }
  void Rollback() override {
    std::lock_guard lock(mutex_);
    RollbackLocked();
  }

 private:
  sqlite3_stmt* stmt(size_t i) const { return statements_[i]->get(); }

  Status Row(Key key, int64_t* row) {
    if (key == kLocalMachine) {
      *row = kRootRow;
      return kSuccess;
    }
    auto it = handles_.find(key);
    if (it == handles_.end()) return kInvalidHandle;
    Run q(stmt(2));
    q.Int(1, it->second);
    int rc = q.Step();
    if (rc == SQLITE_DONE) return kKeyDeleted;
    if (rc != SQLITE_ROW) return kIoError;
    *row = it->second;
    return kSuccess;
  }

  // Deletes key row |root| with every key and value below it.
  Status DeleteTree(int64_t root) {
    std::vector<int64_t> pending{root}, all;
    while (!pending.empty()) {
      int64_t id = pending.back();
      pending.pop_back();
      all.push_back(id);
      Run children(stmt(10));
      children.Int(1, id);
      int rc;
      while ((rc = children.Step()) == SQLITE_ROW) pending.push_back(sqlite3_column_int64(children.get(), 0));
      if (rc != SQLITE_DONE) return kIoError;
    }
    for (int64_t id : all) {
      Run values(stmt(8));
      values.Int(1, id);
      Run keys(stmt(9));
      keys.Int(1, id);
      if (values.Step() != SQLITE_DONE || keys.Step() != SQLITE_DONE) return kIoError;
    }
    return kSuccess;
  }

  Status Child(int64_t parent, std::u16string_view name, int64_t* out) {
    Run q(stmt(0));
    q.Int(1, parent).Name(2, name);
    int rc = q.Step();
    if (rc == SQLITE_ROW) {
      *out = sqlite3_column_int64(q.get(), 0);
      return kSuccess;
    }
    return rc == SQLITE_DONE ? kFileNotFound : kIoError;
  }

  Status Open(Key parent, std::u16string_view subKey, Key* out, bool create) {
    std::lock_guard lock(mutex_);
    if (!out) return kInvalidParameter;
    *out = kNoKey;
    std::vector<std::u16string_view> parts;
    if (!SplitPath(subKey, &parts)) return kInvalidParameter;
    int64_t row;
    if (Status s = Row(parent, &row); s != kSuccess) return s;
    // Walk the existing part of the path without writing; only a missing key starts a
    // write transaction, so opening never needs the write lock.
    size_t i = 0;
    for (; i < parts.size(); ++i) {
      Status s = Child(row, parts[i], &row);
      if (s == kFileNotFound) break;
      if (s != kSuccess) return s;
    }
    if (i < parts.size()) {
      if (!create) return kFileNotFound;
      if (readOnly_) return kAccessDenied;
      if (Status s = BeginLocked(); s != kSuccess) return s;
      Status result = kSuccess;
      for (; i < parts.size() && result == kSuccess; ++i) {
        // Another process may have made it since the walk above.
        int64_t child;
        Status s = Child(row, parts[i], &child);
        if (s == kSuccess) {
          row = child;
          continue;
        }
        if (s != kFileNotFound) {
          result = s;
          break;
        }
        Run ins(stmt(1));
        ins.Int(1, row).Name(2, parts[i]);
        if (ins.Step() != SQLITE_DONE) {
          result = kIoError;
          break;
        }
        row = sqlite3_last_insert_rowid(db_);
      }
      if (Status s = Finish(result); s != kSuccess) return s;
    }
    Key handle = nextHandle_++;
    handles_[handle] = row;
    *out = handle;
    return kSuccess;
  }

  Status Exec(const std::string& sql) {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK ? kSuccess
                                                                                   : kIoError;
  }

  Status BeginLocked(bool write = true) {
    Status s = depth_ > 0 ? Exec("SAVEPOINT s" + std::to_string(depth_))
                          : Exec(readOnly_ || !write ? "BEGIN" : "BEGIN IMMEDIATE");
    if (s == kSuccess) ++depth_;
    return s;
  }

  Status CommitLocked() {
    if (depth_ == 0) return kInvalidParameter;
    if (depth_ > 1) {
      --depth_;
      return Exec("RELEASE s" + std::to_string(depth_));
    }
    if (Exec("COMMIT") == kSuccess) {
      depth_ = 0;
      return kSuccess;
    }
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    depth_ = 0;
    return kIoError;
  }

  void RollbackLocked() {
    if (depth_ == 0) return;
    if (depth_ > 1) {
      --depth_;
      std::string name = "s" + std::to_string(depth_);
      Exec("ROLLBACK TO " + name);
      Exec("RELEASE " + name);
      return;
    }
    Exec("ROLLBACK");
    depth_ = 0;
  }

  // Ends the internal transaction of one call: commit on success, roll back otherwise.
  Status Finish(Status result) {
    if (result != kSuccess) {
      RollbackLocked();
      return result;
    }
    return CommitLocked();
  }

  sqlite3* db_;
  const bool readOnly_;
  std::recursive_mutex mutex_;
  std::vector<std::unique_ptr<Stmt>> statements_;
  std::unordered_map<Key, int64_t> handles_;
  Key nextHandle_ = 1;
  int depth_ = 0;
};

// ---- a hive that could not be opened --------------------------------------------------

class NoHive final : public Hive {
 public:
  Access GetAccess() const override { return Access::kNone; }
  Status CreateKey(Key, std::u16string_view, Key* out) override { return Fail(out); }
  Status OpenKey(Key, std::u16string_view, Key* out) override { return Fail(out); }
  Status CloseKey(Key) override { return kIoError; }
  Status EnumKey(Key, uint32_t, char16_t*, uint32_t*) override { return kIoError; }
  Status EnumValue(Key, uint32_t, std::u16string*, uint32_t*, std::string*) override { return kIoError; }
  Status EnumKeys(Key, uint32_t, uint32_t, std::vector<std::u16string>*) override { return kIoError; }
  Status EnumValues(Key, std::vector<ValueEntry>*) override { return kIoError; }
  Status QueryValue(Key, std::u16string_view, uint32_t*, uint8_t*, uint32_t*) override { return kIoError; }
  Status SetValue(Key, std::u16string_view, uint32_t, const uint8_t*, uint32_t) override { return kIoError; }
  Status DeleteValue(Key, std::u16string_view) override { return kIoError; }
  Status DeleteKey(Key, std::u16string_view) override { return kIoError; }
  Status Begin() override { return kIoError; }
  Status BeginRead() override { return kIoError; }
  Status Commit() override { return kIoError; }
  void Rollback() override {}

 private:
  static Status Fail(Key* out) {
    if (out) *out = kNoKey;
    return kIoError;
  }
};

// ---- opening files --------------------------------------------------------------------

enum class OpenResult { kOk, kNotAHive, kFailed };

std::string SqliteError(sqlite3* db, const std::string& what) {
  return what + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
}

// The system's reason why a call on |db| failed with |rc|, in words ("Permission denied").
std::string Reason(sqlite3* db, int rc) {
  const int e = db ? sqlite3_system_errno(db) : ENOMEM;
  return e != 0 ? std::strerror(e) : sqlite3_errstr(rc);
}

bool IsNotAHiveCode(int rc) {
  int primary = rc & 0xff;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

int ExecRc(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

int QueryInt(sqlite3* db, const char* sql, int* value) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      *value = sqlite3_column_int(s, 0);
      rc = SQLITE_OK;
    } else if (rc == SQLITE_DONE) {
      rc = SQLITE_CORRUPT;
    }
  }
  sqlite3_finalize(s);
  return rc;
}

void Configure(sqlite3* db) {
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);
}

// One entry of a database's schema table.
struct SchemaObject {
  std::string type, name, table, sql;
  bool operator==(const SchemaObject&) const = default;
};

// Reads the schema table of |db| into |objects|.
int ReadSchema(sqlite3* db, std::vector<SchemaObject>* objects) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT type, name, tbl_name, sql FROM sqlite_master", -1, &s, nullptr);
  auto text = [s](int column) {
    const unsigned char* t = sqlite3_column_text(s, column);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
  };
  while (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
    objects->push_back({text(0), text(1), text(2), text(3)});
    rc = SQLITE_OK;
  }
  sqlite3_finalize(s);
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// The objects a hive is laid out with, as SQLite records them: read from a layout made in
// memory, so the text is exactly what SQLite keeps. The order indexes are |optional|: a
// hive made before they existed gets them once it is opened for writing. Both are empty
// when the layout cannot be made.
struct HiveLayout {
  std::vector<SchemaObject> required, optional;
};

const HiveLayout& OwnLayout() {
  static const HiveLayout layout = [] {
    HiveLayout made;
    std::vector<SchemaObject> all;
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                    nullptr) == SQLITE_OK &&
                    ExecRc(db, kSchema) == SQLITE_OK && ReadSchema(db, &made.required) == SQLITE_OK &&
                    ExecRc(db, kOrderIndexes) == SQLITE_OK && ReadSchema(db, &all) == SQLITE_OK;
    sqlite3_close_v2(db);
    if (!ok || made.required.empty()) return HiveLayout{};
    for (SchemaObject& o : all)
      if (std::find(made.required.begin(), made.required.end(), o) == made.required.end())
        made.optional.push_back(std::move(o));
    return made;
  }();
  return layout;
}

// |name| as it can be shown in a one-line message: control characters become '?', and a
// long name is cut.
std::string Printable(const std::string& name) {
  constexpr size_t kShown = 60;
  std::string out;
  for (size_t i = 0; i < name.size() && i < kShown; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    out += c < 0x20 || c == 0x7f ? '?' : name[i];
  }
  if (name.size() > kShown) out += "...";
  return out;
}

// Checks the schema of |db| holds the hive's own tables and indexes and nothing else:
// anything more (a view, a trigger, another table) would run its own code inside the
// hive's queries, which may never end. The order indexes may be missing (a hive made
// before they existed gets them once it is opened for writing), and so may indexes that
// SQLite makes itself for a table's constraints. Only the schema table is read.
OpenResult CheckLayout(sqlite3* db, std::string* error) {
  const HiveLayout& own = OwnLayout();
  std::vector<SchemaObject> found;
  const int rc = own.required.empty() ? SQLITE_NOMEM : ReadSchema(db, &found);
  if (rc != SQLITE_OK) {
    if (IsNotAHiveCode(rc)) {
      *error = SqliteError(db, "reading the hive");
      return OpenResult::kNotAHive;
    }
    *error = own.required.empty() ? std::strerror(ENOMEM) : Reason(db, rc);
    return OpenResult::kFailed;
  }
  auto in = [](const std::vector<SchemaObject>& list, const SchemaObject& o) {
    return std::find(list.begin(), list.end(), o) != list.end();
  };
  auto sameName = [](const std::vector<SchemaObject>& list, const SchemaObject& o) {
    return std::any_of(list.begin(), list.end(),
                       [&](const SchemaObject& e) { return e.type == o.type && e.name == o.name; });
  };
  // An index SQLite makes itself for a UNIQUE or PRIMARY KEY constraint of one of the tables.
  auto automatic = [&](const SchemaObject& o) {
    return o.type == "index" && o.sql.empty() && o.name.rfind("sqlite_autoindex_" + o.table + "_", 0) == 0 &&
           sameName(own.required, SchemaObject{"table", o.table, o.table, {}});
  };
  for (const SchemaObject& o : found) {
    if (in(own.required, o) || in(own.optional, o) || automatic(o)) continue;
    if (sameName(own.required, o) || sameName(own.optional, o))
      *error = "the hive's " + o.type + " '" + o.name + "' is not the one the program makes";
    else
      *error = "the hive holds " + std::string(o.type == "index" ? "an " : "a ") + Printable(o.type) + " '" +
               Printable(o.name) + "' the program does not make";
    return OpenResult::kNotAHive;
  }
  for (const SchemaObject& e : own.required) {
    if (in(found, e)) continue;
    *error = "the hive lacks its " + e.type + " '" + e.name + "'";
    return OpenResult::kNotAHive;
  }
  return OpenResult::kOk;
}

// Checks the database is a hive, reading only, so a file that is not one is left exactly as
// it was. kOk with *empty set when the file holds nothing yet.
OpenResult Inspect(sqlite3* db, bool* empty, std::string* error) {
  auto fail = [&](int rc, const char* what) {
    if (IsNotAHiveCode(rc)) {
      *error = SqliteError(db, what);
      return OpenResult::kNotAHive;
    }
    *error = Reason(db, rc);
    return OpenResult::kFailed;
  };
  int rc;
  int appId = 0, tables = 0, version = 0;
  if ((rc = QueryInt(db, "PRAGMA application_id", &appId)) != SQLITE_OK) return fail(rc, "reading the hive");
  if ((rc = QueryInt(db, "SELECT count(*) FROM sqlite_master", &tables)) != SQLITE_OK)
    return fail(rc, "reading the hive");
  if ((rc = QueryInt(db, "PRAGMA user_version", &version)) != SQLITE_OK) return fail(rc, "reading the hive");
  *empty = appId == 0 && tables == 0;
  if (*empty) return OpenResult::kOk;
  if (appId != kApplicationId || version != kSchemaVersion) {
    *error = "the file is an SQLite database but not a hive";
    return OpenResult::kNotAHive;
  }
  // Before any query touches the hive's tables: what they are must be known first.
  if (OpenResult laid = CheckLayout(db, error); laid != OpenResult::kOk) return laid;
  // A hive from this program: check its pages and tables are sound.
  sqlite3_stmt* s = nullptr;
  rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &s, nullptr);
  bool sound = false;
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(s);
    sound = rc == SQLITE_ROW && std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "ok") == 0;
  }
  sqlite3_finalize(s);
  if (!sound) {
    if (rc != SQLITE_ROW && !IsNotAHiveCode(rc)) return fail(rc, "checking the hive");
    *error = "the hive's pages failed their check";
    return OpenResult::kNotAHive;
  }
  int root = 0;
  rc = QueryInt(db, "SELECT count(*) FROM hive_keys WHERE id = 1 AND parent IS NULL", &root);
  if (rc != SQLITE_OK || root != 1) {
    *error = "the hive has no root key";
    return OpenResult::kNotAHive;
  }
  return OpenResult::kOk;
}

// Makes the database ready: WAL for a file, the layout for an empty one. The layout is made
// under the write lock, so two processes opening a fresh file do not both lay it out.
OpenResult SetUp(sqlite3* db, bool file, std::string* error) {
  Configure(db);
  bool empty = false;
  OpenResult inspected = Inspect(db, &empty, error);
  if (inspected != OpenResult::kOk) return inspected;
  int rc;
  if (file) {
    if ((rc = ExecRc(db, "PRAGMA journal_mode=WAL")) != SQLITE_OK) {
      *error = Reason(db, rc);
      return OpenResult::kFailed;
    }
    ExecRc(db, "PRAGMA synchronous=NORMAL");
  }
  if (!empty) {
    ExecRc(db, kOrderIndexes);  // a hive made before they existed
    return OpenResult::kOk;
  }
  if ((rc = ExecRc(db, "BEGIN IMMEDIATE")) != SQLITE_OK) {
    *error = Reason(db, rc);
    return OpenResult::kFailed;
  }
  // Another process may have laid it out meanwhile.
  OpenResult again = Inspect(db, &empty, error);
  if (again != OpenResult::kOk) {
    ExecRc(db, "ROLLBACK");
    return again;
  }
  if (empty) {
    std::string init = std::string(kSchema) + kOrderIndexes + "PRAGMA application_id=" + std::to_string(kApplicationId) +
                       ";PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
    if ((rc = ExecRc(db, init.c_str())) != SQLITE_OK) {
      *error = Reason(db, rc);
      ExecRc(db, "ROLLBACK");
      return OpenResult::kFailed;
    }
  }
  if ((rc = ExecRc(db, "COMMIT")) != SQLITE_OK) {
    *error = Reason(db, rc);
    ExecRc(db, "ROLLBACK");
    return OpenResult::kFailed;
  }
  return OpenResult::kOk;
}

std::string TimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
  return buf;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Renames the hive (and its journal files) to PATH.corrupt-STAMP[-N]; returns the new name.
bool MoveAside(const std::string& path, std::string* aside) {
  std::string base = path + ".corrupt-" + TimeStamp();
  std::string name = base;
  for (int n = 2; Exists(name) || Exists(name + "-wal"); ++n) name = base + "-" + std::to_string(n);
  if (::rename(path.c_str(), name.c_str()) != 0) return false;
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    std::string from = path + suffix;
    if (Exists(from)) ::rename(from.c_str(), (name + suffix).c_str());
  }
  *aside = name;
  return true;
}

// Makes |dir| and the folders above it that are missing (mode 0700). False with errno set.
bool MakeDirs(const std::string& dir) {
  if (dir.empty()) return true;
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  if (errno != ENOENT) return false;
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// What a file's first bytes say it holds.
enum class Content { kEmpty, kHive, kOther };

bool ReadContent(int fd, Content* content) {
  unsigned char head[100];
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = ::pread(fd, head + got, sizeof head - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  static const char kMagic[] = "SQLite format 3";  // 16 bytes with its zero
  const uint32_t appId = got == sizeof head ? static_cast<uint32_t>(head[68]) << 24 | head[69] << 16 |
                                                  head[70] << 8 | head[71]
                                            : 0;
  if (got == 0)
    *content = Content::kEmpty;
  else if (got == sizeof head && std::memcmp(head, kMagic, sizeof kMagic) == 0 && appId == kApplicationId)
    *content = Content::kHive;
  else
    *content = Content::kOther;
  return true;
}

// The file a hive is kept in, as found before anything is changed.
struct HiveFile {
  std::string path;           // what SQLite opens: the link's target when it is a link
  bool linked = false;
  bool writable = false;
  std::string readOnlyReason; // why it cannot be written, when it cannot be opened for it
  Content content = Content::kEmpty;
};

// Finds the file at |path| and, when nothing is there, makes the empty file (mode 0600) a
// new hive goes into. Nothing else is changed, except the mode of the program's own file:
// one whose first bytes say it is a hive, or an empty one at |path| itself (a new hive
// goes into it); never anything a link leads to unless it is a hive. False with the reason
// in |error| when no hive can be used there.
bool FindFile(const std::string& path, HiveFile* file, std::string* error) {
  auto fail = [error](std::string why) {
    *error = std::move(why);
    return false;
  };
  struct stat st;
  for (int attempt = 0;; ++attempt) {
    if (::lstat(path.c_str(), &st) == 0) break;
    if (errno != ENOENT || attempt == 2) return fail(std::strerror(errno));
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(path.substr(0, slash))) return fail(std::strerror(errno));
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      *file = HiveFile{path, false, true, {}, Content::kEmpty};
      return true;
    }
    if (errno != EEXIST) return fail(std::strerror(errno));
    // Another process made it meanwhile: look at what it made.
  }
  file->path = path;
  file->linked = S_ISLNK(st.st_mode);
  if (file->linked) {
    char* target = ::realpath(path.c_str(), nullptr);
    if (!target) {
      return fail(errno == ENOENT ? std::string("it is a link to a file that does not exist")
                                  : std::string("it is a link that cannot be followed: ") + std::strerror(errno));
    }
    file->path = target;
    std::free(target);
    if (::stat(file->path.c_str(), &st) != 0) return fail(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return fail("it is a link to something that is not a file");
  } else if (S_ISDIR(st.st_mode)) {
    return fail(std::strerror(EISDIR));
  } else if (!S_ISREG(st.st_mode)) {
    return fail("it is not a regular file");
  }
  // Opened without following a link, without waiting and without taking a terminal, in
  // case something other than a file was put there meanwhile.
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::open(file->path.c_str(), O_RDWR | flags);
  file->writable = fd >= 0;
  if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    file->readOnlyReason = std::strerror(errno);
    fd = ::open(file->path.c_str(), O_RDONLY | flags);
  }
  if (fd < 0) return fail(std::strerror(errno));
  bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadContent(fd, &file->content);
  const int readError = errno;
  if (read && file->content != Content::kOther && file->writable && st.st_uid == ::geteuid() &&
      (st.st_mode & 0777) != 0600 && !(file->linked && file->content != Content::kHive))
    ::fchmod(fd, 0600);
  ::close(fd);
  if (!read) return fail(S_ISREG(st.st_mode) ? std::strerror(readError) : "it is not a regular file");
  if (file->linked && file->content == Content::kEmpty) return fail("it is a link to an empty file");
  if (file->linked && file->content == Content::kOther) return fail("it is a link to a file that is not a hive");
  return true;
}

// Why a hive file that opens for writing still cannot be written, when the reason lies
// beside it: SQLite keeps the journal and the shared memory of a hive in PATH-wal and
// PATH-shm, which must be made (or opened) for writing too. |otherwise| when they can.
std::string JournalProblem(const std::string& path, const std::string& otherwise) {
  for (const char* suffix : {"-wal", "-shm"}) {
    const std::string file = path + suffix;
    if (::access(file.c_str(), F_OK) == 0 && ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0)
      return "its " + std::string(suffix + 1) + " file cannot be written: " + std::strerror(errno);
  }
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return "its folder cannot be written: " + std::string(std::strerror(errno));
  return otherwise;
}

// |path| as an SQLite URI ("file:" and the path with %, ? and # escaped).
std::string FileUri(const std::string& path) {
  std::string uri = path[0] == '/' ? "file://" : "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      static const char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[static_cast<unsigned char>(c) >> 4];
      uri += kHex[c & 0xF];
    } else {
      uri += c;
    }
  }
  return uri;
}

// Opens |file| for reading and writing and makes it ready (a new hive is laid out).
OpenResult OpenWritable(const HiveFile& file, sqlite3** out, std::string* error) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(file.path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  OpenResult result = OpenResult::kFailed;
  if (rc != SQLITE_OK) {
    *error = IsNotAHiveCode(rc) ? SqliteError(db, "opening the hive") : Reason(db, rc);
    if (IsNotAHiveCode(rc)) result = OpenResult::kNotAHive;
  } else {
    result = SetUp(db, true, error);
    if (result == OpenResult::kOk && sqlite3_db_readonly(db, "main") == 1) {
      *error = std::strerror(EACCES);
      result = OpenResult::kFailed;
    }
  }
  if (result == OpenResult::kOk)
    *out = db;
  else
    sqlite3_close_v2(db);
  return result;
}

// Opens |file| for reading only. A hive in WAL mode needs its -wal and -shm files beside
// it; when they are not there and cannot be made (a folder that cannot be written), the
// hive is read as its file holds it ("immutable"): what a running writer has not yet moved
// from its journal into the file is not seen then.
OpenResult OpenReadOnly(const HiveFile& file, sqlite3** out, bool* empty, std::string* error) {
  OpenResult result = OpenResult::kFailed;
  for (const bool immutable : {false, true}) {
    const std::string name = immutable ? FileUri(file.path) + "?immutable=1" : file.path;
    const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | (immutable ? SQLITE_OPEN_URI : 0);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
    if (rc == SQLITE_OK) {
      Configure(db);
      result = Inspect(db, empty, error);
    } else {
      *error = Reason(db, rc);
      result = IsNotAHiveCode(rc) ? OpenResult::kNotAHive : OpenResult::kFailed;
    }
    if (result == OpenResult::kOk) {
      *out = db;
      return result;
    }
    sqlite3_close_v2(db);
    if (result == OpenResult::kNotAHive) return result;
  }
  return result;
}

std::unique_ptr<Hive> MakeHive(sqlite3* db, bool readOnly, std::string* error) {
  auto hive = std::make_unique<SqliteHive>(db, readOnly);
  if (!hive->Prepare()) {
    if (error) *error = SqliteError(db, "preparing the hive");
    return nullptr;
  }
  return hive;
}

}  // namespace

std::unique_ptr<Hive> Hive::OpenFile(const std::string& path, std::string* error) {
  std::string ignored;
  std::string& err = error ? *error : ignored;
  err.clear();
  if (path.empty()) {
    err = std::strerror(ENOENT);
    return nullptr;
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    HiveFile file;
    if (!FindFile(path, &file, &err)) return nullptr;
    sqlite3* db = nullptr;
    OpenResult result = OpenResult::kFailed;
    if (file.writable) {
      result = OpenWritable(file, &db, &err);
      if (result == OpenResult::kOk) return MakeHive(db, false, error);
      if (result == OpenResult::kFailed) file.readOnlyReason = JournalProblem(file.path, err);
    }
    if (result == OpenResult::kFailed) {
      // It cannot be written: a hive in it is still read.
      bool empty = false;
      std::string readError;
      result = OpenReadOnly(file, &db, &empty, &readError);
      if (result == OpenResult::kOk && !empty) {
        err = file.readOnlyReason;
        return MakeHive(db, true, error);
      }
      if (result == OpenResult::kOk) sqlite3_close_v2(db);  // no hive in it, and none can be laid out
      if (result != OpenResult::kNotAHive) {
        err = file.readOnlyReason.empty() ? readError : file.readOnlyReason;
        return nullptr;
      }
      err = readError;
    }
    // Not a hive: kept as it is, under another name, unless it is behind a link.
    if (file.linked) {
      err = "it is a link to a damaged hive (" + err + ")";
      return nullptr;
    }
    if (attempt > 0) return nullptr;
    std::string aside;
    if (!MoveAside(path, &aside)) {
      err = "it is not a valid hive and could not be moved aside: " + std::string(std::strerror(errno));
      return nullptr;
    }
    std::fprintf(stderr, "orvane: %s was not a valid hive (%s); it was kept as %s and a fresh hive was started.\n",
                 path.c_str(), err.c_str(), aside.c_str());
    err.clear();
  }
  return nullptr;
}

std::unique_ptr<Hive> Hive::OpenMemory() {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close_v2(db);
    return nullptr;
  }
  std::string error;
  if (SetUp(db, false, &error) != OpenResult::kOk) {
    sqlite3_close_v2(db);
    return nullptr;
  }
  return MakeHive(db, false, nullptr);
}

std::unique_ptr<Hive> Hive::OpenNone() { return std::make_unique<NoHive>(); }

std::string Hive::DefaultHandheldPath() {
  std::string base;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;  // relative values are ignored, as the XDG rules say
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      struct passwd* pw = ::getpwuid(::geteuid());
      home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
    }
    base = std::string(home) + "/.local/share";
  }
  return base + "/orvane-port-linewright/handheld.hive";
}

std::unique_ptr<Hive> Hive::OpenHandheld(std::string* reason) {
  std::string why;
  std::unique_ptr<Hive> hive = OpenFile(DefaultHandheldPath(), &why);
  if (!hive) hive = OpenNone();
  if (reason) *reason = hive->GetAccess() == Access::kReadWrite ? std::string() : why;
  return hive;
}

Status Hive::SetString(Key key, std::u16string_view name, std::u16string_view text) {
  std::u16string data(text);
  data.push_back(u'\0');
  return SetValue(key, name, kTypeString, reinterpret_cast<const uint8_t*>(data.data()),
                  static_cast<uint32_t>(data.size() * 2));
}

Status Hive::SetDword(Key key, std::u16string_view name, uint32_t value) {
  uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                      static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return SetValue(key, name, kTypeDword, bytes, 4);
}

Status Hive::QueryString(Key key, std::u16string_view name, std::u16string* text) {
  // Ask the size, then read; repeat if the value grew in between.
  for (int attempt = 0; attempt < 4; ++attempt) {
    uint32_t size = 0;
    Status s = QueryValue(key, name, nullptr, nullptr, &size);
    if (s != kSuccess) return s;
    std::vector<uint8_t> buf(size + 2, 0);
    uint32_t room = static_cast<uint32_t>(buf.size());
    s = QueryValue(key, name, nullptr, buf.data(), &room);
    if (s == kMoreData) continue;
    if (s != kSuccess) return s;
    size_t chars = room / 2;
    std::u16string result(chars, u'\0');
    if (chars) std::memcpy(result.data(), buf.data(), chars * 2);
    // The text ends at its terminator (whatever follows it is not text).
    size_t end = result.find(u'\0');
    if (end != std::u16string::npos) result.resize(end);
    if (text) *text = std::move(result);
    return kSuccess;
  }
  return kIoError;
}

Status Hive::ForEachSubkey(Key key, const std::function<bool(std::u16string_view)>& take) {
  std::vector<std::u16string> names;
  uint32_t first = 0;
  for (uint32_t batch = 32;; batch = batch < (1u << 20) ? batch * 2 : batch) {
    if (Status s = EnumKeys(key, first, batch, &names); s != kSuccess) return s;
    for (const std::u16string& name : names)
      if (!take(name)) return kSuccess;
    if (names.size() < batch) return kSuccess;
    first += batch;
  }
}

Status Hive::QueryDword(Key key, std::u16string_view name, uint32_t* value) {
  uint8_t bytes[4] = {0, 0, 0, 0};
  uint32_t size = 4;
  Status s = QueryValue(key, name, nullptr, bytes, &size);
  if (s != kSuccess) return s;
  if (value)
    *value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
             static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return kSuccess;
}

Hive::Transaction::Transaction(Hive& hive, For use) : hive_(hive) {
  active_ = (use == For::kReading ? hive_.BeginRead() : hive_.Begin()) == kSuccess;
}

Hive::Transaction::~Transaction() {
  if (active_) hive_.Rollback();
}

Status Hive::Transaction::Commit() {
  if (!active_) return kInvalidHandle;
  active_ = false;
  return hive_.Commit();
}

ScopedKey::ScopedKey(Hive& hive, Key parent, std::u16string_view subKey, bool create) : hive_(hive) {
  status_ = create ? hive_.CreateKey(parent, subKey, &key_) : hive_.OpenKey(parent, subKey, &key_);
  if (status_ != kSuccess) key_ = kNoKey;
}

ScopedKey::~ScopedKey() {
  if (key_ != kNoKey) hive_.CloseKey(key_);
}

}  // namespace orvane::reg
