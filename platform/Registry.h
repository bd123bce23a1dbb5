// Registry stand-in: a hierarchical key/value hive kept in one SQLite file (or in memory).
//
// The calls keep the shape of the handheld's registry API so that the stores read like
// the code they stand in for:
//   - keys are opened with open-or-create (missing keys on the path are created);
//   - subkeys enumerate by index, in creation order, until kNoMoreItems (or all at once,
//     in the same order, with EnumKeys / EnumValues);
//   - values are read into a caller's buffer with a byte length; the stored type is
//     never checked, and a value larger than the caller's room fails with kMoreData;
//   - strings are UTF-16LE with the terminating zero counted ((chars + 1) x 2 bytes);
//   - key and value names are case-sensitive and kept exactly.
// Every call is atomic; Transaction groups several calls into one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::reg {

using Status = long;
constexpr Status kSuccess = 0;
constexpr Status kFileNotFound = 2;       // key or value absent
constexpr Status kAccessDenied = 5;       // a write to a hive opened read-only
constexpr Status kInvalidHandle = 6;
constexpr Status kInvalidParameter = 87;
constexpr Status kMoreData = 234;         // the caller's room is too small
constexpr Status kNoMoreItems = 259;      // enumeration past the end
constexpr Status kIoError = 1117;         // the hive could not be read or written
constexpr Status kKeyDeleted = 1018;      // the open key was deleted meanwhile

constexpr uint32_t kTypeString = 1;       // REG_SZ
constexpr uint32_t kTypeBinary = 3;       // REG_BINARY
constexpr uint32_t kTypeDword = 4;        // REG_DWORD

// A value as EnumValues lists it.
struct ValueEntry {
  std::u16string name;
  uint32_t type = 0;
  std::string data;  // the stored bytes
};

// An open key. 0 is no key; kLocalMachine is the root every path starts from.
using Key = int64_t;
constexpr Key kNoKey = 0;
constexpr Key kLocalMachine = -1;

// How far an open hive may be used.
enum class Access {
  kReadWrite,
  kReadOnly,  // it reads; every write fails with kAccessDenied
  kNone       // it could not be opened: every call fails with kIoError
};

class Hive {
 public:
  // Opens (or creates, mode 0600) the hive file at |path|.
  //  - A file that is not a valid hive is never overwritten or deleted: it is renamed next
  //    to itself with a time-stamped suffix, a fresh hive is started and a one-line notice
  //    goes to stderr. A hive whose schema holds anything but the hive's own tables and
  //    indexes (a view, a trigger, another table) is not valid: it is found before any
  //    query runs on it.
  //  - A link is followed only to a valid hive; a link to anything else (nothing, an empty
  //    file, a file that is not a hive) is refused and nothing is changed.
  //  - Only a file made here, or found to be a hive, has its mode set.
  //  - A hive that can be read but not written (its mode, its folder, a read-only or full
  //    file system) is opened read-only, with the reason in |error|.
  // Returns null when no hive can be used there, with the system's reason in |error|.
  static std::unique_ptr<Hive> OpenFile(const std::string& path, std::string* error = nullptr);
  static std::unique_ptr<Hive> OpenMemory();
  // Stands for a hive that could not be opened: every call fails, so nothing is ever
  // reported saved.
  static std::unique_ptr<Hive> OpenNone();

  // The handheld program's hive: $XDG_DATA_HOME (default ~/.local/share)
  // /orvane-port-linewright/handheld.hive.
  static std::string DefaultHandheldPath();
  // Opens the hive at DefaultHandheldPath() for a program that keeps its settings there
  // (called once, at start). Never null: when no hive can be used there, OpenNone(). When
  // the hive is not read-write, |reason| gets the system's reason (else it is cleared).
  static std::unique_ptr<Hive> OpenHandheld(std::string* reason = nullptr);

  virtual ~Hive() = default;

  virtual Access GetAccess() const { return Access::kReadWrite; }

  // Open-or-create |subKey| (backslash-separated) below |parent|.
  virtual Status CreateKey(Key parent, std::u16string_view subKey, Key* out) = 0;
  // Open only an existing key.
  virtual Status OpenKey(Key parent, std::u16string_view subKey, Key* out) = 0;
  virtual Status CloseKey(Key key) = 0;

  // Name of the subkey at |index| into |name| with room for |*nameChars| characters
  // (terminator included); on success *nameChars is the length without terminator.
  // Each call is one lookup: a walk over every subkey is one call of EnumKeys instead.
  virtual Status EnumKey(Key key, uint32_t index, char16_t* name, uint32_t* nameChars) = 0;
  // Value at |index|: name, type and (optionally) data, sized like QueryValue.
  virtual Status EnumValue(Key key, uint32_t index, std::u16string* name, uint32_t* type,
                           std::string* data) = 0;

  // The names of up to |limit| subkeys of |key| from index |first| on (EnumKey's indexes),
  // in creation order, read in one query into |names| (replacing what it held). Past the
  // last subkey it succeeds with none.
  virtual Status EnumKeys(Key key, uint32_t first, uint32_t limit, std::vector<std::u16string>* names) = 0;
  // Every value of |key| in creation order (EnumValue's indexes), read in one query.
  virtual Status EnumValues(Key key, std::vector<ValueEntry>* values) = 0;

  // Calls |take| with the name of each subkey of |key|, in creation order, until it
  // returns false. The names are read in batches that grow, so a walk that stops early
  // reads little and a whole walk reads each name once; no query is open while |take|
  // runs, so it may use the hive. Like EnumKey, a walk that adds or deletes subkeys of
  // |key| meanwhile may skip or repeat one.
  Status ForEachSubkey(Key key, const std::function<bool(std::u16string_view)>& take);

  // Reads value |name| into |data| with room for |*dataBytes| bytes; on return
  // *dataBytes is the stored size. |data| may be null to ask the size only.
  virtual Status QueryValue(Key key, std::u16string_view name, uint32_t* type, uint8_t* data,
                            uint32_t* dataBytes) = 0;
  virtual Status SetValue(Key key, std::u16string_view name, uint32_t type, const uint8_t* data,
                          uint32_t dataBytes) = 0;
  virtual Status DeleteValue(Key key, std::u16string_view name) = 0;
  // Deletes subkey |subKey| of |parent| with every key and value below it.
  virtual Status DeleteKey(Key parent, std::u16string_view subKey) = 0;

  // Nestable: only the outermost Begin/Commit pair touches the database.
  virtual Status Begin() = 0;
  // Begins a transaction for a run of reads, ended by Commit or Rollback like Begin: the
  // reads see one state of the hive and each costs less. An outermost one takes no write
  // lock, so a write inside it may fail.
  virtual Status BeginRead() = 0;
  virtual Status Commit() = 0;
  virtual void Rollback() = 0;

  // Convenience writers.
  Status SetString(Key key, std::u16string_view name, std::u16string_view text);
  Status SetDword(Key key, std::u16string_view name, uint32_t value);
  // Reads a string value of any length exactly (no room limit).
  Status QueryString(Key key, std::u16string_view name, std::u16string* text);
  Status QueryDword(Key key, std::u16string_view name, uint32_t* value);

  // Scoped transaction: commits on Commit(), rolls back when destroyed without it.
  class Transaction {
   public:
    enum class For { kWriting, kReading };  // Begin or BeginRead
    explicit Transaction(Hive& hive, For use = For::kWriting);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    Status Commit();
    bool Active() const { return active_; }

   private:
    Hive& hive_;
    bool active_ = false;
  };
};

// Opens a key on construction, closes it on destruction.
class ScopedKey {
 public:
  ScopedKey(Hive& hive, Key parent, std::u16string_view subKey, bool create = true);
  ~ScopedKey();
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  Status status() const { return status_; }
  bool ok() const { return status_ == kSuccess; }
  Key get() const { return key_; }

 private:
  Hive& hive_;
  Key key_ = kNoKey;
  Status status_;
};

}  // namespace orvane::reg
