#include "entry/model/CommandHistory.h"

#include <string>

#include "platform/Registry.h"

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

constexpr std::u16string_view kHistoryPath = u"Software\\Orvane\\Orvane Port Linewright\\History";
constexpr std::u16string_view kProductPath = u"Software\\Orvane\\Orvane Port Linewright";

std::u16string Number(int n) {
  std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

int CommandHistory::LoadHistory(std::u16string* entries) const {
  if (!entries) return 0;
  // Read under one lock so a save by another program is seen whole or not at all; if the
  // lock cannot be had, read anyway.
  Hive::Transaction tx(hive_);
  ScopedKey key(hive_, kLocalMachine, kHistoryPath);
  if (!key.ok()) return 0;
  int count = 0;
  while (count < kMaxEntries) {
    std::u16string text;
    if (hive_.QueryString(key.get(), Number(count + 1), &text) != kSuccess) break;
    entries[count++] = std::move(text);
  }
  if (tx.Active()) tx.Commit();
  return count;
}

bool CommandHistory::SaveHistory(const std::u16string* entries, int count) {
  if (count < 0 || (count > 0 && !entries)) return false;
  if (count > kMaxEntries) count = kMaxEntries;
  Hive::Transaction tx(hive_);
  if (!tx.Active()) return false;
  {
    ScopedKey product(hive_, kLocalMachine, kProductPath);
    if (!product.ok()) return false;
    hive_.DeleteKey(product.get(), u"History");  // a missing key is no error
  }
  ScopedKey key(hive_, kLocalMachine, kHistoryPath);
  if (!key.ok()) return false;
  for (int n = 1; n <= count; ++n)
    if (hive_.SetString(key.get(), Number(n), entries[n - 1]) != kSuccess) return false;
  return tx.Commit() == kSuccess;
}

bool CommandHistory::AddToHistory(std::u16string_view command) {
  Hive::Transaction tx(hive_);
  if (!tx.Active()) return false;
  std::u16string list[kMaxEntries];
  int count = LoadHistory(list);
  int match = 0;
  while (match < count && list[match] != command) ++match;
  int last = match;  // the slot that is overwritten or, without a match, the new end
  if (last == kMaxEntries) last = kMaxEntries - 1;
  for (int i = last; i > 0; --i) list[i] = std::move(list[i - 1]);
  list[0].assign(command);
  int newCount = (match < count || count == kMaxEntries) ? count : count + 1;
  if (!SaveHistory(list, newCount)) return false;
  return tx.Commit() == kSuccess;
}

}  // namespace orvane
