#include "entry/model/CommandHistory.h"

#include <algorithm>
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

std::vector<std::u16string> CommandHistory::LoadHistory() const {
  std::vector<std::u16string> entries;
  // Read under one lock so a save by another program is seen whole or not at all; if the
  // lock cannot be had, read anyway.
  Hive::Transaction tx(hive_);
  ScopedKey key(hive_, kLocalMachine, kHistoryPath);
  if (!key.ok()) return entries;
  while (entries.size() < kMaxEntries) {
    std::u16string text;
    if (hive_.QueryString(key.get(), Number(static_cast<int>(entries.size()) + 1), &text) != kSuccess) break;
    entries.push_back(std::move(text));
  }
  if (tx.Active()) tx.Commit();
  return entries;
}

bool CommandHistory::SaveHistory(std::span<const std::u16string> entries) {
  if (entries.size() > kMaxEntries) entries = entries.first(kMaxEntries);
  Hive::Transaction tx(hive_);
  if (!tx.Active()) return false;
  {
    ScopedKey product(hive_, kLocalMachine, kProductPath);
    if (!product.ok()) return false;
    hive_.DeleteKey(product.get(), u"History");  // a missing key is no error
  }
  ScopedKey key(hive_, kLocalMachine, kHistoryPath);
  if (!key.ok()) return false;
  for (size_t n = 1; n <= entries.size(); ++n)
    if (hive_.SetString(key.get(), Number(static_cast<int>(n)), entries[n - 1]) != kSuccess) return false;
  return tx.Commit() == kSuccess;
}

bool CommandHistory::AddToHistory(std::u16string_view command) {
  Hive::Transaction tx(hive_);
  if (!tx.Active()) return false;
  std::vector<std::u16string> list = LoadHistory();
  // An equal entry further back moves to the front; without one, the oldest of a full
  // list is pushed out.
  auto match = std::find(list.begin(), list.end(), command);
  if (match != list.end())
    list.erase(match);
  else if (list.size() == kMaxEntries)
    list.pop_back();
  list.insert(list.begin(), std::u16string(command));
  if (!SaveHistory(list)) return false;
  return tx.Commit() == kSuccess;
}

}  // namespace orvane
