// Where a program finds the files it ships with (help page, the handheld package),
// relative to its own executable, so the same binary works from the build tree and
// from any installation prefix. No Qt.
#pragma once

#include <string>
#include <vector>

namespace orvane::layout {

// The shared data folder of an installed program, relative to the folder holding it
// (e.g. "../share/orvane-port-linewright" for /usr/bin -> /usr/share/...).
const char* DataDirFromBin();
// The folder with the handheld package (the application manager's description file,
// the package and its files), relative to the installer's folder.
const char* HandheldPackageDirFromBin();

// The folder that holds the running program, or empty when it cannot be found.
std::string ExecutableDir();

// The places |name| is looked for, in order: the installed data folder, then the
// program's own folder (the build tree, or a copy on the handheld).
std::vector<std::string> ResourceCandidates(const std::string& exeDir, const std::string& name);

// The first candidate that is a regular file, or empty.
std::string FindResource(const std::string& exeDir, const std::string& name);

// The folder the installer hands to the application manager: |currentDir| when it
// holds |descriptionFile|, else the installed package folder, else the installer's own
// folder (the build tree) when either holds it; empty when none does.
std::string FindHandheldPackageDir(const std::string& currentDir, const std::string& exeDir,
                                   const std::string& descriptionFile);

}  // namespace orvane::layout
