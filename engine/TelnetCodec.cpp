#include "engine/TelnetCodec.h"

namespace orvane::telnet {

Codec::Codec() {
  local_.fill(Side::kNo);
  remote_.fill(Side::kNo);
}

bool Codec::WantLocal(uint8_t option) const {
  return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

// The server's echo is refused: every byte the line reads comes from the device.
bool Codec::WantRemote(uint8_t option) const {
  return option == kBinary || option == kSuppressGoAhead;
}

bool Codec::HasRoom(size_t length) {
  if (output_.size() + length > kMaxOutput) outputOverflowed_ = true;
  return !outputOverflowed_;
}

void Codec::Send3(uint8_t a, uint8_t b, uint8_t c) {
  if (!HasRoom(3)) return;
  output_.push_back(a);
  output_.push_back(b);
  output_.push_back(c);
}

void Codec::Start() {
  for (uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
    if (local_[option] != Side::kNo) continue;
    local_[option] = Side::kWantYes;
    Send3(kIac, kWill, option);
  }
  for (uint8_t option : {kBinary, kSuppressGoAhead}) {
    if (remote_[option] != Side::kNo) continue;
    remote_[option] = Side::kWantYes;
    Send3(kIac, kDo, option);
  }
}

size_t Codec::Receive(const uint8_t* in, size_t length, uint8_t* out) {
  size_t written = 0;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t b = in[i];
    switch (state_) {
      case State::kData:
        if (b == kIac) {
          state_ = State::kIac;
          break;
        }
        // Outside binary mode a carriage return is sent as CR NUL: the NUL is no data.
        if (b == 0 && afterCr_ && remote_[kBinary] != Side::kYes) {
          afterCr_ = false;
          break;
        }
        afterCr_ = b == '\r';
        out[written++] = b;
        break;
      case State::kIac:
        if (b == kIac) {
          state_ = State::kData;
          afterCr_ = false;
          out[written++] = b;
        } else if (b >= kWill) {
          command_ = b;
          state_ = State::kOption;
        } else if (b == kSb) {
          state_ = State::kSbOption;
        } else {
          state_ = State::kData;
          OnCommand(b);
        }
        break;
      case State::kOption:
        state_ = State::kData;
        OnOption(command_, b);
        break;
      case State::kSbOption:
        sbOption_ = b;
        sb_.clear();
        sbOverlong_ = false;
        state_ = State::kSb;
        break;
      case State::kSb:
        if (b == kIac) {
          state_ = State::kSbIac;
        } else if (sb_.size() < kMaxSubnegotiation) {
          sb_.push_back(b);
        } else {
          sbOverlong_ = true;
        }
        break;
      case State::kSbIac:
        if (b == kIac) {
          state_ = State::kSb;
          if (sb_.size() < kMaxSubnegotiation) sb_.push_back(b);
          else sbOverlong_ = true;
        } else {
          // IAC SE ends the subnegotiation; any other command ends it too (the SE was
          // lost) and is then taken as a command of its own.
          OnSubnegotiation();
          state_ = State::kData;
          if (b == kSe) break;
          if (b >= kWill) {
            command_ = b;
            state_ = State::kOption;
          } else if (b == kSb) {
            state_ = State::kSbOption;
          } else {
            OnCommand(b);
          }
        }
        break;
    }
  }
  return written;
}

Bytes Codec::Receive(const Bytes& in) {
  Bytes out(in.size());
  out.resize(Receive(in.data(), in.size(), out.data()));
  return out;
}

void Codec::OnCommand(uint8_t) { ++comPort_.otherCommands; }

void Codec::OnOption(uint8_t command, uint8_t option) {
  const bool aboutServer = command == kWill || command == kWont;
  const bool enable = command == kWill || command == kDo;
  Side& side = aboutServer ? remote_[option] : local_[option];
  const bool wanted = aboutServer ? WantRemote(option) : WantLocal(option);
  // The answers that agree (DO, WILL) and refuse (DONT, WONT) for this side.
  const uint8_t agree = aboutServer ? kDo : kWill;
  const uint8_t refuse = aboutServer ? kDont : kWont;
  if (!aboutServer && option == kComPort) comPortAnswered_ = true;
  switch (side) {
    case Side::kNo:
      if (!enable) break;
      if (wanted) {
        side = Side::kYes;
        Send3(kIac, agree, option);
      } else {
        Send3(kIac, refuse, option);
      }
      break;
    case Side::kYes:
      if (enable) break;
      side = Side::kNo;
      Send3(kIac, refuse, option);
      break;
    case Side::kWantNo:
      side = Side::kNo;  // an answer to our refusal, whichever it is
      break;
    case Side::kWantYes:
      side = enable ? Side::kYes : Side::kNo;
      break;
  }
}

void Codec::OnSubnegotiation() {
  if (sbOption_ != kComPort || sbOverlong_ || sb_.empty() || sb_[0] < comport::kServerOffset) {
    ++comPort_.otherCommands;
    return;
  }
  const uint8_t code = static_cast<uint8_t>(sb_[0] - comport::kServerOffset);
  const size_t n = sb_.size() - 1;
  const uint8_t* v = sb_.data() + 1;
  ComPortState& s = comPort_;
  auto one = [&](uint8_t* value, int* count) {
    if (n != 1) {
      ++s.otherCommands;
      return;
    }
    *value = v[0];
    ++*count;
  };
  switch (code) {
    case comport::kSignature:
      s.signature.assign(reinterpret_cast<const char*>(v), n < ComPortState::kMaxSignature ? n : ComPortState::kMaxSignature);
      break;
    case comport::kSetBaudRate:
      if (n != 4) {
        ++s.otherCommands;
        break;
      }
      s.baudRate = (uint32_t{v[0]} << 24) | (uint32_t{v[1]} << 16) | (uint32_t{v[2]} << 8) | v[3];
      ++s.baudReplies;
      break;
    case comport::kSetDataSize: one(&s.dataSize, &s.dataSizeReplies); break;
    case comport::kSetParity: one(&s.parity, &s.parityReplies); break;
    case comport::kSetStopSize: one(&s.stopSize, &s.stopSizeReplies); break;
    case comport::kSetControl: one(&s.control, &s.controlReplies); break;
    case comport::kNotifyLineState: one(&s.lineState, &s.lineStateNotes); break;
    case comport::kNotifyModemState: one(&s.modemState, &s.modemStateNotes); break;
    case comport::kFlowControlSuspend: s.flowSuspended = true; break;
    case comport::kFlowControlResume: s.flowSuspended = false; break;
    case comport::kPurgeData: {
      uint8_t ignored = 0;
      one(&ignored, &s.purgeReplies);
      break;
    }
    default: ++s.otherCommands; break;
  }
}

void Codec::SendSubnegotiation(uint8_t code, const uint8_t* value, size_t length) {
  // Every value byte may be doubled.
  if (!HasRoom(6 + 2 * length)) return;
  Send3(kIac, kSb, kComPort);
  output_.push_back(code);
  for (size_t i = 0; i < length; ++i) {
    output_.push_back(value[i]);
    if (value[i] == kIac) output_.push_back(kIac);
  }
  output_.push_back(kIac);
  output_.push_back(kSe);
}

void Codec::RequestBaudRate(uint32_t baud) {
  const uint8_t value[4] = {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                            static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)};
  SendSubnegotiation(comport::kSetBaudRate, value, sizeof value);
}

void Codec::Request(uint8_t code, uint8_t value) { SendSubnegotiation(code, &value, 1); }

size_t Codec::EscapeData(uint8_t byte, uint8_t out[2]) const {
  out[0] = byte;
  if (byte == kIac) {
    out[1] = kIac;
    return 2;
  }
  if (byte == '\r' && local_[kBinary] != Side::kYes) {
    out[1] = 0;
    return 2;
  }
  return 1;
}

Bytes Codec::EscapeData(const Bytes& data) const {
  Bytes out;
  out.reserve(data.size() + data.size() / 8);
  uint8_t two[2];
  for (uint8_t b : data) {
    const size_t n = EscapeData(b, two);
    out.insert(out.end(), two, two + n);
  }
  return out;
}

}  // namespace orvane::telnet
