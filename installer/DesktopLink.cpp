#include "installer/DesktopLink.h"

#include <sys/stat.h>

#include <mutex>

#include "platform/TextConvert.h"

namespace orvane::desktop {
namespace {

std::mutex& SlotMutex() {
  static std::mutex m;
  return m;
}
std::unique_ptr<reg::Hive>& Slot() {
  static std::unique_ptr<reg::Hive> hive;
  return hive;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::unique_ptr<reg::Hive> OpenForWriting(const std::string& hivePath, std::string* error) {
  std::string why;
  auto hive = reg::Hive::OpenFile(hivePath, &why);
  if (!hive && error) *error = "cannot open the desktop hive " + hivePath + ": " + why;
  if (hive && hive->GetAccess() != reg::Access::kReadWrite) {
    if (error) *error = "cannot write the desktop hive " + hivePath + ": " + why;
    return nullptr;
  }
  return hive;
}

std::string Describe(reg::Status status) { return "registry error " + std::to_string(status); }

}  // namespace

std::string DefaultDesktopHivePath() {
  std::string path = reg::Hive::DefaultHandheldPath();
  return path.substr(0, path.find_last_of('/') + 1) + "desktop.hive";
}

reg::Hive* DesktopHive() {
  std::lock_guard lock(SlotMutex());
  auto& slot = Slot();
  if (!slot) {
    const std::string path = DefaultDesktopHivePath();
    if (!FileExists(path)) return nullptr;
    slot = reg::Hive::OpenFile(path);
  }
  return slot.get();
}

void InstallDesktopHive(std::unique_ptr<reg::Hive> hive) {
  std::lock_guard lock(SlotMutex());
  Slot() = std::move(hive);
}

reg::Status QueryStringA(reg::Hive& hive, reg::Key key, std::u16string_view name, char* buffer,
                         uint32_t* bytes) {
  uint32_t type = 0;
  uint32_t size = 0;
  reg::Status status = hive.QueryValue(key, name, &type, nullptr, &size);
  if (status != reg::kSuccess) return status;
  if (type != reg::kTypeString) return reg::kInvalidParameter;
  std::u16string wide;
  status = hive.QueryString(key, name, &wide);
  if (status != reg::kSuccess) return status;
  // The stored terminator (and anything after an embedded zero) is not text.
  if (auto zero = wide.find(u'\0'); zero != std::u16string::npos) wide.resize(zero);
  const std::string narrow = Utf16ToUtf8(wide);
  const uint32_t needed = static_cast<uint32_t>(narrow.size()) + 1;
  const uint32_t room = *bytes;
  *bytes = needed;
  if (!buffer) return reg::kSuccess;
  if (needed > room) return reg::kMoreData;
  narrow.copy(buffer, narrow.size());
  buffer[narrow.size()] = '\0';
  return reg::kSuccess;
}

std::string HandheldFolder() {
  reg::Hive* hive = DesktopHive();
  if (!hive) return {};
  reg::ScopedKey key(*hive, reg::kLocalMachine, kLinkKey, /*create=*/false);
  if (!key.ok()) return {};
  std::u16string folder;
  if (hive->QueryString(key.get(), kStorageFolderValue, &folder) != reg::kSuccess) return {};
  if (auto zero = folder.find(u'\0'); zero != std::u16string::npos) folder.resize(zero);
  return Utf16ToUtf8(folder);
}

bool RegisterStandIns(const std::string& hivePath, const std::string& appManagerPath,
                      const std::string& handheldFolder, std::string* error) {
  auto hive = OpenForWriting(hivePath, error);
  if (!hive) return false;
  reg::Hive::Transaction transaction(*hive);
  reg::ScopedKey appPaths(*hive, reg::kLocalMachine, kAppPathsKey);
  reg::ScopedKey link(*hive, reg::kLocalMachine, kLinkKey);
  reg::Status status = !appPaths.ok() ? appPaths.status() : link.status();
  if (status == reg::kSuccess) status = hive->SetString(appPaths.get(), u"", Utf8ToUtf16(appManagerPath));
  if (status == reg::kSuccess)
    status = hive->SetString(link.get(), kStorageFolderValue, Utf8ToUtf16(handheldFolder));
  if (status == reg::kSuccess) status = transaction.Commit();
  if (status != reg::kSuccess && error) *error = "cannot write the desktop hive: " + Describe(status);
  return status == reg::kSuccess;
}

bool UnregisterStandIns(const std::string& hivePath, std::string* error) {
  if (!FileExists(hivePath)) return true;
  auto hive = OpenForWriting(hivePath, error);
  if (!hive) return false;
  reg::Hive::Transaction transaction(*hive);
  reg::Status status = reg::kSuccess;
  for (const char16_t* path : {kAppPathsKey, kLinkKey}) {
    reg::Status s = hive->DeleteKey(reg::kLocalMachine, path);
    if (s != reg::kSuccess && s != reg::kFileNotFound && status == reg::kSuccess) status = s;
  }
  if (status == reg::kSuccess) status = transaction.Commit();
  if (status != reg::kSuccess && error) *error = "cannot write the desktop hive: " + Describe(status);
  return status == reg::kSuccess;
}

}  // namespace orvane::desktop
