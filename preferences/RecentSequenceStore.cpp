#include "preferences/RecentSequenceStore.h"

#include <algorithm>

#include "platform/Registry.h"

namespace orvane {
namespace {

constexpr char16_t kSequencesPath[] = u"Software\\Orvane\\Orvane Port Linewright\\Sequences";

std::u16string ValueName(size_t index) {
  std::u16string name = u"File";
  for (char c : std::to_string(index + 1)) name.push_back(static_cast<char16_t>(c));
  return name;
}

}  // namespace

std::vector<std::u16string> RecentSequenceStore::Load() const {
  std::vector<std::u16string> files;
  reg::ScopedKey key(hive_, reg::kLocalMachine, kSequencesPath, /*create=*/false);
  if (!key.ok()) return files;
  for (size_t i = 0; i < kMaxFiles; ++i) {
    std::u16string path;
    if (hive_.QueryString(key.get(), ValueName(i), &path) == reg::kSuccess && !path.empty() &&
        std::find(files.begin(), files.end(), path) == files.end())
      files.push_back(std::move(path));
  }
  return files;
}

bool RecentSequenceStore::Add(std::u16string_view path) {
  std::vector<std::u16string> files = Load();
  files.erase(std::remove(files.begin(), files.end(), path), files.end());
  files.insert(files.begin(), std::u16string(path));
  if (files.size() > kMaxFiles) files.resize(kMaxFiles);
  reg::Hive::Transaction transaction(hive_);
  reg::ScopedKey key(hive_, reg::kLocalMachine, kSequencesPath);
  if (!key.ok()) return false;
  for (size_t i = 0; i < files.size(); ++i)
    if (hive_.SetString(key.get(), ValueName(i), files[i]) != reg::kSuccess) return false;
  return transaction.Commit() == reg::kSuccess;
}

}  // namespace orvane
