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
//   File1 = <file>   File2 = ...   (relative to the package file, or absolute)
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

// Checks the whole description and every package first, then copies the files (each
// through a temporary name, so a file is either the old one or the whole new one).
// Nothing is copied when anything is missing or malformed. False with |error| set.
bool InstallDescription(const std::string& descriptionPath, const std::string& storageFolder,
                        InstallReport* report, std::string* error);

}  // namespace orvane::appmgr
