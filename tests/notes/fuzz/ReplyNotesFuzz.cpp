// Fuzz target for the reply notes: any reply bytes, read as the reply to a command and
// as unsolicited data, and any bytes as a PDU with and without a service centre, give
// at most kMaxNotes notes, each one line of well-formed UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "notes/ReplyNotes.h"
#include "notes/SmsPdu.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Well-formed UTF-8 without control characters.
bool OneLineUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<uint8_t>(s[i]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size() || b < 0x20 || b == 0x7F) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

void CheckNotes(const std::vector<std::string>& notes) {
  Check(notes.size() <= orvane::notes::kMaxNotes);
  for (const std::string& note : notes) Check(!note.empty() && OneLineUtf8(note));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  // The first line (up to a CR) is the command, the rest the reply.
  size_t cut = 0;
  while (cut < size && data[cut] != '\r') ++cut;
  const std::string_view command(reinterpret_cast<const char*>(data), cut);
  const uint8_t* reply = data + (cut < size ? cut + 1 : cut);
  const size_t length = size - (cut < size ? cut + 1 : cut);
  CheckNotes(notes::ReplyNotes(command, reply, length, RowKind::kExchange));
  CheckNotes(notes::ReplyNotes({}, data, size, RowKind::kUnsolicited));
  CheckNotes(notes::SmsNotes(notes::DecodeSmsPdu(data, size, true)));
  CheckNotes(notes::SmsNotes(notes::DecodeSmsPdu(data, size, false)));
  return 0;
}
