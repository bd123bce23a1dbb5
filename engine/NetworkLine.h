// A line to a serial port on another machine, through a serial server:
//   rfc2217://HOST:PORT  Telnet with the COM port control option: the server sets the
//                        port to the baud rate and the line settings (data bits,
//                        parity, stop bits, flow control, DTR, RTS), and sends breaks;
//   tcp://HOST:PORT      the port's raw bytes (a server in raw mode; the baud rate and
//                        the settings are the server's business, a break cannot be sent).
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
#include "engine/LineSettings.h"
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
  // Input on |stopFd| (-1: none) cancels the open at any step: ECANCELED, "interrupted".
  int Open(const LineAddress& address, uint32_t baud, const LineSettings& settings, std::string* reason,
           NetworkBounds bounds = {}, int stopFd = -1);
  // With the default settings (8N1, no flow control, DTR and RTS on).
  int Open(const LineAddress& address, uint32_t baud, std::string* reason, NetworkBounds bounds = {},
           int stopFd = -1) {
    return Open(address, baud, LineSettings{}, reason, bounds, stopFd);
  }
  // RFC 2217: asks the server to hold the port in the break state for |ms| (sent now,
  // then waited for). Raw TCP has no way to say it: ENOTSUP.
  int SendBreak(uint32_t ms) override;
  bool Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  int Descriptor() const override { return fd_; }
  // As a Line's. Telnet commands carry no data: after a bounded amount of them with no
  // data among them ReadSome returns 0 even though more is waiting, so that the caller
  // gets its turn (its deadline, its stop) while a server floods commands; the
  // descriptor is still readable. -EIO when the server closed the connection; -ENOBUFS
  // when the server was dropped for sending negotiations without reading the answers.
  long ReadSome(uint8_t* buffer, size_t room) override;
  long WriteSome(const uint8_t* data, size_t length) override;

  // Why the line no longer works (the server closed the connection or was dropped), for
  // a person; empty while it works.
  std::string Failure() const override { return failure_; }

  // What the server told about the port (RFC 2217 only).
  const telnet::ComPortState* ComPort() const { return telnet_ ? &telnet_->ComPort() : nullptr; }
  // The server agreed to control the port (RFC 2217 only).
  bool ComPortAgreed() const { return telnet_ && telnet_->ComPortAgreed(); }

 private:
  int Negotiate(uint32_t baud, const LineSettings& settings, uint32_t boundMs, int stopFd, std::string* reason);
  // send() without waiting: bytes sent, 0 when the socket takes nothing now, or -errno.
  long SendSome(const uint8_t* bytes, size_t length);
  // Sends what is owed to the server, as far as the socket takes it now: the rest of an
  // escape cut short, then what the codec has queued. 0, or -errno when sending failed.
  long FlushOutput();
  // Reads and decodes into |buffer|; see ReadSome.
  long Receive(uint8_t* buffer, size_t room);
  // The line stops working: -|error| from every later transfer, |why| in Failure().
  long Fail(int error, std::string why);

  int fd_ = -1;
  int error_ = 0;  // the errno value every transfer returns once the line failed
  std::string failure_;
  std::unique_ptr<telnet::Codec> telnet_;
  Bytes scratch_;
  // Raw bytes read since ReadSome last returned 0 that carried no data.
  size_t commandBytes_ = 0;
  // The second byte of an escape whose first byte went out alone (-1: none). It goes out
  // before anything else, so that nothing ever lands inside an escape.
  int escapeTail_ = -1;
};

}  // namespace orvane
