// Fuzz target for the binary text decoder. The input is read as UTF-16LE text (what a
// user can type into any field); the checks are the notation's invariants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/BinaryTextCodec.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }

  const Bytes decoded = DecodeBinaryText(text);
  // Every unit is one to four characters long and gives one byte.
  Check(decoded.size() <= text.size());
  Check(decoded.size() * 4 >= text.size());

  // Whatever came out encodes to a text that decodes back to it, and that text is
  // the encoder's own fixed point.
  const std::u16string canonical = EncodeBinaryText(decoded);
  Check(DecodeBinaryText(canonical) == decoded);
  Check(EncodeBinaryText(DecodeBinaryText(canonical)) == canonical);

  // The raw input as bytes survives a round trip too.
  const Bytes raw(data, data + size);
  Check(DecodeBinaryText(EncodeBinaryText(raw)) == raw);
  return 0;
}
