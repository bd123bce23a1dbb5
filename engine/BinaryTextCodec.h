// The binary text notation: printable characters stand for themselves, every other
// byte is written "<%02X>", and a literal '<' or '>' is doubled. All text the user
// types or sees passes through these two conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextConvert.h"

namespace orvane {

using Bytes = std::vector<uint8_t>;

// Bytes to binary text. Never fails.
std::u16string EncodeBinaryText(const uint8_t* bytes, size_t length);
inline std::u16string EncodeBinaryText(const Bytes& bytes) {
  return EncodeBinaryText(bytes.data(), bytes.size());
}

// Bytes to binary text appended to |out| as UTF-8: the same text as
// Utf16ToUtf8(EncodeBinaryText(...)), made in one step for output streams.
void AppendBinaryTextUtf8(const uint8_t* bytes, size_t length, std::string* out);

// Binary text to bytes; text that is not a well-formed escape is taken literally.
// The result is allocated once at its final size. Never fails.
Bytes DecodeBinaryText(std::u16string_view text);

// True for 0-9, A-F, a-f; values 0x80 to 0xFF (negative here) are never digits.
bool IsHexDigit(int8_t c);
// The byte whose high half is |high|'s value and low half |low|'s.
uint8_t HexPairValue(char high, char low);

// The device's code page (Windows-1252). A character with no single byte in it gives
// false from TryCharToDeviceByte and '?' from CharToDeviceByte.
bool TryCharToDeviceByte(char16_t c, uint8_t* byte);
uint8_t CharToDeviceByte(char16_t c);
// The character a device byte stands for in Windows-1252 (bytes it leaves undefined
// map to the code point of the same value).
char16_t DeviceByteToChar(uint8_t byte);


}  // namespace orvane
