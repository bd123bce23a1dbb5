// UTF-8 <-> UTF-16: the one converter of every layer (command lines, files, standard
// streams, the hive's strings). Ill-formed input becomes U+FFFD.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

// A broken sequence (truncated, overlong, an encoded surrogate) becomes one U+FFFD.
inline std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  const size_t n = utf8.size();
  size_t i = 0;
  auto cont = [&](size_t k) {
    return k < n && (static_cast<uint8_t>(utf8[k]) & 0xC0) == 0x80;
  };
  while (i < n) {
    const uint8_t b0 = static_cast<uint8_t>(utf8[i]);
    char32_t cp = 0xFFFD;
    size_t len = 1;
    if (b0 < 0x80) {
      cp = b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      if (cont(i + 1)) {
        cp = ((b0 & 0x1Fu) << 6) | (static_cast<uint8_t>(utf8[i + 1]) & 0x3Fu);
        len = 2;
      }
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      if (cont(i + 1) && cont(i + 2)) {
        const char32_t v = ((b0 & 0x0Fu) << 12) |
                           ((static_cast<uint8_t>(utf8[i + 1]) & 0x3Fu) << 6) |
                           (static_cast<uint8_t>(utf8[i + 2]) & 0x3Fu);
        // Overlong forms and encoded surrogates are ill-formed.
        if (v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) {
          cp = v;
          len = 3;
        }
      }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      if (cont(i + 1) && cont(i + 2) && cont(i + 3)) {
        const char32_t v = ((b0 & 0x07u) << 18) |
                           ((static_cast<uint8_t>(utf8[i + 1]) & 0x3Fu) << 12) |
                           ((static_cast<uint8_t>(utf8[i + 2]) & 0x3Fu) << 6) |
                           (static_cast<uint8_t>(utf8[i + 3]) & 0x3Fu);
        if (v >= 0x10000 && v <= 0x10FFFF) {
          cp = v;
          len = 4;
        }
      }
    }
    if (cp == 0xFFFD && len == 1 && b0 >= 0x80) {
      // Skip the continuation bytes of a broken sequence as one replacement.
      size_t k = i + 1;
      while (k < n && k < i + 4 && cont(k) && b0 >= 0xC0) ++k;
      len = k - i;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

// True when |s| has no unpaired surrogate (so it survives a trip through UTF-8).
inline bool IsWellFormed(std::u16string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

inline std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace orvane
