// The framing and modem-control lines a port is opened with: data bits, parity, stop
// bits, flow control, DTR and RTS. The default is 8N1, no flow control, DTR and RTS on.
// The local tty applies them itself; a network line asks the serial server (RFC 2217).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

enum class Parity : uint8_t { kNone, kEven, kOdd, kMark, kSpace };
enum class FlowControl : uint8_t { kNone, kRtsCts, kXonXoff };

struct LineSettings {
  uint8_t dataBits = 8;  // 5..8
  Parity parity = Parity::kNone;
  uint8_t stopBits = 1;  // 1 or 2
  FlowControl flow = FlowControl::kNone;
  // The modem-control lines while the port is open. With RTS/CTS flow control the
  // driver works RTS itself and |rts| is not applied.
  bool dtr = true;
  bool rts = true;

  bool operator==(const LineSettings&) const = default;
  // Every field holds one of its values.
  bool Valid() const;
};

// The names tools and the hive use: "none", "even", "odd", "mark", "space";
// "none", "rtscts", "xonxoff".
std::string_view ParityName(Parity parity);
std::string_view FlowName(FlowControl flow);
// False when |text| names none (exact, lower case).
bool ParseParity(std::string_view text, Parity* parity);
bool ParseFlow(std::string_view text, FlowControl* flow);

// "8N1", "7E2", ... with the flow control and the lines when they are not the
// default: "8N1 rtscts dtr-off".
std::string DescribeLineSettings(const LineSettings& settings);

}  // namespace orvane
