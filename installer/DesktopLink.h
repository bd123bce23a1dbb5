// The desktop side of the handheld link: the desktop's own hive and the two entries
// the installer and its stand-ins share.
//   - "SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\CEAPPMGR.EXE", default
//     value: the application manager program (registered by the sync manager setup,
//     here by `orvane-appmgr --register`).
//   - "SOFTWARE\Orvane\Handheld Link", value "StorageFolder": the folder that stands
//     for the connected handheld's storage.
// No Qt: the application manager stand-in links this too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Registry.h"

namespace orvane::desktop {

inline constexpr char16_t kAppPathsKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\CEAPPMGR.EXE";
inline constexpr char16_t kLinkKey[] = u"SOFTWARE\\Orvane\\Handheld Link";
inline constexpr char16_t kStorageFolderValue[] = u"StorageFolder";

// $XDG_DATA_HOME (default ~/.local/share)/orvane-port-linewright/desktop.hive.
std::string DefaultDesktopHivePath();

// The desktop hive the installer and the remote API read. Opened at
// DefaultDesktopHivePath() on first use when that file exists; null while there is
// no such file (nothing has been registered yet), so reading never creates one.
reg::Hive* DesktopHive();
// Tests install their own hive (null returns to the default file).
void InstallDesktopHive(std::unique_ptr<reg::Hive> hive);

// Reads string value |name| of |key| the way the desktop's 8-bit registry call does:
// converted to 8-bit text (UTF-8 here) with its terminating zero, into |buffer| with
// room for |*bytes| bytes. kMoreData when it does not fit, kFileNotFound when absent,
// kInvalidParameter when the value is not a string. On success *bytes is the length
// stored, terminator included.
reg::Status QueryStringA(reg::Hive& hive, reg::Key key, std::u16string_view name, char* buffer,
                         uint32_t* bytes);

// The handheld's storage folder as registered; empty when none is.
std::string HandheldFolder();

// Writes both entries into the hive at |hivePath| (created when missing).
bool RegisterStandIns(const std::string& hivePath, const std::string& appManagerPath,
                      const std::string& handheldFolder, std::string* error);
// Removes both entries; true when the hive no longer holds them.
bool UnregisterStandIns(const std::string& hivePath, std::string* error);

}  // namespace orvane::desktop
