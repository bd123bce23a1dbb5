#include "tools/orvane-reg/RegText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/TextConvert.h"

namespace orvane::regtool {
namespace {

using reg::Hive;
using reg::kSuccess;

constexpr uint32_t kNone = 0, kSz = 1, kExpandSz = 2, kBinary = 3, kDword = 4, kMultiSz = 7, kQword = 11;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::toupper(x) == std::toupper(y); });
}

std::u16string FromBytes(const std::string& data) {
  std::u16string s(data.size() / 2, u'\0');
  if (!s.empty()) std::memcpy(s.data(), data.data(), s.size() * 2);
  return s;
}

std::string ToBytes(std::u16string_view s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

// The text of a string value when it can be written as "..." and read back to the same bytes:
// whole characters, one terminator at the end, no zero, line break or lone surrogate inside.
bool PlainString(const std::string& data, std::u16string* text) {
  if (data.size() < 2 || data.size() % 2) return false;
  std::u16string s = FromBytes(data);
  if (s.back() != u'\0') return false;
  s.pop_back();
  for (char16_t c : s)
    if (c == u'\0' || c == u'\n' || c == u'\r') return false;
  if (!IsWellFormed(s)) return false;
  *text = std::move(s);
  return true;
}

std::string Quote(std::u16string_view s) {
  std::string out = "\"";
  for (char c : Utf16ToUtf8(s)) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

void AppendHex(std::string* out, std::string prefix, const std::string& data) {
  // Lines stay under 80 columns, continued with a backslash like the classic editor does.
  std::string line = std::move(prefix);
  char buf[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(data[i]));
    line += buf;
    if (i + 1 < data.size()) {
      line.push_back(',');
      if (line.size() > 75) {
        *out += line + "\\\n";
        line = "  ";
      }
    }
  }
  *out += line + "\n";
}

bool ExportValues(Hive& hive, reg::Key key, std::string* out, std::string* error) {
  std::vector<reg::ValueEntry> values;
  if (hive.EnumValues(key, &values) != kSuccess) {
    *error = "cannot read the hive";
    return false;
  }
  for (const auto& [name, type, data] : values) {
    if (!IsWellFormed(name) || name.find_first_of(u"\r\n") != std::u16string::npos) {
      *error = "a value name cannot be written as text";
      return false;
    }
    std::string left = name.empty() ? "@=" : Quote(name) + "=";
    std::u16string plain;
    if (type == kSz && PlainString(data, &plain)) {
      *out += left + Quote(plain) + "\n";
    } else if (type == kDword && data.size() == 4) {
      uint32_t v = static_cast<uint8_t>(data[0]) | static_cast<uint8_t>(data[1]) << 8 |
                   static_cast<uint8_t>(data[2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(data[3])) << 24;
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%08x", v);
      *out += left + buf + "\n";
    } else if (type == kBinary) {
      AppendHex(out, left + "hex:", data);
    } else {
      AppendHex(out, left + "hex(" + [&] {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%x", type);
        return std::string(buf);
      }() + "):", data);
    }
  }
  return true;
}

// ---- import ---------------------------------------------------------------------------

struct Parser {
  Hive& hive;
  std::string error;
  reg::Key current = reg::kNoKey;

  ~Parser() {
    if (current != reg::kNoKey) hive.CloseKey(current);
  }

  bool Fail(const std::string& what) {
    error = what;
    return false;
  }

  bool Section(std::string_view inner) {
    if (current != reg::kNoKey) hive.CloseKey(current);
    current = reg::kNoKey;
    bool remove = !inner.empty() && inner[0] == '-';
    if (remove) inner.remove_prefix(1);
    std::u16string path;
    if (!ParseKeyPath(inner, &path)) return Fail("the key is not below HKEY_LOCAL_MACHINE");
    if (remove) {
      if (path.empty()) return Fail("the root key cannot be deleted");
      reg::Status s = hive.DeleteKey(reg::kLocalMachine, path);
      if (s != kSuccess && s != reg::kFileNotFound) return Fail("cannot delete the key");
      return true;
    }
    // A key that is there already is used as it is; a new one must keep to the limits.
    reg::Status s = hive.OpenKey(reg::kLocalMachine, path, &current);
    if (s == reg::kFileNotFound) {
      std::string why;
      if (!WithinKeyLimits(path, &why)) return Fail(why);
      s = hive.CreateKey(reg::kLocalMachine, path, &current);
    }
    if (s == reg::kInvalidParameter) return Fail("the key name has an empty part");
    if (s != kSuccess) return Fail("cannot create the key");
    return true;
  }

  // A quoted text starting at |*pos| (at the opening quote); advances past the closing one.
  bool QuotedText(std::string_view line, size_t* pos, std::string* out) {
    size_t i = *pos + 1;
    out->clear();
    for (; i < line.size(); ++i) {
      char c = line[i];
      if (c == '\\' && i + 1 < line.size()) {
        out->push_back(line[++i]);
      } else if (c == '"') {
        *pos = i + 1;
        return true;
      } else {
        out->push_back(c);
      }
    }
    return Fail("a quoted text has no closing quote");
  }

  bool HexBytes(std::string_view text, std::string* out) {
    out->clear();
    size_t i = 0;
    auto skip = [&] {
      while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    };
    skip();
    if (i == text.size()) return true;
    while (true) {
      skip();
      size_t start = i;
      while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]))) ++i;
      if (i - start == 0 || i - start > 2) return Fail("a hex byte is not one or two hex digits");
      out->push_back(static_cast<char>(std::stoul(std::string(text.substr(start, i - start)), nullptr, 16)));
      skip();
      if (i == text.size()) return true;
      if (text[i] != ',') return Fail("hex bytes must be separated by commas");
      ++i;
    }
  }

  bool Value(std::string_view line) {
    if (current == reg::kNoKey) return Fail("a value comes before any [key] line");
    std::string name8;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!QuotedText(line, &pos, &name8)) {
      return false;
    }
    while (pos < line.size() && line[pos] == ' ') ++pos;
    if (pos >= line.size() || line[pos] != '=') return Fail("'=' expected after the value name");
    ++pos;
    while (pos < line.size() && line[pos] == ' ') ++pos;
    std::u16string name = Utf8ToUtf16(name8);
    std::string_view rest = line.substr(pos);
    if (rest == "-") {
      reg::Status s = hive.DeleteValue(current, name);
      return s == kSuccess || s == reg::kFileNotFound ? true : Fail("cannot delete the value");
    }
    uint32_t type = kSz;
    std::string data;
    if (!rest.empty() && rest[0] == '"') {
      std::string text8;
      size_t p = 0;
      if (!QuotedText(rest, &p, &text8)) return false;
      if (p != rest.size()) return Fail("unexpected text after the closing quote");
      std::u16string t = Utf8ToUtf16(text8);
      t.push_back(u'\0');
      data = ToBytes(t);
    } else if (rest.size() >= 6 && EqualsNoCase(rest.substr(0, 6), "dword:")) {
      std::string_view digits = rest.substr(6);
      if (digits.empty() || digits.size() > 8 ||
          !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return Fail("dword: needs one to eight hex digits");
      uint32_t v = static_cast<uint32_t>(std::stoul(std::string(digits), nullptr, 16));
      type = kDword;
      data = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    } else if (rest.size() >= 3 && EqualsNoCase(rest.substr(0, 3), "hex")) {
      std::string_view r = rest.substr(3);
      type = kBinary;
      if (!r.empty() && r[0] == '(') {
        size_t close = r.find(')');
        std::string digits(r.substr(1, close == std::string_view::npos ? 0 : close - 1));
        if (close == std::string_view::npos || digits.empty() || digits.size() > 8 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
          return Fail("hex(...) needs a hex type number");
        type = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
        r = r.substr(close + 1);
      }
      if (r.empty() || r[0] != ':') return Fail("':' expected after hex");
      if (!HexBytes(r.substr(1), &data)) return false;
    } else {
      return Fail("the value's data is not \"text\", dword:, hex: or -");
    }
    if (hive.SetValue(current, name, type, reinterpret_cast<const uint8_t*>(data.data()),
                      static_cast<uint32_t>(data.size())) != kSuccess)
      return Fail("cannot write the value");
    return true;
  }
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

}  // namespace

bool ParseKeyPath(std::string_view text, std::u16string* path) {
  // The root must be named, as with reg: a path a shell stripped of its backslashes
  // ("HKLMSoftware") is an error rather than a new key.
  size_t slash = text.find('\\');
  std::string_view root = text.substr(0, slash);
  if (!EqualsNoCase(root, "HKLM") && !EqualsNoCase(root, kRootName)) return false;
  std::string_view rest = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
  *path = Utf8ToUtf16(rest);
  return true;
}

std::string FullKeyName(std::u16string_view path) {
  std::string name(kRootName);
  if (!path.empty()) name += "\\" + Utf16ToUtf8(path);
  return name;
}

std::string TypeName(uint32_t type) {
  switch (type) {
    case kNone: return "REG_NONE";
    case kSz: return "REG_SZ";
    case kExpandSz: return "REG_EXPAND_SZ";
    case kBinary: return "REG_BINARY";
    case kDword: return "REG_DWORD";
    case 5: return "REG_DWORD_BIG_ENDIAN";
    case 6: return "REG_LINK";
    case kMultiSz: return "REG_MULTI_SZ";
    case kQword: return "REG_QWORD";
    default: return "REG_UNKNOWN(" + std::to_string(type) + ")";
  }
}

bool ParseTypeName(std::string_view name, uint32_t* type) {
  for (uint32_t t : {kNone, kSz, kExpandSz, kBinary, kDword, kMultiSz, kQword}) {
    if (EqualsNoCase(name, TypeName(t))) {
      *type = t;
      return true;
    }
  }
  return false;
}

std::string FormatData(uint32_t type, const std::string& data) {
  char buf[32];
  if ((type == kSz || type == kExpandSz) && data.size() % 2 == 0) {
    std::u16string s = FromBytes(data);
    size_t end = s.find(u'\0');
    if (end != std::u16string::npos) s.resize(end);
    return Utf16ToUtf8(s);
  }
  if (type == kMultiSz && data.size() % 2 == 0) {
    std::u16string s = FromBytes(data);
    while (s.size() >= 2 && s[s.size() - 1] == u'\0' && s[s.size() - 2] == u'\0') s.pop_back();
    if (!s.empty() && s.back() == u'\0') s.pop_back();
    std::string out;
    for (char16_t c : s) out += c == u'\0' ? std::string("\\0") : Utf16ToUtf8(std::u16string(1, c));
    return out;
  }
  if (type == kDword && data.size() == 4) {
    uint32_t v = static_cast<uint8_t>(data[0]) | static_cast<uint8_t>(data[1]) << 8 |
                 static_cast<uint8_t>(data[2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(data[3])) << 24;
    std::snprintf(buf, sizeof buf, "0x%x", v);
    return buf;
  }
  if (type == kQword && data.size() == 8) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(data[i]);
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
  }
  std::string out;
  for (char c : data) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(c));
    out += buf;
  }
  return out;
}

bool WithinKeyLimits(std::u16string_view path, std::string* error) {
  if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  if (path.empty()) return true;
  size_t depth = 0;
  for (size_t start = 0;; ++depth) {
    const size_t end = path.find(u'\\', start);
    const std::u16string_view part = path.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (part.size() > kMaxKeyNameChars) {
      *error = "the key name \"" + Utf16ToUtf8(part.substr(0, 32)) + "...\" has " + std::to_string(part.size()) +
               " characters; the registry allows at most " + std::to_string(kMaxKeyNameChars) + " characters";
      return false;
    }
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  if (++depth > kMaxKeyDepth) {
    *error = "the key is " + std::to_string(depth) + " levels deep; the registry allows at most " +
             std::to_string(kMaxKeyDepth) + " levels below " + std::string(kRootName);
    return false;
  }
  return true;
}

std::string SkippedKeyNote(std::u16string_view parentPath, std::u16string_view name) {
  return FullKeyName(parentPath) + " has a subkey named \"" + Utf16ToUtf8(name) +
         "\", which cannot be used in a key path (the hive is damaged); it was skipped";
}

bool Addressable(std::u16string_view name) { return !name.empty() && name.find(u'\\') == std::u16string_view::npos; }

reg::Status WalkTree(Hive& hive, reg::Key key, std::u16string path, const KeyVisitor& visit,
                     const SkipReporter& skipped) {
  struct Level {
    reg::Key key;
    std::vector<std::u16string> names;  // its subkeys, read once when the level is entered
    size_t next;                        // index of the next subkey to look at
    size_t pathLength;                  // the length of this key's path
  };
  // The keys open on the way down; all but the first (the caller's) are closed here.
  struct Levels : std::vector<Level> {
    explicit Levels(Hive& h) : hive(h) {}
    ~Levels() {
      for (size_t i = 1; i < size(); ++i) hive.CloseKey((*this)[i].key);
    }
    Hive& hive;
  } levels(hive);

  // Enters |k|: its subkeys are read in one go.
  auto enter = [&](reg::Key k) {
    levels.push_back({k, {}, 0, path.size()});
    return hive.EnumKeys(k, 0, UINT32_MAX, &levels.back().names);
  };
  if (!visit(key, path)) return kSuccess;
  if (reg::Status s = enter(key); s != kSuccess) return s;
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.names.size()) {
      if (levels.size() > 1) hive.CloseKey(level.key);
      levels.pop_back();
      continue;
    }
    const std::u16string name = std::move(level.names[level.next++]);
    path.resize(level.pathLength);
    if (!Addressable(name)) {
      if (skipped) skipped(path, name);
      continue;
    }
    reg::Key child = reg::kNoKey;
    reg::Status s = hive.OpenKey(level.key, name, &child);
    if (s == reg::kFileNotFound) continue;  // deleted meanwhile: nothing left to show
    if (s != kSuccess) return s;
    if (!path.empty()) path += u'\\';
    path += name;
    if (s = enter(child); s != kSuccess) return s;
    if (!visit(child, path)) return kSuccess;
  }
  return kSuccess;
}

bool ExportKey(Hive& hive, std::u16string_view path, std::string* out, std::string* error,
               std::vector<std::string>* skipped) {
  reg::ScopedKey key(hive, reg::kLocalMachine, path, false);
  if (!key.ok()) {
    *error = "The system was unable to find the specified registry key or value.";
    return false;
  }
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  std::u16string normalized(path);
  while (!normalized.empty() && normalized.back() == u'\\') normalized.pop_back();
  bool failed = false;
  const reg::Status walked = WalkTree(
      hive, key.get(), normalized,
      [&](reg::Key k, const std::u16string& keyPath) {
        if (!IsWellFormed(keyPath) || keyPath.find_first_of(u"\r\n") != std::u16string::npos) {
          *error = "a key name cannot be written as text";
          failed = true;
        } else {
          text += "[" + FullKeyName(keyPath) + "]\n";
          failed = !ExportValues(hive, k, &text, error);
          text += "\n";
        }
        return !failed;
      },
      [&](const std::u16string& parentPath, const std::u16string& name) {
        if (skipped) skipped->push_back(SkippedKeyNote(parentPath, name));
      });
  if (failed) return false;
  if (walked != kSuccess) {
    *error = "cannot read the hive";
    return false;
  }
  *out = std::move(text);
  return true;
}

bool ImportText(Hive& hive, std::string_view text, std::string* error) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string_view> lines;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  Hive::Transaction tx(hive);
  if (!tx.Active()) {
    *error = "cannot lock the hive";
    return false;
  }
  Parser parser{hive, {}, reg::kNoKey};
  bool header = false;
  for (size_t n = 0; n < lines.size(); ++n) {
    size_t lineNo = n + 1;
    std::string_view line = Trim(lines[n]);
    std::string joined;
    // A trailing backslash continues hex data on the next line(s).
    if (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string_view::npos) {
      joined = std::string(line.substr(0, line.size() - 1));
      while (n + 1 < lines.size()) {
        std::string_view next = Trim(lines[++n]);
        bool more = !next.empty() && next.back() == '\\';
        joined += std::string(more ? next.substr(0, next.size() - 1) : next);
        if (!more) break;
      }
      line = joined;
    }
    if (line.empty() || line[0] == ';') continue;
    if (!header) {
      if (line != "Windows Registry Editor Version 5.00" && line != "REGEDIT4") {
        *error = "line " + std::to_string(lineNo) + ": not a registry file (the first line must be "
                 "\"Windows Registry Editor Version 5.00\")";
        return false;
      }
      header = true;
      continue;
    }
    bool ok;
    if (line[0] == '[') {
      if (line.back() != ']') {
        *error = "line " + std::to_string(lineNo) + ": a key line must end with ']'";
        return false;
      }
      ok = parser.Section(line.substr(1, line.size() - 2));
    } else if (line[0] == '"' || line[0] == '@') {
      ok = parser.Value(line);
    } else {
      ok = parser.Fail("not a key, a value or a comment");
    }
    if (!ok) {
      *error = "line " + std::to_string(lineNo) + ": " + parser.error;
      return false;
    }
  }
  if (!header) {
    *error = "the file is empty, not a registry file";
    return false;
  }
  if (tx.Commit() != kSuccess) {
    *error = "cannot write the hive";
    return false;
  }
  return true;
}

}  // namespace orvane::regtool
