#include "installer/AppManager.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/SafeWrite.h"

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

// A descriptor closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Opens |path| (relative) below the folder open as |root|: every step, links included,
// must stay inside that folder; an absolute path, ".." past it or a link leading out
// fails with EXDEV.
int OpenBeneath(int root, const std::string& path, int flags) {
  struct open_how how {};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC | O_NOCTTY);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(::syscall(SYS_openat2, root, path.c_str(), &how, sizeof how));
}

std::string Reason(int e) {
  if (e == EXDEV || e == ELOOP) return "it leads out of the folder it must stay in (through a link or \"..\")";
  if (e == ENOSYS) return "this system cannot open files beneath a folder safely (openat2)";
  return std::strerror(e);
}

// One file of a package: where it comes from (open) and where it goes.
struct Planned {
  std::string entry;  // as the package lists it
  Fd source;
  mode_t mode = 0644;
  fs::path folder;    // below the storage folder
  std::string name;   // in that folder
};

// A folder below the storage folder, open, and whether this install made it.
struct Folder {
  fs::path path;
  Fd fd;
};

// Stages every file next to its place, then moves them all into place; on any failure
// nothing the storage folder held before is replaced and whatever was made is removed.
class Installation {
 public:
  Installation(int root, std::string storage) : root_(root), storage_(std::move(storage)) {}
  ~Installation() { Discard(); }

  bool Run(std::vector<Planned>& files, std::vector<std::string>* installed, std::string* error) {
    for (Planned& f : files) {
      Folder* folder = OpenFolder(f.folder, error);
      if (!folder || !Stage(*folder, f, error)) return false;
    }
    for (Staged& s : staged_) {
      if (!Swap(s, error)) {
        Undo();
        return false;
      }
    }
    for (Staged& s : staged_) {
      // The old files (now under the staged names) go; the new ones stay.
      ::unlinkat(s.folder->fd.get(), s.temp.c_str(), 0);
      s.temp.clear();
      installed->push_back((fs::path(storage_) / s.folder->path / s.name).string());
    }
    for (Folder& folder : folders_) ::fsync(folder.fd.get());
    made_.clear();
    return true;
  }

 private:
  struct Staged {
    Folder* folder;
    std::string name;
    std::string temp;      // the new file until Swap, the old one (if any) after it
    bool swapped = false;  // the new file is in place
    bool hadOld = false;   // and the old one sits at |temp|
  };

  // The folder |path|, made where missing, every step resolved inside the storage folder.
  Folder* OpenFolder(const fs::path& path, std::string* error) {
    for (Folder& f : folders_)
      if (f.path == path) return &f;
    fs::path sofar;
    Fd parent(::dup(root_));
    for (const fs::path& part : path) {
      if (part.empty() || part == ".") continue;
      sofar /= part;
      int fd = OpenBeneath(root_, sofar.string(), O_RDONLY | O_DIRECTORY);
      if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(parent.get(), part.c_str(), 0777) == 0) {
          made_.push_back({sofar, Fd(::dup(parent.get()))});
        } else if (errno != EEXIST) {
          *error = "cannot make the folder " + (fs::path(storage_) / sofar).string() + ": " + std::strerror(errno);
          return nullptr;
        }
        fd = OpenBeneath(root_, sofar.string(), O_RDONLY | O_DIRECTORY);
      }
      if (fd < 0) {
        *error = "the install folder " + (fs::path(storage_) / sofar).string() +
                 " cannot be used inside the handheld's storage folder: " + Reason(errno);
        return nullptr;
      }
      parent = Fd(fd);
    }
    folders_.push_back({path, std::move(parent)});
    return &folders_.back();
  }

  bool Stage(Folder& folder, Planned& f, std::string* error) {
    const std::string target = (fs::path(storage_) / folder.path / f.name).string();
    struct stat st {};
    if (::fstatat(folder.fd.get(), f.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
      *error = "cannot install " + target + ": a folder is in its place";
      return false;
    }
    int fd = -1;
    std::string temp;
    if (const int e = files::CreateTemporaryBeside(folder.fd.get(), f.name, &fd, &temp)) {
      *error = "cannot write in " + (fs::path(storage_) / folder.path).string() + ": " + std::strerror(e);
      return false;
    }
    Fd out(fd);
    staged_.push_back({&folder, f.name, temp});
    char buffer[64 * 1024];
    for (;;) {
      const ssize_t n = ::read(f.source.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *error = "cannot read " + f.entry + ": " + std::strerror(errno);
        return false;
      }
      if (n == 0) break;
      if (const int e = files::WriteAll(out.get(), buffer, static_cast<size_t>(n))) {
        *error = "cannot write " + target + ": " + std::strerror(e);
        return false;
      }
    }
    if (::fchmod(out.get(), f.mode) != 0 || ::fsync(out.get()) != 0) {
      *error = "cannot write " + target + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }

  // Puts the staged file in place: exchanged with the old file where there is one, so
  // the old one can be put back.
  bool Swap(Staged& s, std::string* error) {
    const int dir = s.folder->fd.get();
    if (::renameat2(dir, s.temp.c_str(), dir, s.name.c_str(), RENAME_NOREPLACE) == 0) {
      s.swapped = true;
      s.temp.clear();
      return true;
    }
    if (errno == EEXIST && ::renameat2(dir, s.temp.c_str(), dir, s.name.c_str(), RENAME_EXCHANGE) == 0) {
      s.swapped = s.hadOld = true;
      return true;
    }
    *error = "cannot install " + (fs::path(storage_) / s.folder->path / s.name).string() + ": " + std::strerror(errno);
    return false;
  }

  // Puts back what the swaps replaced, the last first.
  void Undo() {
    for (auto it = staged_.rbegin(); it != staged_.rend(); ++it) {
      if (!it->swapped) continue;
      const int dir = it->folder->fd.get();
      if (it->hadOld) {
        ::renameat2(dir, it->temp.c_str(), dir, it->name.c_str(), RENAME_EXCHANGE);
      } else {
        ::unlinkat(dir, it->name.c_str(), 0);
      }
      it->swapped = false;
    }
  }

  // Removes the staged files and the folders this install made (those left empty).
  void Discard() {
    for (Staged& s : staged_)
      if (!s.temp.empty()) ::unlinkat(s.folder->fd.get(), s.temp.c_str(), 0);
    staged_.clear();
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
      ::unlinkat(it->fd.get(), it->path.filename().c_str(), AT_REMOVEDIR);
    made_.clear();
  }

  int root_;
  std::string storage_;
  std::deque<Folder> folders_;  // stable addresses: the staged files point at them
  std::vector<Folder> made_;    // each made folder's name and its parent, open
  std::vector<Staged> staged_;
};

// The folder-relative path of a package's file entry, or empty when it does not lie
// inside the package's folder.
fs::path InsidePackage(const fs::path& packageFolder, const std::string& entry) {
  fs::path p = fs::path(LocalPath(entry)).lexically_normal();
  if (p.is_absolute()) p = p.lexically_relative(packageFolder.lexically_normal());
  if (p.empty() || p.is_absolute() || *p.begin() == "..") return {};
  return p;
}

std::string Lower(const fs::path& p) { return Lower(p.generic_string()); }

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

  Fd root(::open(storageFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (root.get() < 0) {
    *error = "the handheld's storage folder " + storageFolder + " cannot be opened: " + std::strerror(errno);
    return false;
  }
  std::vector<Planned> files;
  std::map<std::string, std::string> places;  // destination (lower case, as the handheld compares) -> entry
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
    const fs::path packageFolder = package.parent_path().empty() ? fs::path(".") : package.parent_path();
    Fd folder(::open(packageFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
      *error = "cannot open the package's folder " + packageFolder.string() + ": " + std::strerror(errno);
      return false;
    }
    size_t before = files.size();
    for (int i = 1;; ++i) {
      const std::string* file = pkg->Find("Package", "File" + std::to_string(i));
      if (!file) break;
      // Files come from the package's own folder only, and no link leads out of it.
      const fs::path inside = InsidePackage(fs::absolute(packageFolder), *file);
      Fd source(inside.empty() ? -1 : OpenBeneath(folder.get(), inside.string(), O_RDONLY));
      struct stat st {};
      if (inside.empty() || (source.get() < 0 && (errno == EXDEV || errno == ELOOP))) {
        *error = package.string() + ": the file " + *file + " is not in the package's folder " + packageFolder.string();
        return false;
      }
      if (source.get() < 0 || ::fstat(source.get(), &st) != 0 || !S_ISREG(st.st_mode) || !inside.has_filename()) {
        *error = package.string() + ": the file " + *file + " is missing or unreadable" +
                 (source.get() < 0 ? std::string(" (") + Reason(errno) + ")" : std::string());
        return false;
      }
      Planned planned{*file, std::move(source), st.st_mode & 0777, installDir, inside.filename().string()};
      const std::string place = Lower(installDir / planned.name);
      if (auto [it, added] = places.emplace(place, *file); !added) {
        *error = package.string() + ": " + it->second + " and " + *file + " would both go to the same place, " +
                 (installDir / planned.name).string();
        return false;
      }
      files.push_back(std::move(planned));
    }
    if (files.size() == before) {
      *error = package.string() + ": the package lists no files (File1, File2, ...)";
      return false;
    }
  }

  Installation installation(root.get(), storageFolder);
  return installation.Run(files, &report->installed, error);
}

}  // namespace orvane::appmgr
