// Fuzz target for the Telnet codec: any server bytes, cut anywhere, give the same data,
// answers and reports as fed whole; data never grows; escaped data decodes to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/TelnetCodec.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  using namespace orvane::telnet;
  if (size == 0) return 0;
  // The first byte chooses where to cut the rest and whether the client starts.
  const bool start = (data[0] & 0x80) != 0;
  const Bytes in(data + 1, data + size);
  const size_t cut = in.empty() ? 0 : (data[0] & 0x7F) % (in.size() + 1);

  Codec whole;
  Codec split;
  if (start) {
    whole.Start();
    split.Start();
  }
  const Bytes all = whole.Receive(in);
  Check(all.size() <= in.size());
  Bytes parts = split.Receive(Bytes(in.begin(), in.begin() + static_cast<long>(cut)));
  const Bytes rest = split.Receive(Bytes(in.begin() + static_cast<long>(cut), in.end()));
  parts.insert(parts.end(), rest.begin(), rest.end());
  Check(parts == all);
  Check(split.Output() == whole.Output());
  Check(split.ComPort() == whole.ComPort());
  Check(whole.ComPort().signature.size() <= ComPortState::kMaxSignature);

  // The input as data: escaped by this codec, decoded by a fresh one in the same mode.
  Codec receiver;
  if (whole.Local(kBinary) == Codec::Side::kYes) receiver.Receive(Bytes{kIac, kWill, kBinary});
  Check(receiver.Receive(whole.EscapeData(in)) == in);
  return 0;
}
