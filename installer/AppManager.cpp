#include "installer/AppManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvane::appmgr {
namespace fs = std::filesystem;
namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

bool ReadFile(const std::string& path, std::string* text, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

std::optional<IniFile> LoadIni(const std::string& path, std::string* error) {
  std::string text;
  if (!ReadFile(path, &text, error)) return std::nullopt;
  std::string why;
  auto ini = ParseIni(text, &why);
  if (!ini) *error = path + ": " + why;
  return ini;
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) {
    item = Trim(item);
    if (item.size() >= 2 && item.front() == '"' && item.back() == '"') item = item.substr(1, item.size() - 2);
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

fs::path Resolve(const fs::path& base, const std::string& windowsPath) {
  fs::path p(LocalPath(windowsPath));
  return p.is_absolute() ? p.lexically_normal() : (base / p).lexically_normal();
}

// An install folder stays inside the storage folder: relative, no "..".
bool SafeInstallDir(const fs::path& dir) {
  if (dir.is_absolute()) return false;
  for (const auto& part : dir)
    if (part == "..") return false;
  return true;
}

struct Copy {
  fs::path from;
  fs::path to;
};

bool CopyOne(const Copy& c, std::string* error) {
  std::error_code ec;
  fs::create_directories(c.to.parent_path(), ec);
  if (ec) {
    *error = "cannot make " + c.to.parent_path().string() + ": " + ec.message();
    return false;
  }
  const fs::path temp = c.to.string() + ".part";
  fs::remove(temp, ec);
  if (!fs::copy_file(c.from, temp, fs::copy_options::overwrite_existing, ec)) {
    *error = "cannot copy " + c.from.string() + " to " + temp.string() + ": " + ec.message();
    fs::remove(temp, ec);
    return false;
  }
  fs::permissions(temp, fs::status(c.from).permissions(), ec);
  fs::rename(temp, c.to, ec);
  if (ec) {
    *error = "cannot install " + c.to.string() + ": " + ec.message();
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  return true;
}

}  // namespace

const std::string* IniFile::Find(const std::string& section, const std::string& key) const {
  auto s = sections.find(Lower(section));
  if (s == sections.end()) return nullptr;
  auto k = s->second.find(Lower(key));
  return k == s->second.end() ? nullptr : &k->second;
}

std::optional<IniFile> ParseIni(const std::string& text, std::string* error) {
  IniFile ini;
  std::map<std::string, std::string>* current = nullptr;
  std::stringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) {
        *error = "line " + std::to_string(number) + ": bad section header";
        return std::nullopt;
      }
      current = &ini.sections[Lower(Trim(line.substr(1, line.size() - 2)))];
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos || !current || Trim(line.substr(0, eq)).empty()) {
      *error = "line " + std::to_string(number) + ": expected key = value inside a section";
      return std::nullopt;
    }
    (*current)[Lower(Trim(line.substr(0, eq)))] = Trim(line.substr(eq + 1));
  }
  return ini;
}

std::string LocalPath(std::string windowsPath) {
  std::replace(windowsPath.begin(), windowsPath.end(), '\\', '/');
  return windowsPath;
}

bool InstallDescription(const std::string& descriptionPath, const std::string& storageFolder,
                        InstallReport* report, std::string* error) {
  const fs::path description = fs::path(LocalPath(descriptionPath)).lexically_normal();
  auto ini = LoadIni(description.string(), error);
  if (!ini) return false;
  const std::string* component = ini->Find("CEAppManager", "Component");
  if (!ini->Find("CEAppManager", "Version") || !component || component->empty()) {
    *error = description.string() + ": the [CEAppManager] section needs Version and Component";
    return false;
  }
  const std::string* cabs = ini->Find(*component, "CabFiles");
  if (!cabs || SplitList(*cabs).empty()) {
    *error = description.string() + ": the [" + *component + "] section names no package (CabFiles)";
    return false;
  }
  report->component = *component;
  if (const std::string* d = ini->Find(*component, "Description")) report->description = *d;

  struct stat st;
  if (storageFolder.empty() || ::stat(storageFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "the handheld's storage folder " + storageFolder + " is not there";
    return false;
  }

  std::vector<Copy> copies;
  for (const std::string& cab : SplitList(*cabs)) {
    const fs::path package = Resolve(description.parent_path(), cab);
    auto pkg = LoadIni(package.string(), error);
    if (!pkg) return false;
    const std::string* dir = pkg->Find("Package", "InstallDir");
    const fs::path installDir = dir ? fs::path(LocalPath(*dir)).lexically_normal() : fs::path();
    if (!dir || dir->empty() || !SafeInstallDir(installDir)) {
      *error = package.string() + ": InstallDir must name a folder below the storage folder";
      return false;
    }
    size_t before = copies.size();
    for (int i = 1;; ++i) {
      const std::string* file = pkg->Find("Package", "File" + std::to_string(i));
      if (!file) break;
      const fs::path from = Resolve(package.parent_path(), *file);
      if (::stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(from.c_str(), R_OK) != 0) {
        *error = package.string() + ": the file " + from.string() + " is missing or unreadable";
        return false;
      }
      copies.push_back({from, fs::path(storageFolder) / installDir / from.filename()});
    }
    if (copies.size() == before) {
      *error = package.string() + ": the package lists no files (File1, File2, ...)";
      return false;
    }
  }

  for (const Copy& c : copies) {
    if (!CopyOne(c, error)) return false;
    report->installed.push_back(c.to.string());
  }
  return true;
}

}  // namespace orvane::appmgr
