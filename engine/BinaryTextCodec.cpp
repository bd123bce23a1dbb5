// The binary text notation and the device code page (Windows-1252).
#include "engine/BinaryTextCodec.h"

#include "platform/TextConvert.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orvane {
namespace {

// Characters Windows-1252 places at 0x80..0x9F. Zero marks the five bytes the code
// page leaves undefined; those map to the code point of the same value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

// What the encoder lets stand for itself: 0x20..0x7E and 0xA0..0xFF, except the two
// angle brackets, which are doubled. Tab counts as printable but is always escaped.
constexpr bool StandsForItself(uint8_t b) {
  return (b >= 0x20 && b <= 0x7E) || b >= 0xA0;
}

constexpr char16_t kHexUpper[] = u"0123456789ABCDEF";

inline int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

// One text character as a device byte (the conversion step of the decoder).
inline uint8_t ByteAt(std::u16string_view text, size_t i) {
  const char16_t c = text[i];
  if (c < 0x80) return static_cast<uint8_t>(c);
  return CharToDeviceByte(c);
}

// The scan of the decoder. |Emit| receives each produced byte; the return value is
// the number of bytes produced. Both passes run this same function, so the count of
// the first pass is by construction the length the second one fills.
template <typename Emit>
size_t Scan(std::u16string_view text, Emit&& emit) {
  const size_t n = text.size();
  size_t produced = 0;
  size_t p = 0;
  while (p < n) {
    const uint8_t b = ByteAt(text, p);
    if (b == 0x3C && p + 3 < n && ByteAt(text, p + 3) == 0x3E) {
      const uint8_t hi = ByteAt(text, p + 1);
      const uint8_t lo = ByteAt(text, p + 2);
      if (IsHexDigit(static_cast<int8_t>(hi)) && IsHexDigit(static_cast<int8_t>(lo))) {
        emit(produced++, HexPairValue(static_cast<char>(hi), static_cast<char>(lo)));
        p += 4;
        continue;
      }
    }
    if ((b == 0x3C || b == 0x3E) && p + 1 < n && ByteAt(text, p + 1) == b) {
      emit(produced++, b);
      p += 2;
      continue;
    }
    emit(produced++, b);
    p += 1;
  }
  return produced;
}

}  // namespace

std::u16string EncodeBinaryText(const uint8_t* bytes, size_t length) {
  std::u16string out;
  if (length == 0) return out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    const uint8_t b = bytes[i];
    if (b == 0x3C) {
      out.append(u"<<");
    } else if (b == 0x3E) {
      out.append(u">>");
    } else if (StandsForItself(b)) {
      out.push_back(static_cast<char16_t>(b));
    } else {
      const char16_t escape[4] = {u'<', kHexUpper[b >> 4], kHexUpper[b & 0x0F], u'>'};
      out.append(escape, 4);
    }
  }
  return out;
}

namespace {

// Each byte's binary text in UTF-8: up to four characters and how many.
struct Utf8Text {
  char text[4];
  uint8_t length;
};

constexpr std::array<Utf8Text, 256> MakeUtf8Texts() {
  std::array<Utf8Text, 256> table{};
  for (int i = 0; i < 256; ++i) {
    const auto b = static_cast<uint8_t>(i);
    Utf8Text& t = table[static_cast<size_t>(i)];
    if (b == 0x3C || b == 0x3E) {
      t = {{static_cast<char>(b), static_cast<char>(b), 0, 0}, 2};
    } else if (b >= 0x20 && b <= 0x7E) {
      t = {{static_cast<char>(b), 0, 0, 0}, 1};
    } else if (b >= 0xA0) {  // U+00A0..U+00FF in two UTF-8 bytes
      t = {{static_cast<char>(0xC0 | (b >> 6)), static_cast<char>(0x80 | (b & 0x3F)), 0, 0}, 2};
    } else {
      t = {{'<', static_cast<char>(kHexUpper[b >> 4]), static_cast<char>(kHexUpper[b & 0x0F]), '>'}, 4};
    }
  }
  return table;
}

constexpr std::array<Utf8Text, 256> kUtf8Texts = MakeUtf8Texts();

}  // namespace

void AppendBinaryTextUtf8(const uint8_t* bytes, size_t length, std::string* out) {
  // Made in a block on the stack and appended a block at a time.
  constexpr size_t kBlock = 4096;
  char block[kBlock * 4];
  out->reserve(out->size() + length + length / 2);
  for (size_t at = 0; at < length; at += kBlock) {
    const size_t end = std::min(length, at + kBlock);
    char* p = block;
    for (size_t i = at; i < end; ++i) {
      const Utf8Text& t = kUtf8Texts[bytes[i]];
      std::memcpy(p, t.text, 4);
      p += t.length;
    }
    out->append(block, static_cast<size_t>(p - block));
  }
}

Bytes DecodeBinaryText(std::u16string_view text) {
  const size_t count = Scan(text, [](size_t, uint8_t) {});
  Bytes out(count);
  if (count != 0) {
    uint8_t* data = out.data();
    Scan(text, [data](size_t index, uint8_t b) { data[index] = b; });
  }
  return out;
}

bool IsHexDigit(int8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

uint8_t HexPairValue(char high, char low) {
  return static_cast<uint8_t>(HexValue(static_cast<uint8_t>(high)) * 16 +
                              HexValue(static_cast<uint8_t>(low)));
}

bool TryCharToDeviceByte(char16_t c, uint8_t* byte) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    *byte = static_cast<uint8_t>(c);
    return true;
  }
  for (size_t i = 0; i < kHighControls.size(); ++i) {
    const char16_t mapped = kHighControls[i];
    // Undefined positions carry their own code point (U+0081, U+008D, ...).
    if (mapped == c || (mapped == 0 && c == static_cast<char16_t>(0x80 + i))) {
      *byte = static_cast<uint8_t>(0x80 + i);
      return true;
    }
  }
  return false;
}

uint8_t CharToDeviceByte(char16_t c) {
  uint8_t b;
  return TryCharToDeviceByte(c, &b) ? b : static_cast<uint8_t>('?');
}

char16_t DeviceByteToChar(uint8_t byte) {
  if (byte >= 0x80 && byte <= 0x9F) {
    const char16_t mapped = kHighControls[byte - 0x80];
    return mapped != 0 ? mapped : static_cast<char16_t>(byte);
  }
  return static_cast<char16_t>(byte);
}

}  // namespace orvane
