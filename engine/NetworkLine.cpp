#include "engine/NetworkLine.h"

#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxWriteSlice = size_t{32} << 10;

bool IsSchemeChar(char c, bool first) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool ParsePort(std::string_view text, uint16_t* port) {
  if (text.empty() || text.size() > 5) return false;
  uint32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint32_t>(c - '0');
  }
  if (v == 0 || v > 65535) return false;
  *port = static_cast<uint16_t>(v);
  return true;
}

// A host name may hold letters, digits, '-', '_' and '.'; an IPv4 address is one too.
bool IsHostName(std::string_view host) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '_' || c == '.';
  });
}

// Names in the top-level domain "invalid" never exist (RFC 6761): no resolver is asked.
bool IsReservedInvalid(std::string_view host) {
  std::string h = Lower(host);
  if (!h.empty() && h.back() == '.') h.pop_back();
  return h == "invalid" || (h.size() > 8 && h.compare(h.size() - 8, 8, ".invalid") == 0);
}

uint32_t MsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<uint32_t>(left);
}

std::string Seconds(uint32_t ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::string AddressText(const sockaddr* address, socklen_t length) {
  char host[NI_MAXHOST] = {};
  char service[NI_MAXSERV] = {};
  if (getnameinfo(address, length, host, sizeof host, service, sizeof service,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return "?";
  }
  return address->sa_family == AF_INET6 ? "[" + std::string(host) + "]:" + service
                                        : std::string(host) + ":" + service;
}

struct AddrInfoFree {
  void operator()(addrinfo* info) const {
    if (info) freeaddrinfo(info);
  }
};
using AddrInfoPtr = std::unique_ptr<addrinfo, AddrInfoFree>;

// getaddrinfo on a helper thread, so that a resolver that does not answer cannot hold
// Open beyond its bound; a late answer is freed by the helper.
int ResolveBounded(const std::string& host, const std::string& service, const addrinfo& hints,
                   uint32_t boundMs, AddrInfoPtr* result, bool* timedOut) {
  struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    int code = 0;
    addrinfo* info = nullptr;
  };
  auto pending = std::make_shared<Pending>();
  try {
    std::thread([pending, host, service, hints] {
      addrinfo* info = nullptr;
      const int code = getaddrinfo(host.c_str(), service.c_str(), &hints, &info);
      std::lock_guard<std::mutex> lock(pending->mutex);
      if (pending->abandoned) {
        if (info) freeaddrinfo(info);
      } else {
        pending->code = code;
        pending->info = info;
      }
      pending->finished = true;
      pending->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: resolve here, unbounded.
    addrinfo* info = nullptr;
    const int code = getaddrinfo(host.c_str(), service.c_str(), &hints, &info);
    result->reset(info);
    return code;
  }
  std::unique_lock<std::mutex> lock(pending->mutex);
  if (!pending->done.wait_for(lock, std::chrono::milliseconds(boundMs),
                              [&] { return pending->finished; })) {
    pending->abandoned = true;
    *timedOut = true;
    return EAI_AGAIN;
  }
  result->reset(pending->info);
  return pending->code;
}

// The addresses of |address|, or an errno value with the reason.
int Resolve(const LineAddress& address, uint32_t boundMs, AddrInfoPtr* result, std::string* reason) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  const std::string service = std::to_string(address.port);

  // An address as such needs no resolver.
  addrinfo numericHints = hints;
  numericHints.ai_flags |= AI_NUMERICHOST;
  addrinfo* info = nullptr;
  if (getaddrinfo(address.host.c_str(), service.c_str(), &numericHints, &info) == 0) {
    result->reset(info);
    return 0;
  }
  if (IsReservedInvalid(address.host)) {
    *reason = "unknown host '" + address.host + "'";
    return ENOENT;
  }
  bool timedOut = false;
  const int code = ResolveBounded(address.host, service, hints, boundMs, result, &timedOut);
  if (timedOut) {
    *reason = "no answer about host '" + address.host + "' within " + Seconds(boundMs);
    return ETIMEDOUT;
  }
  switch (code) {
    case 0:
      if (*result) return 0;
      [[fallthrough]];
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
      *reason = "unknown host '" + address.host + "'";
      return ENOENT;
    case EAI_AGAIN:
      *reason = "cannot resolve host '" + address.host + "' now: " + gai_strerror(code);
      return EAGAIN;
    case EAI_SYSTEM: {
      const int error = errno != 0 ? errno : EIO;
      *reason = "cannot resolve host '" + address.host + "': " + std::strerror(error);
      return error;
    }
    case EAI_MEMORY:
      *reason = "cannot resolve host '" + address.host + "': " + gai_strerror(code);
      return ENOMEM;
    default:
      *reason = "cannot resolve host '" + address.host + "': " + gai_strerror(code);
      return EIO;
  }
}

// Connects to the first of |addresses| that answers, within |boundMs| for all of them.
// The connected non-blocking socket, or -1 with an errno value in |error| and the reason.
int ConnectAny(const addrinfo* addresses, uint32_t boundMs, int* error, std::string* reason) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(boundMs);
  // Each address's failure, grouped by errno value in the order met.
  std::vector<std::pair<int, std::string>> failures;
  auto fail = [&](const addrinfo* ai, int code) {
    const std::string text = AddressText(ai->ai_addr, ai->ai_addrlen);
    for (auto& [c, list] : failures) {
      if (c == code) {
        list += ", " + text;
        return;
      }
    }
    failures.emplace_back(code, text);
  };
  for (const addrinfo* ai = addresses; ai != nullptr; ai = ai->ai_next) {
    const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      fail(ai, errno);
      continue;
    }
    int code = 0;
    if (connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
      code = errno;
      if (code == EINPROGRESS || code == EINTR) {
        pollfd p{fd, POLLOUT, 0};
        int r;
        do {
          r = poll(&p, 1, static_cast<int>(MsLeft(deadline)));
        } while (r < 0 && errno == EINTR);
        socklen_t length = sizeof code;
        if (r == 0) code = ETIMEDOUT;
        else if (r < 0) code = errno;
        else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &length) != 0) code = errno;
      }
    }
    if (code == 0) {
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      return fd;
    }
    close(fd);
    fail(ai, code);
    if (MsLeft(deadline) == 0) break;
  }
  if (failures.empty()) {
    *error = ENOENT;
    *reason = "no address to connect to";
    return -1;
  }
  *error = failures.front().first;
  std::string text;
  for (const auto& [code, list] : failures) {
    if (!text.empty()) text += "; ";
    if (code == ECONNREFUSED) text += "connection refused by " + list;
    else if (code == ETIMEDOUT) text += "no answer from " + list + " within " + Seconds(boundMs);
    else text += "cannot connect to " + list + ": " + std::strerror(code);
  }
  *reason = text;
  return -1;
}

}  // namespace

bool IsNetworkName(std::string_view name) {
  const size_t mark = name.find("://");
  if (mark == std::string_view::npos || mark == 0) return false;
  for (size_t i = 0; i < mark; ++i) {
    if (!IsSchemeChar(name[i], i == 0)) return false;
  }
  return true;
}

bool ParseLineAddress(std::string_view name, LineAddress* address, std::string* reason) {
  const std::string quoted = "malformed address '" + std::string(name) + "': ";
  if (!IsNetworkName(name)) {
    *reason = quoted + "expected rfc2217://HOST:PORT or tcp://HOST:PORT";
    return false;
  }
  const size_t mark = name.find("://");
  const std::string scheme = Lower(name.substr(0, mark));
  LineAddress parsed;
  if (scheme == "rfc2217") {
    parsed.kind = LineAddress::Kind::kRfc2217;
  } else if (scheme == "tcp") {
    parsed.kind = LineAddress::Kind::kRaw;
  } else {
    *reason = quoted + "unknown scheme '" + std::string(name.substr(0, mark)) +
              "' (rfc2217:// or tcp://)";
    return false;
  }
  const std::string_view rest = name.substr(mark + 3);
  const std::string form = scheme + "://HOST:PORT";
  std::string_view host;
  std::string_view port;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string_view::npos) {
      *reason = quoted + "'[' without ']' around the IPv6 address";
      return false;
    }
    host = rest.substr(1, close - 1);
    if (host.empty() || host.find_first_of(" /[]") != std::string_view::npos) {
      *reason = quoted + "no IPv6 address between '[' and ']'";
      return false;
    }
    if (close + 1 >= rest.size() || rest[close + 1] != ':') {
      *reason = quoted + "no port (expected " + form + ")";
      return false;
    }
    port = rest.substr(close + 2);
  } else {
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) {
      *reason = quoted + "no port (expected " + form + ")";
      return false;
    }
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) {
      *reason = quoted + "an IPv6 address goes in brackets, e.g. " + scheme + "://[::1]:PORT";
      return false;
    }
    if (host.empty()) {
      *reason = quoted + "no host (expected " + form + ")";
      return false;
    }
    if (!IsHostName(host)) {
      *reason = quoted + "'" + std::string(host) + "' is not a host name";
      return false;
    }
  }
  if (!ParsePort(port, &parsed.port)) {
    *reason = quoted + "the port '" + std::string(port) + "' is not a number from 1 to 65535";
    return false;
  }
  parsed.host = std::string(host);
  *address = std::move(parsed);
  return true;
}

NetworkLine::NetworkLine() = default;

NetworkLine::~NetworkLine() { Close(); }

bool NetworkLine::Close() {
  if (fd_ < 0) return false;
  close(fd_);
  fd_ = -1;
  peerClosed_ = false;
  telnet_.reset();
  owedByte_ = -1;
  return true;
}

int NetworkLine::Open(const LineAddress& address, uint32_t baud, std::string* reason, NetworkBounds bounds) {
  Close();
  if (baud == 0) {
    *reason = "a baud rate of 0 is not a rate";
    return EINVAL;
  }
  AddrInfoPtr addresses;
  int error = Resolve(address, bounds.resolveMs, &addresses, reason);
  if (error != 0) return error;
  fd_ = ConnectAny(addresses.get(), bounds.connectMs, &error, reason);
  if (fd_ < 0) return error;
  if (address.kind == LineAddress::Kind::kRfc2217) {
    error = Negotiate(baud, bounds.negotiateMs, reason);
    if (error != 0) {
      Close();
      return error;
    }
  }
  return 0;
}

int NetworkLine::Negotiate(uint32_t baud, uint32_t boundMs, std::string* reason) {
  telnet_ = std::make_unique<telnet::Codec>();
  telnet::Codec& codec = *telnet_;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(boundMs);
  uint8_t buffer[4096];
  // Sends what is queued and reads what comes until |done| or the deadline. Data read
  // meanwhile is the device's talk from before the line was set up: it is dropped.
  auto exchangeUntil = [&](auto done) -> int {
    for (;;) {
      FlushOutput();
      if (done()) return 0;
      const uint32_t left = MsLeft(deadline);
      if (left == 0) return 0;
      pollfd p{fd_, static_cast<short>(POLLIN | (codec.Output().empty() ? 0 : POLLOUT)), 0};
      const int r = poll(&p, 1, static_cast<int>(left));
      if (r < 0 && errno != EINTR) return errno;
      if (r <= 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const long n = Receive(buffer, sizeof buffer);
      if (n < 0) return static_cast<int>(-n);
    }
  };

  codec.Start();
  int error = exchangeUntil([&] { return codec.Local(telnet::kComPort) != telnet::Codec::Side::kWantYes; });
  if (error == 0 && codec.ComPortAgreed()) {
    using namespace telnet::comport;
    codec.RequestBaudRate(baud);
    codec.Request(kSetDataSize, 8);
    codec.Request(kSetParity, kParityNone);
    codec.Request(kSetStopSize, kStopBitsOne);
    codec.Request(kSetControl, kControlNoFlowControl);
    codec.Request(kSetControl, kControlDtrOn);
    codec.Request(kSetControl, kControlRtsOn);
    codec.Request(kPurgeData, kPurgeReceiveBuffer);
    // Asking for the baud rate last: its answer follows the answers to the requests
    // before it. Control requests may go unanswered (a server in front of a device
    // without modem lines does not answer them); they are not waited for.
    codec.RequestBaudRate(0);
    const telnet::ComPortState& s = codec.ComPort();
    error = exchangeUntil([&] {
      return s.baudReplies >= 2 && s.dataSizeReplies >= 1 && s.parityReplies >= 1 &&
             s.stopSizeReplies >= 1;
    });
  }
  if (error == EIO) {
    *reason = "the server closed the connection while the port was set up";
    return ECONNRESET;
  }
  if (error != 0) *reason = std::string("setting the port up failed: ") + std::strerror(error);
  return error;
}

void NetworkLine::FlushOutput() {
  if (!telnet_) return;
  Bytes& out = telnet_->Output();
  while (!out.empty()) {
    const ssize_t n = send(fd_, out.data(), out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // full, or broken: the next read or write says which
    out.erase(out.begin(), out.begin() + n);
  }
}

long NetworkLine::Receive(uint8_t* buffer, size_t room) {
  if (peerClosed_) return -EIO;
  if (room == 0) return 0;
  if (!telnet_) {
    for (;;) {
      const ssize_t n = recv(fd_, buffer, room, MSG_DONTWAIT);
      if (n > 0) return n;
      if (n == 0) break;
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -errno;
    }
  } else {
    // Telnet commands take no room: reading goes on until data or nothing is there.
    scratch_.resize(std::min<size_t>(room, 64 << 10));
    for (;;) {
      const ssize_t n = recv(fd_, scratch_.data(), std::min(room, scratch_.size()), MSG_DONTWAIT);
      if (n > 0) {
        const size_t data = telnet_->Receive(scratch_.data(), static_cast<size_t>(n), buffer);
        FlushOutput();
        if (data > 0) return static_cast<long>(data);
        continue;
      }
      if (n == 0) break;
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -errno;
    }
  }
  // The server closed the connection: the device is gone, as a tty's hang-up.
  peerClosed_ = true;
  return -EIO;
}

long NetworkLine::ReadSome(uint8_t* buffer, size_t room) {
  if (fd_ < 0) return -EBADF;
  FlushOutput();
  return Receive(buffer, room);
}

long NetworkLine::WriteSome(const uint8_t* data, size_t length) {
  if (fd_ < 0) return -EBADF;
  auto sendSome = [this](const uint8_t* bytes, size_t n) -> long {
    for (;;) {
      const ssize_t sent = send(fd_, bytes, n, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (sent >= 0) return sent;
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -errno;
    }
  };
  if (!telnet_) return length == 0 ? 0 : sendSome(data, length);

  // Answers to the server go first, whole, so that data never splits a command.
  FlushOutput();
  if (!telnet_->Output().empty()) return 0;
  if (owedByte_ >= 0) {
    const bool same = length > 0 && data[0] == owedFor_;
    // A doubled IAC cut in half by an abandoned write is closed as IAC NOP.
    const uint8_t byte = !same && owedFor_ == telnet::kIac ? telnet::kNop : static_cast<uint8_t>(owedByte_);
    const long n = sendSome(&byte, 1);
    if (n <= 0) return n;
    owedByte_ = -1;
    if (same) return 1;
  }
  if (length == 0) return 0;
  const size_t slice = std::min(length, kMaxWriteSlice);
  scratch_.clear();
  uint8_t two[2];
  for (size_t i = 0; i < slice; ++i) {
    const size_t n = telnet_->EscapeData(data[i], two);
    scratch_.insert(scratch_.end(), two, two + n);
  }
  const long sent = sendSome(scratch_.data(), scratch_.size());
  if (sent <= 0) return sent;
  // How many data bytes went out whole; one whose escape went out half is owed.
  size_t pos = 0;
  size_t done = 0;
  while (done < slice) {
    const size_t n = telnet_->EscapeData(data[done], two);
    if (pos + n > static_cast<size_t>(sent)) {
      if (pos < static_cast<size_t>(sent)) {
        owedByte_ = two[1];
        owedFor_ = data[done];
      }
      break;
    }
    pos += n;
    ++done;
  }
  return static_cast<long>(done);
}

}  // namespace orvane
