// orvane-reg: look into and edit the handheld program's hive from a shell.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/SafeWrite.h"
#include "platform/TextConvert.h"
#include "tools/orvane-reg/RegText.h"

namespace {

using orvane::reg::Hive;
using orvane::reg::kSuccess;
using orvane::reg::ScopedKey;
namespace rt = orvane::regtool;
using orvane::Utf16ToUtf8;
using orvane::Utf8ToUtf16;

constexpr char kNotFound[] = "ERROR: The system was unable to find the specified registry key or value.";
constexpr char kDone[] = "The operation completed successfully.";

void Usage(std::FILE* to) {
  std::fputs(
      "Usage: orvane-reg [--hive PATH] COMMAND ...\n"
      "\n"
      "Looks into and edits the hive in which Orvane Port Linewright keeps its settings.\n"
      "KEY is HKLM\\path or HKEY_LOCAL_MACHINE\\path (the hive has only this root);\n"
      "quote it in the shell, e.g. 'HKLM\\Software\\Orvane'.\n"
      "\n"
      "  query  KEY [/v NAME | /ve] [/s]     show a key's values and subkeys (/s: the whole tree)\n"
      "  add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
      "                                      create a key, or write a value; TYPE is REG_SZ (the\n"
      "                                      default), REG_EXPAND_SZ, REG_DWORD (decimal or 0x..)\n"
      "                                      or REG_BINARY (hex digits); /f overwrites without asking\n"
      "  delete KEY [/v NAME | /ve | /va] [/f]\n"
      "                                      delete a key with everything below it, or values\n"
      "  export KEY FILE [/y]                write the key's tree to FILE as .reg text (UTF-8)\n"
      "  import FILE                         apply a .reg file; all of it or, on an error, none\n"
      "\n"
      "A new key's name may have up to 255 characters, and it may lie up to 512 levels below\n"
      "the root. A subkey whose name cannot be used in a key path (only a damaged hive has\n"
      "one: an empty name, or one with a backslash) is reported and skipped by query /s and\n"
      "export, which then end with status 1.\n"
      "\n"
      "  --hive PATH   work on the hive file PATH instead of the program's own hive:\n"
      "                $XDG_DATA_HOME/orvane-port-linewright/handheld.hive\n"
      "                (~/.local/share/... when XDG_DATA_HOME is not set)\n"
      "  --help        show this text\n",
      to);
}

int Error(const std::string& message) {
  std::fprintf(stderr, "ERROR: %s\n", message.c_str());
  return 1;
}

bool Confirm(const std::string& question) {
  std::fputs(question.c_str(), stdout);
  std::fflush(stdout);
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    std::fputs("\n", stdout);
    return false;
  }
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

struct Options {
  std::vector<std::string> positional;
  bool hasName = false;  // /v or /ve given
  std::string name;      // /v NAME (empty for /ve)
  bool allValues = false;
  bool force = false;
  bool recurse = false;
  bool overwriteFile = false;
  bool hasType = false;
  std::string type;
  bool hasData = false;
  std::string data;
};

bool IsSwitch(const std::string& a, const char* s) {
  if (a.size() != std::strlen(s)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i] == '-' && i == 0 ? '/' : a[i];
    if (std::tolower(static_cast<unsigned char>(c)) != s[i]) return false;
  }
  return true;
}

bool ParseOptions(const std::vector<std::string>& args, Options* o, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto next = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        *error = a + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    if (IsSwitch(a, "/v")) {
      if (o->hasName) return *error = "give /v or /ve once", false;
      o->hasName = true;
      if (!next(&o->name)) return false;
    } else if (IsSwitch(a, "/ve")) {
      if (o->hasName) return *error = "give /v or /ve once", false;
      o->hasName = true;
    } else if (IsSwitch(a, "/va")) {
      o->allValues = true;
    } else if (IsSwitch(a, "/f")) {
      o->force = true;
    } else if (IsSwitch(a, "/s")) {
      o->recurse = true;
    } else if (IsSwitch(a, "/y")) {
      o->overwriteFile = true;
    } else if (IsSwitch(a, "/t")) {
      o->hasType = true;
      if (!next(&o->type)) return false;
    } else if (IsSwitch(a, "/d")) {
      o->hasData = true;
      if (!next(&o->data)) return false;
    } else if (a.size() > 1 && a[0] == '/' && a.find('/', 1) == std::string::npos && a.size() <= 4) {
      *error = "unknown switch " + a;
      return false;
    } else {
      o->positional.push_back(a);
    }
  }
  return true;
}

std::string Indent() { return "    "; }

void PrintValue(const std::u16string& name, uint32_t type, const std::string& data) {
  std::string shown = name.empty() ? "(Default)" : Utf16ToUtf8(name);
  std::printf("%s%s    %s    %s\n", Indent().c_str(), shown.c_str(), rt::TypeName(type).c_str(),
              rt::FormatData(type, data).c_str());
}

void PrintValues(Hive& hive, orvane::reg::Key key, const std::u16string& path) {
  std::printf("%s\n", rt::FullKeyName(path).c_str());
  std::vector<orvane::reg::ValueEntry> values;
  hive.EnumValues(key, &values);
  for (const auto& v : values) PrintValue(v.name, v.type, v.data);
  std::printf("\n");
}

// A subkey only a damaged hive has: its name would open another key (or its parent).
void ReportSkipped(const std::u16string& parentPath, const std::u16string& name) {
  std::fprintf(stderr, "WARNING: %s.\n", rt::SkippedKeyNote(parentPath, name).c_str());
}

int Query(Hive& hive, const std::u16string& path, const Options& o) {
  ScopedKey key(hive, orvane::reg::kLocalMachine, path, false);
  if (!key.ok()) return std::fprintf(stderr, "%s\n", kNotFound), 1;
  std::printf("\n");
  if (o.hasName) {
    std::u16string name = Utf8ToUtf16(o.name);
    uint32_t type = 0, size = 0;
    if (hive.QueryValue(key.get(), name, &type, nullptr, &size) != kSuccess)
      return std::fprintf(stderr, "%s\n", kNotFound), 1;
    std::string data(size, '\0');
    uint32_t room = size;
    if (hive.QueryValue(key.get(), name, &type, reinterpret_cast<uint8_t*>(data.data()), &room) != kSuccess)
      return std::fprintf(stderr, "%s\n", kNotFound), 1;
    data.resize(room);
    std::printf("%s\n", rt::FullKeyName(path).c_str());
    PrintValue(name, type, data);
    std::printf("\n");
    return 0;
  }
  if (o.recurse) {
    size_t skipped = 0;
    const orvane::reg::Status walked = rt::WalkTree(
        hive, key.get(), path,
        [&](orvane::reg::Key k, const std::u16string& keyPath) {
          PrintValues(hive, k, keyPath);
          return true;
        },
        [&](const std::u16string& parentPath, const std::u16string& name) {
          ReportSkipped(parentPath, name);
          ++skipped;
        });
    if (walked != kSuccess) return Error("cannot read the hive");
    return skipped ? 1 : 0;
  }
  PrintValues(hive, key.get(), path);
  std::vector<std::u16string> children;
  hive.EnumKeys(key.get(), 0, UINT32_MAX, &children);
  for (const std::u16string& child : children)
    std::printf("%s\n", rt::FullKeyName(path.empty() ? child : path + u"\\" + child).c_str());
  return 0;
}

bool ParseData(uint32_t type, const std::string& in, std::string* out, std::string* error) {
  if (type == 4) {
    errno = 0;
    char* end = nullptr;
    bool hex = in.size() > 2 && in[0] == '0' && (in[1] == 'x' || in[1] == 'X');
    if (in.empty() || in[0] == '-' || in[0] == '+') return *error = "REG_DWORD data must be a number from 0 to 4294967295", false;
    unsigned long long v = std::strtoull(in.c_str(), &end, hex ? 16 : 10);
    if (errno || *end || v > 0xFFFFFFFFull) return *error = "REG_DWORD data must be a number from 0 to 4294967295", false;
    *out = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    return true;
  }
  if (type == 1 || type == 2) {
    std::u16string t = Utf8ToUtf16(in);
    t.push_back(u'\0');
    out->assign(reinterpret_cast<const char*>(t.data()), t.size() * 2);
    return true;
  }
  if (type == 3 || type == 0) {
    if (in.size() % 2) return *error = "REG_BINARY data must be pairs of hex digits", false;
    out->clear();
    for (size_t i = 0; i < in.size(); i += 2) {
      if (!std::isxdigit(static_cast<unsigned char>(in[i])) || !std::isxdigit(static_cast<unsigned char>(in[i + 1])))
        return *error = "REG_BINARY data must be pairs of hex digits", false;
      out->push_back(static_cast<char>(std::stoi(in.substr(i, 2), nullptr, 16)));
    }
    return true;
  }
  *error = "orvane-reg add writes REG_SZ, REG_EXPAND_SZ, REG_DWORD or REG_BINARY values";
  return false;
}

int Add(Hive& hive, const std::u16string& path, const Options& o) {
  if (path.empty() && !o.hasName) return Error("the root key exists already");
  uint32_t type = 1;
  if (o.hasType && !rt::ParseTypeName(o.type, &type)) return Error("unknown type " + o.type);
  std::string data;
  std::string error;
  if (o.hasName && !ParseData(type, o.hasData ? o.data : "", &data, &error)) return Error(error);
  if (!o.hasName && (o.hasType || o.hasData)) return Error("/t and /d need /v NAME or /ve");
  Hive::Transaction tx(hive);
  // A key that is there already is used as it is; a new one must keep to the limits.
  orvane::reg::Key existing = orvane::reg::kNoKey;
  if (hive.OpenKey(orvane::reg::kLocalMachine, path, &existing) == kSuccess) {
    hive.CloseKey(existing);
  } else if (std::string why; !rt::WithinKeyLimits(path, &why)) {
    return Error("cannot create the key: " + why);
  }
  ScopedKey key(hive, orvane::reg::kLocalMachine, path, true);
  if (!key.ok()) return Error("cannot create the key " + rt::FullKeyName(path));
  if (o.hasName) {
    std::u16string name = Utf8ToUtf16(o.name);
    if (!o.force && hive.QueryValue(key.get(), name, nullptr, nullptr, nullptr) == kSuccess &&
        !Confirm("Value " + (o.name.empty() ? std::string("(Default)") : o.name) + " exists, overwrite(Yes/No)? ")) {
      std::printf("The operation was cancelled.\n");
      return 1;
    }
    if (hive.SetValue(key.get(), name, type, reinterpret_cast<const uint8_t*>(data.data()),
                      static_cast<uint32_t>(data.size())) != kSuccess)
      return Error("cannot write the value");
  }
  if (tx.Commit() != kSuccess) return Error("cannot write the hive");
  std::printf("%s\n", kDone);
  return 0;
}

int Delete(Hive& hive, const std::u16string& path, const Options& o) {
  ScopedKey key(hive, orvane::reg::kLocalMachine, path, false);
  if (!key.ok()) return std::fprintf(stderr, "%s\n", kNotFound), 1;
  std::string full = rt::FullKeyName(path);
  if (o.hasName || o.allValues) {
    if (o.hasName && o.allValues) return Error("give /v, /ve or /va, not two of them");
    std::u16string name = Utf8ToUtf16(o.name);
    if (o.hasName && hive.QueryValue(key.get(), name, nullptr, nullptr, nullptr) != kSuccess)
      return std::fprintf(stderr, "%s\n", kNotFound), 1;
    std::string what = o.allValues ? "all values under " + full
                                   : "the registry value " + (o.name.empty() ? std::string("(Default)") : o.name);
    if (!o.force && !Confirm("Delete " + what + " (Yes/No)? ")) {
      std::printf("The operation was cancelled.\n");
      return 1;
    }
    Hive::Transaction tx(hive);
    if (o.allValues) {
      std::u16string n;
      while (hive.EnumValue(key.get(), 0, &n, nullptr, nullptr) == kSuccess)
        if (hive.DeleteValue(key.get(), n) != kSuccess) return Error("cannot delete a value");
    } else if (hive.DeleteValue(key.get(), name) != kSuccess) {
      return Error("cannot delete the value");
    }
    if (tx.Commit() != kSuccess) return Error("cannot write the hive");
  } else {
    if (path.empty()) return Error("the root key cannot be deleted");
    if (!o.force && !Confirm("Permanently delete the registry key " + full + " (Yes/No)? ")) {
      std::printf("The operation was cancelled.\n");
      return 1;
    }
    if (hive.DeleteKey(orvane::reg::kLocalMachine, path) != kSuccess) return Error("cannot delete the key");
  }
  std::printf("%s\n", kDone);
  return 0;
}

int Export(Hive& hive, const std::u16string& path, const std::string& file, const Options& o) {
  std::string textOut, error;
  std::vector<std::string> skipped;
  if (!rt::ExportKey(hive, path, &textOut, &error, &skipped)) {
    std::fprintf(stderr, "ERROR: %s\n", error.c_str());
    return 1;
  }
  if (::access(file.c_str(), F_OK) == 0 && !o.overwriteFile &&
      !Confirm("File " + file + " already exists. Overwrite (Yes/No)? ")) {
    std::printf("The operation was cancelled.\n");
    return 1;
  }
  // Written as every export is: a regular file through a new file beside it and a
  // rename, so a failed write leaves the old file; devices, pipes and links kept.
  const int e = orvane::files::WriteFileSafely(file, [&](int fd) {
    return orvane::files::WriteAll(fd, textOut.data(), textOut.size());
  });
  if (e != 0) return Error("cannot write " + file + ": " + std::strerror(e));
  if (!skipped.empty()) {
    for (const std::string& note : skipped) std::fprintf(stderr, "WARNING: %s.\n", note.c_str());
    return Error(std::to_string(skipped.size()) + (skipped.size() == 1 ? " key" : " keys") +
                 " whose names cannot be used in a key path were left out of " + file);
  }
  std::printf("%s\n", kDone);
  return 0;
}

int Import(Hive& hive, const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return Error("cannot open " + file + ": " + std::strerror(errno));
  std::stringstream buf;
  buf << in.rdbuf();
  std::string error;
  if (!rt::ImportText(hive, buf.str(), &error)) return Error(file + ", " + error + "; nothing was imported");
  std::printf("%s\n", kDone);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string hivePath;
  for (size_t i = 0; i < args.size();) {
    if (args[i] == "--help" || args[i] == "-h" || args[i] == "/?") {
      Usage(stdout);
      return 0;
    }
    if (args[i] == "--hive") {
      if (i + 1 >= args.size()) return Error("--hive needs a path");
      hivePath = args[i + 1];
      args.erase(args.begin() + i, args.begin() + i + 2);
    } else if (args[i].rfind("--hive=", 0) == 0) {
      hivePath = args[i].substr(7);
      args.erase(args.begin() + i);
    } else {
      ++i;
    }
  }
  if (args.empty()) {
    Usage(stderr);
    return 2;
  }
  std::string command = args[0];
  for (auto& c : command) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  Options o;
  std::string error;
  if (!ParseOptions(std::vector<std::string>(args.begin() + 1, args.end()), &o, &error)) return Error(error);

  size_t wanted = command == "export" ? 2 : 1;
  if (command != "query" && command != "add" && command != "delete" && command != "export" && command != "import") {
    std::fprintf(stderr, "ERROR: unknown command %s\n\n", args[0].c_str());
    Usage(stderr);
    return 2;
  }
  if (o.positional.size() != wanted)
    return Error(command + " takes " + (command == "export" ? "KEY FILE" : command == "import" ? "FILE" : "KEY") +
                 " (see orvane-reg --help)");

  if (hivePath.empty()) hivePath = Hive::DefaultHandheldPath();
  std::string openError;
  auto hive = Hive::OpenFile(hivePath, &openError);
  if (!hive) return Error("cannot open the hive " + hivePath + ": " + openError);
  // A hive that can only be read is still queried and exported.
  if (hive->GetAccess() != orvane::reg::Access::kReadWrite && command != "query" && command != "export")
    return Error("cannot write the hive " + hivePath + ": " + openError);

  if (command == "import") return Import(*hive, o.positional[0]);
  std::u16string path;
  if (!rt::ParseKeyPath(o.positional[0], &path)) return Error("Invalid key name. The hive has only HKEY_LOCAL_MACHINE.");
  if (command == "query") return Query(*hive, path, o);
  if (command == "add") return Add(*hive, path, o);
  if (command == "delete") return Delete(*hive, path, o);
  return Export(*hive, path, o.positional[1], o);
}
