// Application manager stand-in: reads a package description file (INI form) and
// installs the packages it names into the handheld's storage folder.
//
// Description file:
//   [CEAppManager]
//   Version = 1.0
//   Component = <component>
//   [<component>]
//   Description = <text>
//   CabFiles = <package file>[,<package file>...]   (relative to the description file)
// Package file (the same INI form):
//   [Package]
//   InstallDir = <folder below the storage folder, backslashes or slashes>
//   File1 = <file>   File2 = ...   (in the package file's folder: relative to it, or an
//                                    absolute path that lies inside it)
// Windows-style paths ('\' separators, ".\" prefixes) are accepted everywhere.
// No Qt.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvane::appmgr {

// Section and key names are case-insensitive (kept lower-cased); values are trimmed.
struct IniFile {
  std::map<std::string, std::map<std::string, std::string>> sections;
  const std::string* Find(const std::string& section, const std::string& key) const;
};
std::optional<IniFile> ParseIni(const std::string& text, std::string* error);

// '\' becomes '/'; nothing else changes.
std::string LocalPath(std::string windowsPath);

struct InstallReport {
  std::string component;
  std::string description;
  std::vector<std::string> installed;  // destination paths, in order
};

// Checks the whole description and every package first, then installs all or nothing:
// every file is written beside its place under a temporary name, and only when all are
// written are they moved into place (each old file exchanged for its new one, and put
// back when a later move fails). Files come from the package's own folder only (no
// link leads out of it); every folder is resolved inside the storage folder, so a link
// there never leads out of it; two files bound for the same place (compared without
// letter case, as the handheld does) are refused. False with |error| set; the storage
// folder then holds what it held before.
bool InstallDescription(const std::string& descriptionPath, const std::string& storageFolder,
                        InstallReport* report, std::string* error);

}  // namespace orvane::appmgr
