// A strict reader of one flat JSON object per line (string, number, null, true and
// false values, and non-empty arrays of strings), enough to check what linewright
// --json prints.
#pragma once

#include <cctype>
#include <map>
#include <optional>
#include <string>

namespace orvane::testing {

// The object's members, each value as its decoded string (numbers and literals as
// written, an array's strings joined by line feeds); nullopt when |line| is not exactly one well-formed JSON object.
inline std::optional<std::map<std::string, std::string>> ParseFlatJson(const std::string& line) {
  size_t i = 0;
  auto ws = [&] {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  };
  auto hex = [&](unsigned* v) {
    if (i + 4 > line.size()) return false;
    *v = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = line[i++];
      if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
      *v = *v * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10));
    }
    return true;
  };
  auto string = [&](std::string* out) {
    if (i >= line.size() || line[i] != '"') return false;
    ++i;
    while (i < line.size() && line[i] != '"') {
      const unsigned char c = static_cast<unsigned char>(line[i]);
      if (c < 0x20) return false;
      if (c != '\\') {
        out->push_back(static_cast<char>(c));
        ++i;
        continue;
      }
      if (++i >= line.size()) return false;
      const char e = line[i++];
      const std::string simple = "\"\\/bfnrt";
      const std::string meant = "\"\\/\b\f\n\r\t";
      if (const size_t k = simple.find(e); k != std::string::npos) {
        out->push_back(meant[k]);
      } else if (e == 'u') {
        unsigned v = 0;
        if (!hex(&v) || (v >= 0xD800 && v <= 0xDFFF)) return false;
        if (v < 0x80) {
          out->push_back(static_cast<char>(v));
        } else if (v < 0x800) {
          out->push_back(static_cast<char>(0xC0 | (v >> 6)));
          out->push_back(static_cast<char>(0x80 | (v & 0x3F)));
        } else {
          out->push_back(static_cast<char>(0xE0 | (v >> 12)));
          out->push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
          out->push_back(static_cast<char>(0x80 | (v & 0x3F)));
        }
      } else {
        return false;
      }
    }
    if (i >= line.size()) return false;
    ++i;
    return true;
  };
  auto scalar = [&](std::string* out) {
    for (const char* word : {"null", "true", "false"}) {
      if (line.compare(i, std::string(word).size(), word) == 0) {
        *out = word;
        i += out->size();
        return true;
      }
    }
    const size_t start = i;
    if (i < line.size() && line[i] == '-') ++i;
    const size_t digits = i;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) ++i;
    if (i == digits || (line[digits] == '0' && i - digits > 1)) return false;
    *out = line.substr(start, i - start);
    return true;
  };
  auto array = [&](std::string* out) {
    ++i;  // '['
    for (;;) {
      std::string item;
      ws();
      if (!string(&item)) return false;
      if (!out->empty()) out->push_back('\n');
      out->append(item);
      ws();
      if (i < line.size() && line[i] == ',') {
        ++i;
        continue;
      }
      return i < line.size() && line[i++] == ']';
    }
  };
  std::map<std::string, std::string> members;
  ws();
  if (i >= line.size() || line[i++] != '{') return std::nullopt;
  ws();
  if (i < line.size() && line[i] == '}') {
    ++i;
  } else {
    for (;;) {
      std::string key;
      std::string value;
      ws();
      if (!string(&key)) return std::nullopt;
      ws();
      if (i >= line.size() || line[i++] != ':') return std::nullopt;
      ws();
      const char first = i < line.size() ? line[i] : '\0';
      if (!(first == '"' ? string(&value) : first == '[' ? array(&value) : scalar(&value)))
        return std::nullopt;
      if (!members.emplace(key, value).second) return std::nullopt;
      ws();
      if (i < line.size() && line[i] == ',') {
        ++i;
        continue;
      }
      if (i < line.size() && line[i] == '}') {
        ++i;
        break;
      }
      return std::nullopt;
    }
  }
  ws();
  if (i != line.size()) return std::nullopt;
  return members;
}

}  // namespace orvane::testing
