// The client side of a Telnet connection with the COM port control option (RFC 854,
// RFC 1143 option negotiation, RFC 2217), as bytes in and bytes out: no sockets, no
// clock. Server bytes go in through Receive(), which gives back the data bytes and
// keeps what the server said about options and the port; what must go back to the
// server (negotiation answers, port requests) collects in Output(). Data to the server
// is escaped with EscapeData(). Any byte sequence, split anywhere, gives the same
// result as fed whole.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/BinaryTextCodec.h"

namespace orvane::telnet {

// Telnet commands.
constexpr uint8_t kSe = 240;
constexpr uint8_t kNop = 241;
constexpr uint8_t kSb = 250;
constexpr uint8_t kWill = 251;
constexpr uint8_t kWont = 252;
constexpr uint8_t kDo = 253;
constexpr uint8_t kDont = 254;
constexpr uint8_t kIac = 255;

// Options.
constexpr uint8_t kBinary = 0;
constexpr uint8_t kEcho = 1;
constexpr uint8_t kSuppressGoAhead = 3;
constexpr uint8_t kComPort = 44;

// COM port option commands, client to server; the server answers with the code + 100.
namespace comport {
constexpr uint8_t kSignature = 0;
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kSetControl = 5;
constexpr uint8_t kNotifyLineState = 6;
constexpr uint8_t kNotifyModemState = 7;
constexpr uint8_t kFlowControlSuspend = 8;
constexpr uint8_t kFlowControlResume = 9;
constexpr uint8_t kPurgeData = 12;
constexpr uint8_t kServerOffset = 100;

constexpr uint8_t kParityNone = 1;
constexpr uint8_t kParityOdd = 2;
constexpr uint8_t kParityEven = 3;
constexpr uint8_t kParityMark = 4;
constexpr uint8_t kParitySpace = 5;
constexpr uint8_t kStopBitsOne = 1;
constexpr uint8_t kStopBitsTwo = 2;
constexpr uint8_t kControlNoFlowControl = 1;  // outbound flow control, both ways for servers
constexpr uint8_t kControlXonXoff = 2;
constexpr uint8_t kControlHardware = 3;
constexpr uint8_t kControlBreakOn = 5;
constexpr uint8_t kControlBreakOff = 6;
constexpr uint8_t kControlDtrOn = 8;
constexpr uint8_t kControlDtrOff = 9;
constexpr uint8_t kControlRtsOn = 11;
constexpr uint8_t kControlRtsOff = 12;
constexpr uint8_t kPurgeReceiveBuffer = 1;  // the server's buffer of device input
}  // namespace comport

// What the server told about the serial port: its answers to requests and its
// notifications. Counters count every message of the kind, including repeats.
struct ComPortState {
  uint32_t baudRate = 0;  // the last baud rate the server reported
  int baudReplies = 0;
  uint8_t dataSize = 0;
  int dataSizeReplies = 0;
  uint8_t parity = 0;
  int parityReplies = 0;
  uint8_t stopSize = 0;
  int stopSizeReplies = 0;
  uint8_t control = 0;  // the last SET-CONTROL answer
  int controlReplies = 0;
  int purgeReplies = 0;
  uint8_t lineState = 0;   // NOTIFY-LINESTATE
  int lineStateNotes = 0;
  uint8_t modemState = 0;  // NOTIFY-MODEMSTATE
  int modemStateNotes = 0;
  bool flowSuspended = false;  // FLOWCONTROL-SUSPEND until RESUME
  std::string signature;       // the server's SIGNATURE text (at most kMaxSignature bytes)
  // Commands understood and dropped (NOP, GA, AYT, ...), subnegotiations of other
  // options, malformed or overlong ones.
  int otherCommands = 0;

  static constexpr size_t kMaxSignature = 128;
  bool operator==(const ComPortState&) const = default;
};

class Codec {
 public:
  // Option state after RFC 1143: each side of each option is off, on, or asked for.
  enum class Side : uint8_t { kNo, kYes, kWantNo, kWantYes };

  Codec();

  // The client's opening requests: it offers binary transmission, suppressed go-ahead
  // and the COM port option, and asks the server for binary and suppressed go-ahead.
  void Start();

  // Server bytes in; the data among them is written to |out|, which has room for at
  // least |length| bytes. Returns the number of data bytes written.
  size_t Receive(const uint8_t* in, size_t length, uint8_t* out);
  Bytes Receive(const Bytes& in);

  // COM port requests (queued into Output()). Baud 0 asks for the current rate.
  void RequestBaudRate(uint32_t baud);
  void Request(uint8_t code, uint8_t value);

  // Bytes due to the server; the caller erases what it has sent. At most kMaxOutput
  // bytes wait: an answer or request that finds no room is dropped and OutputOverflowed()
  // turns true for good, since the server then missed something it was owed (a server
  // that sends negotiations without reading the answers). Its connection is dropped.
  Bytes& Output() { return output_; }
  bool OutputOverflowed() const { return outputOverflowed_; }
  static constexpr size_t kMaxOutput = size_t{256} << 10;

  // The escape of one data byte: IAC doubled; a carriage return followed by NUL unless
  // this side sends binary. Returns the length (1 or 2) written to |out|.
  size_t EscapeData(uint8_t byte, uint8_t out[2]) const;
  Bytes EscapeData(const Bytes& data) const;

  Side Local(uint8_t option) const { return local_[option]; }
  Side Remote(uint8_t option) const { return remote_[option]; }
  // The server has agreed to (or refused) the COM port option.
  bool ComPortAgreed() const { return local_[kComPort] == Side::kYes; }
  bool ComPortRefused() const { return local_[kComPort] == Side::kNo && comPortAnswered_; }
  const ComPortState& ComPort() const { return comPort_; }

 private:
  enum class State : uint8_t { kData, kIac, kOption, kSbOption, kSb, kSbIac };
  static constexpr size_t kMaxSubnegotiation = 256;

  void OnCommand(uint8_t command);
  void OnOption(uint8_t command, uint8_t option);
  void OnSubnegotiation();
  void Send3(uint8_t a, uint8_t b, uint8_t c);
  // False (and the output overflowed) when |length| more bytes do not fit.
  bool HasRoom(size_t length);
  void SendSubnegotiation(uint8_t code, const uint8_t* value, size_t length);
  bool WantLocal(uint8_t option) const;
  bool WantRemote(uint8_t option) const;

  State state_ = State::kData;
  uint8_t command_ = 0;          // the WILL/WONT/DO/DONT awaiting its option
  bool afterCr_ = false;         // the last data byte was a carriage return
  uint8_t sbOption_ = 0;
  Bytes sb_;                     // the subnegotiation's payload so far
  bool sbOverlong_ = false;
  bool comPortAnswered_ = false;
  std::array<Side, 256> local_{};
  std::array<Side, 256> remote_{};
  ComPortState comPort_;
  Bytes output_;
  bool outputOverflowed_ = false;
};

}  // namespace orvane::telnet
