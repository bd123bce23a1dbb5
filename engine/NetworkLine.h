// A line to a serial port on another machine, through a serial server:
//   rfc2217://HOST:PORT  Telnet with the COM port control option: the server sets the
//                        port to the baud rate, 8N1, no flow control, DTR and RTS on;
//   tcp://HOST:PORT      the port's raw bytes (a server in raw mode; the baud rate is
//                        the server's business).
// HOST is a name (resolved through the system, IPv4 and IPv6), an IPv4 address or an
// IPv6 address in brackets ("[::1]"). The connection closing is a hang-up (-EIO), as a
// tty's is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/Line.h"
#include "engine/TelnetCodec.h"

namespace orvane {

struct LineAddress {
  enum class Kind { kRaw, kRfc2217 };
  Kind kind = Kind::kRaw;
  std::string host;  // without brackets
  uint16_t port = 0;
};

// True when |name| names a network line ("SCHEME://...", any scheme): such a name is
// never taken for a device path.
bool IsNetworkName(std::string_view name);

// Parses "rfc2217://HOST:PORT" or "tcp://HOST:PORT" (scheme in any case). False with a
// reason for a person when |name| is not one.
bool ParseLineAddress(std::string_view name, LineAddress* address, std::string* reason);

// How long each step of opening a network line may take.
struct NetworkBounds {
  uint32_t resolveMs = 5000;
  uint32_t connectMs = 5000;    // all addresses of the host together
  uint32_t negotiateMs = 2000;  // the server's answers to the port settings
};

class NetworkLine : public Line {
 public:
  NetworkLine();
  ~NetworkLine() override;
  NetworkLine(const NetworkLine&) = delete;
  NetworkLine& operator=(const NetworkLine&) = delete;

  // Connects and, for RFC 2217, sets the port up at |baud| (0 is refused: EINVAL).
  // 0 on success; otherwise an errno value (ENOENT: unknown host, ECONNREFUSED,
  // ETIMEDOUT, ...) with the reason for a person in |reason|. A connection still held
  // is closed first. What the port received before the line was set up is discarded.
  int Open(const LineAddress& address, uint32_t baud, std::string* reason, NetworkBounds bounds = {});
  bool Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  int Descriptor() const override { return fd_; }
  long ReadSome(uint8_t* buffer, size_t room) override;
  long WriteSome(const uint8_t* data, size_t length) override;

  // What the server told about the port (RFC 2217 only).
  const telnet::ComPortState* ComPort() const { return telnet_ ? &telnet_->ComPort() : nullptr; }
  // The server agreed to control the port (RFC 2217 only).
  bool ComPortAgreed() const { return telnet_ && telnet_->ComPortAgreed(); }

 private:
  int Negotiate(uint32_t baud, uint32_t boundMs, std::string* reason);
  // Sends what the codec has queued, as far as the socket takes it now.
  void FlushOutput();
  // Reads and decodes into |buffer|; see ReadSome.
  long Receive(uint8_t* buffer, size_t room);

  int fd_ = -1;
  bool peerClosed_ = false;
  std::unique_ptr<telnet::Codec> telnet_;
  Bytes scratch_;
  // The second byte of an escape whose first byte went out alone, and the data byte it
  // belongs to.
  int owedByte_ = -1;
  uint8_t owedFor_ = 0;
};

}  // namespace orvane
