#include "engine/NetworkLine.h"

#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxWriteSlice = size_t{32} << 10;
// Telnet commands read with no data among them before ReadSome gives the caller its turn.
constexpr size_t kCommandSlice = size_t{64} << 10;
constexpr char kInterrupted[] = "interrupted";

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

// Waits until |fd| is ready for |events|, |stopFd| (-1: none) has input, or |deadline|.
// 1 when |fd| is ready (what it is ready for in |revents|), 0 at the deadline,
// -ECANCELED when stopped, or -errno.
int WaitReady(int fd, short events, int stopFd, Clock::time_point deadline, short* revents = nullptr) {
  for (;;) {
    pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const uint32_t left = std::min<uint32_t>(MsLeft(deadline), std::numeric_limits<int>::max());
    const int r = poll(p, stopFd >= 0 ? 2 : 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -errno;
    if (stopFd >= 0 && p[1].revents != 0) return -ECANCELED;
    if (r == 0) return 0;
    if (revents) *revents = p[0].revents;
    return 1;
  }
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
// Open beyond its bound or past a stop; a late answer is freed by the helper. The helper
// says it is done through an event descriptor, waited on beside |stopFd|.
int ResolveBounded(const std::string& host, const std::string& service, const addrinfo& hints,
                   uint32_t boundMs, int stopFd, AddrInfoPtr* result, bool* timedOut, bool* stopped) {
  struct Pending {
    ~Pending() {
      if (done >= 0) close(done);
    }
    std::mutex mutex;
    int done = eventfd(0, EFD_CLOEXEC);
    bool finished = false;
    bool abandoned = false;
    int code = 0;
    addrinfo* info = nullptr;
  };
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(boundMs);
  auto pending = std::make_shared<Pending>();
  bool started = false;
  if (pending->done >= 0) {
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
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(pending->done, &one, sizeof one);
      }).detach();
      started = true;
    } catch (const std::system_error&) {
      // No thread to be had.
    }
  }
  if (!started) {
    // No thread or descriptor to be had: resolve here, unbounded.
    addrinfo* info = nullptr;
    const int code = getaddrinfo(host.c_str(), service.c_str(), &hints, &info);
    result->reset(info);
    return code;
  }
  const int ready = WaitReady(pending->done, POLLIN, stopFd, deadline);
  std::lock_guard<std::mutex> lock(pending->mutex);
  if (pending->finished && ready != -ECANCELED) {
    result->reset(pending->info);
    return pending->code;
  }
  pending->abandoned = true;
  if (pending->info) freeaddrinfo(pending->info);
  *stopped = ready == -ECANCELED;
  *timedOut = !*stopped;
  return EAI_AGAIN;
}

// The addresses of |address|, or an errno value with the reason.
int Resolve(const LineAddress& address, uint32_t boundMs, int stopFd, AddrInfoPtr* result,
            std::string* reason) {
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
  bool stopped = false;
  const int code = ResolveBounded(address.host, service, hints, boundMs, stopFd, result, &timedOut, &stopped);
  if (stopped) {
    *reason = kInterrupted;
    return ECANCELED;
  }
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
// Input on |stopFd| (-1: none) ends the wait: ECANCELED.
int ConnectAny(const addrinfo* addresses, uint32_t boundMs, int stopFd, int* error, std::string* reason) {
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
        const int r = WaitReady(fd, POLLOUT, stopFd, deadline);
        socklen_t length = sizeof code;
        if (r == -ECANCELED) {
          close(fd);
          *error = ECANCELED;
          *reason = kInterrupted;
          return -1;
        }
        if (r == 0) code = ETIMEDOUT;
        else if (r < 0) code = -r;
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
  error_ = 0;
  failure_.clear();
  telnet_.reset();
  commandBytes_ = 0;
  escapeTail_ = -1;
  return true;
}

int NetworkLine::Open(const LineAddress& address, uint32_t baud, const LineSettings& settings,
                      std::string* reason, NetworkBounds bounds, int stopFd) {
  Close();
  if (baud == 0) {
    *reason = "a baud rate of 0 is not a rate";
    return EINVAL;
  }
  if (!settings.Valid()) {
    *reason = "line settings out of range (" + DescribeLineSettings(settings) + ")";
    return EINVAL;
  }
  AddrInfoPtr addresses;
  int error = Resolve(address, bounds.resolveMs, stopFd, &addresses, reason);
  if (error != 0) return error;
  fd_ = ConnectAny(addresses.get(), bounds.connectMs, stopFd, &error, reason);
  if (fd_ < 0) return error;
  if (address.kind == LineAddress::Kind::kRfc2217) {
    error = Negotiate(baud, settings, bounds.negotiateMs, stopFd, reason);
    if (error != 0) {
      Close();
      return error;
    }
  }
  return 0;
}

int NetworkLine::Negotiate(uint32_t baud, const LineSettings& settings, uint32_t boundMs, int stopFd,
                           std::string* reason) {
  telnet_ = std::make_unique<telnet::Codec>();
  telnet::Codec& codec = *telnet_;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(boundMs);
  uint8_t buffer[4096];
  // Sends what is queued and reads what comes until |done|, the deadline or a stop. Data
  // read meanwhile is the device's talk from before the line was set up: it is dropped.
  // Reading gives a turn back after a slice of commands, so a flood of them is bounded
  // by the deadline too.
  auto exchangeUntil = [&](auto done) -> int {
    for (;;) {
      FlushOutput();
      if (done() || MsLeft(deadline) == 0) return 0;
      short ready = 0;
      const short events = static_cast<short>(POLLIN | (codec.Output().empty() ? 0 : POLLOUT));
      const int r = WaitReady(fd_, events, stopFd, deadline, &ready);
      if (r < 0) return -r;
      if (r == 0 || !(ready & (POLLIN | POLLHUP | POLLERR))) continue;
      const long n = Receive(buffer, sizeof buffer);
      if (n < 0) return static_cast<int>(-n);
    }
  };

  codec.Start();
  int error = exchangeUntil([&] { return codec.Local(telnet::kComPort) != telnet::Codec::Side::kWantYes; });
  if (error == 0 && codec.ComPortAgreed()) {
    using namespace telnet::comport;
    codec.RequestBaudRate(baud);
    static constexpr uint8_t kParityCodes[] = {kParityNone, kParityEven, kParityOdd, kParityMark, kParitySpace};
    static constexpr uint8_t kFlowCodes[] = {kControlNoFlowControl, kControlHardware, kControlXonXoff};
    codec.Request(kSetDataSize, settings.dataBits);
    codec.Request(kSetParity, kParityCodes[static_cast<size_t>(settings.parity)]);
    codec.Request(kSetStopSize, settings.stopBits == 2 ? kStopBitsTwo : kStopBitsOne);
    codec.Request(kSetControl, kFlowCodes[static_cast<size_t>(settings.flow)]);
    codec.Request(kSetControl, settings.dtr ? kControlDtrOn : kControlDtrOff);
    // With RTS/CTS the server's driver works RTS.
    if (settings.flow != FlowControl::kRtsCts)
      codec.Request(kSetControl, settings.rts ? kControlRtsOn : kControlRtsOff);
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
  switch (error) {
    case 0: break;
    case ECANCELED: *reason = kInterrupted; break;
    case EIO:
      *reason = "the server closed the connection while the port was set up";
      return ECONNRESET;
    default:
      *reason = error == error_ ? failure_ : std::string("setting the port up failed: ") + std::strerror(error);
      break;
  }
  return error;
}

int NetworkLine::SendBreak(uint32_t ms) {
  if (fd_ < 0) return EBADF;
  if (error_ != 0) return error_;
  if (!telnet_) return ENOTSUP;
  if (ms == 0 || ms > kMaxBreakMs) return EINVAL;
  // The server times nothing: the break lasts from one request to the other. Each is
  // flushed as far as the socket takes it; what it cannot take goes with the next write.
  telnet_->Request(telnet::comport::kSetControl, telnet::comport::kControlBreakOn);
  if (const long failed = FlushOutput(); failed < 0) return static_cast<int>(-failed);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  telnet_->Request(telnet::comport::kSetControl, telnet::comport::kControlBreakOff);
  if (const long failed = FlushOutput(); failed < 0) return static_cast<int>(-failed);
  return 0;
}

long NetworkLine::Fail(int error, std::string why) {
  error_ = error;
  failure_ = std::move(why);
  return -error;
}

long NetworkLine::SendSome(const uint8_t* bytes, size_t length) {
  for (;;) {
    const ssize_t sent = send(fd_, bytes, length, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent >= 0) return sent;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -errno;
  }
}

long NetworkLine::FlushOutput() {
  if (!telnet_) return 0;
  if (escapeTail_ >= 0) {
    const uint8_t tail = static_cast<uint8_t>(escapeTail_);
    const long n = SendSome(&tail, 1);
    if (n <= 0) return n;
    escapeTail_ = -1;
  }
  Bytes& out = telnet_->Output();
  while (!out.empty()) {
    const long n = SendSome(out.data(), out.size());
    if (n <= 0) return n;
    out.erase(out.begin(), out.begin() + n);
  }
  return 0;
}

long NetworkLine::Receive(uint8_t* buffer, size_t room) {
  if (error_ != 0) return -error_;
  if (room == 0) return 0;
  for (;;) {
    if (commandBytes_ >= kCommandSlice) {
      commandBytes_ = 0;
      return 0;
    }
    // Telnet is decoded from a buffer of its own into |buffer|: commands take no room.
    uint8_t* into = buffer;
    size_t want = room;
    if (telnet_) {
      scratch_.resize(std::min<size_t>(room, 64 << 10));
      into = scratch_.data();
      want = scratch_.size();
    }
    const ssize_t n = recv(fd_, into, want, MSG_DONTWAIT);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return -errno;
      commandBytes_ = 0;
      return 0;
    }
    if (!telnet_) return n;
    const size_t data = telnet_->Receive(scratch_.data(), static_cast<size_t>(n), buffer);
    commandBytes_ += static_cast<size_t>(n) - data;
    FlushOutput();
    if (telnet_->OutputOverflowed()) {
      // The server sends negotiations and does not read the answers: holding them all
      // would take memory without end.
      shutdown(fd_, SHUT_RDWR);
      return Fail(ENOBUFS, "the server sent Telnet negotiations without reading the answers (" +
                               std::to_string(telnet::Codec::kMaxOutput >> 10) +
                               " KiB of them waiting); the connection was dropped");
    }
    if (data > 0) return static_cast<long>(data);
  }
  // The server closed the connection: the device is gone, as a tty's hang-up.
  return Fail(EIO, "the server closed the connection");
}

long NetworkLine::ReadSome(uint8_t* buffer, size_t room) {
  if (fd_ < 0) return -EBADF;
  FlushOutput();
  return Receive(buffer, room);
}

long NetworkLine::WriteSome(const uint8_t* data, size_t length) {
  if (fd_ < 0) return -EBADF;
  if (!telnet_) return length == 0 ? 0 : SendSome(data, length);

  // What is owed to the server goes first, whole: the rest of an escape, then the
  // codec's answers, so that data never splits a command and nothing splits an escape.
  if (const long failed = FlushOutput(); failed < 0) return failed;
  if (escapeTail_ >= 0 || !telnet_->Output().empty() || length == 0) return 0;
  const size_t slice = std::min(length, kMaxWriteSlice);
  scratch_.clear();
  uint8_t two[2];
  for (size_t i = 0; i < slice; ++i) {
    const size_t n = telnet_->EscapeData(data[i], two);
    scratch_.insert(scratch_.end(), two, two + n);
  }
  const long sent = SendSome(scratch_.data(), scratch_.size());
  if (sent <= 0) return sent;
  // How many data bytes went out; one whose escape went out half counts, its second
  // byte is owed and goes out before anything else.
  size_t pos = 0;
  size_t done = 0;
  while (done < slice && pos < static_cast<size_t>(sent)) {
    const size_t n = telnet_->EscapeData(data[done], two);
    if (pos + n > static_cast<size_t>(sent)) escapeTail_ = two[1];
    pos += n;
    ++done;
  }
  return static_cast<long>(done);
}

}  // namespace orvane
