#include "engine/service/ServiceLink.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/Session.h"
#include "engine/service/JsonLine.h"
#include "engine/service/PortProtocol.h"

namespace orvane::service {
namespace {

// How long a service has to answer an attach, to end a stopped exchange, and to start.
constexpr int kAttachMs = 5000;
constexpr int kStopMs = 5000;
constexpr int kStartMs = 15000;

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point until) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

std::string Mode(const LinkOptions& options) {
  if (!options.mode.empty()) return options.mode;
  const char* env = std::getenv("ORVANE_PORTD");
  return env ? env : "";
}

}  // namespace

// A row this client has been told has begun: its bytes gather until it ends.
struct ServiceLink::Open {
  Row row;
  Bytes bytes;
  size_t length = 0;
};

ServiceLink::~ServiceLink() {
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<ServiceLink> ServiceLink::Attach(std::string_view name, uint32_t baud, const LineSettings& settings,
                                                 const LinkOptions& options, int stopFd, int* error,
                                                 std::string* reason) {
  *error = 0;
  const std::string mode = Mode(options);
  if (mode == "off") return nullptr;
  const std::string path = SocketPathFor(name);
  if (path.empty()) return nullptr;
  int fd = ConnectToService(path);
  if (fd < 0 && errno == EPERM) {
    *error = EPERM;
    *reason = path + " is served by another user";
    return nullptr;
  }
  if (fd < 0 && mode == "auto" && baud == 0) {
    *error = EINVAL;
    *reason = "no port service holds " + std::string(name) + ", and starting one needs a baud rate";
    return nullptr;
  }
  if (fd < 0 && mode == "auto") {
    const int started = StartService(name, baud, settings, stopFd, reason);
    // Another client may have started one at the same moment: its service is as good.
    fd = ConnectToService(path);
    if (fd < 0) {
      *error = started != 0 ? started : errno;
      if (reason->empty()) *reason = "the port service cannot be reached: " + std::string(std::strerror(*error));
      return nullptr;
    }
    reason->clear();
  }
  if (fd < 0) return nullptr;

  std::unique_ptr<ServiceLink> link(new ServiceLink());
  link->fd_ = fd;
  link->options_ = options;
  link->baud_ = baud;
  link->Write(JsonWriter()
                  .Add("op", "attach")
                  .Add("read_only", options.readOnly)
                  .Add("stream", true)
                  .Add("replay", options.replay)
                  .Done());
  // The answer to the attach comes first; what follows it is handled as the session runs.
  const auto until = Clock::now() + std::chrono::milliseconds(kAttachMs);
  for (;;) {
    const size_t eol = link->in_.find('\n');
    if (eol != std::string::npos) {
      JsonObject json;
      std::string problem, event;
      const std::string line = link->in_.substr(0, eol);
      link->in_.erase(0, eol + 1);
      if (!json.Parse(line, &problem) || !json.Text("event", &event) || event != "attached") {
        *error = EPROTO;
        *reason = "the port service answered something else than an attach: " + line;
        return nullptr;
      }
      int64_t clients = 0, serviceBaud = baud;
      std::string held;
      json.Number("clients", &clients, 1);
      json.Number("baud", &serviceBaud, baud);
      json.Text("settings", &held);
      link->clients_ = static_cast<int>(clients);
      link->baud_ = static_cast<uint32_t>(serviceBaud);
      const std::string asked = DescribeLineSettings(settings);
      if (baud != 0 && (link->baud_ != baud || (!held.empty() && held != asked)))
        link->settingsWarning_ = "the port service holds " + std::string(name) + " at " + std::to_string(link->baud_) +
                                 " baud " + held + ", not " + std::to_string(baud) + " baud " + asked +
                                 " as asked; its settings are used";
      return link;
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = ::poll(fds, stopFd >= 0 ? 2 : 1, MsLeft(until));
    if (ready < 0 && errno == EINTR) continue;
    if (stopFd >= 0 && fds[1].revents != 0) {
      *error = ECANCELED;
      *reason = "interrupted";
      return nullptr;
    }
    if (ready <= 0 || !link->Receive()) {
      *error = ready == 0 ? ETIMEDOUT : EPIPE;
      *reason = ready == 0 ? "the port service did not answer within 5 s" : "the port service closed the connection";
      return nullptr;
    }
  }
}

bool ServiceLink::Write(const std::string& message) {
  out_ += message;
  while (!out_.empty()) {
    const ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN;
    }
    out_.erase(0, static_cast<size_t>(n));
  }
  return true;
}

bool ServiceLink::Receive() {
  char buffer[65536];
  size_t taken = 0;
  while (taken < kInputSliceBytes) {
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      in_.append(buffer, static_cast<size_t>(n));
      taken += static_cast<size_t>(n);
      // A short read took all there was (an end shows on the next).
      if (static_cast<size_t>(n) < sizeof buffer) return true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && errno == EAGAIN;
  }
  return true;
}

bool ServiceLink::Send(std::u16string_view typed, const Framing& framing) {
  if (ended_ || busy_ || options_.readOnly) return false;
  id_ = nextId_++;
  JsonWriter json;
  json.Add("op", "send").Add("id", id_).Add("command", Utf16ToUtf8(typed));
  AddFramingMembers(json, framing);
  if (!Write(json.Done())) {
    End(EPIPE, "the port service closed the connection");
    return false;
  }
  busy_ = true;
  return true;
}

int ServiceLink::SendBreak(uint32_t ms) {
  if (ended_) return EBADF;
  if (busy_) return EBUSY;
  if (options_.readOnly) return EPERM;
  breakId_ = nextId_++;
  breakError_ = ETIMEDOUT;
  Write(JsonWriter().Add("op", "break").Add("id", breakId_).Add("ms", ms).Done());
  // Other clients' exchanges may run first.
  const auto until = Clock::now() + std::chrono::milliseconds(ms + kStopMs + kAttachMs);
  while (breakId_ != 0 && !ended_ && Pump(MsLeft(until))) {
  }
  breakId_ = 0;
  return ended_ ? EIO : breakError_;
}

void ServiceLink::Stop() {
  if (!busy_ || ended_) return;
  Write(JsonWriter().Add("op", "stop").Add("id", id_).Done());
  const auto until = Clock::now() + std::chrono::milliseconds(kStopMs);
  while (busy_ && !ended_ && Pump(MsLeft(until))) {
  }
  if (busy_ && exchange_) {
    // The service did not end it in time: it ends here with what arrived.
    Row row = std::move(exchange_->row);
    row.reply = std::move(exchange_->bytes);
    row.replyLength = exchange_->length;
    row.end = ReplyEnd::kStopped;
    exchange_.reset();
    busy_ = false;
    if (sink_) sink_->OnRowEnded(row);
  }
  busy_ = false;
}

bool ServiceLink::Pump(int ms) {
  if (ended_) return false;
  pollfd p{fd_, POLLIN, 0};
  const int ready = ::poll(&p, 1, ms);
  if (ready < 0) return errno == EINTR;
  if (ready == 0) return false;
  return Advance() != Wait::kNothing;
}

ServiceLink::Wait ServiceLink::Advance() {
  if (ended_) return Wait::kNothing;
  if (!out_.empty() && !Write({})) {
    End(EPIPE, "the port service closed the connection");
    return Wait::kNothing;
  }
  const bool open = Receive();
  size_t start = 0;
  for (size_t end; !ended_ && (end = in_.find('\n', start)) != std::string::npos; start = end + 1)
    Handle(in_.substr(start, end - start));
  in_.erase(0, start);
  if (!open && !ended_) End(EIO, "the port service ended");
  if (ended_) return Wait::kNothing;
  return out_.empty() ? Wait::kReadable : Wait::kWritable;
}

void ServiceLink::Handle(const std::string& line) {
  JsonObject json;
  std::string problem, event;
  if (!json.Parse(line, &problem) || !json.Text("event", &event)) return;
  if (event == "begun" || event == "read" || event == "written" || event == "ended") {
    HandleRow(json, false);
  } else if (event == "row") {
    HandleRow(json, true);
  } else if (event == "break") {
    int64_t id = 0, error = 0;
    json.Number("id", &id, 0);
    json.Number("error", &error, 0);
    if (id == breakId_ && id != 0) {
      breakError_ = static_cast<int>(error);
      breakId_ = 0;
    }
  } else if (event == "clients") {
    int64_t count = clients_;
    json.Number("count", &count, clients_);
    clients_ = static_cast<int>(count);
  } else if (event == "hangup") {
    int64_t error = EIO;
    std::string why;
    json.Number("error", &error, EIO);
    json.Text("reason", &why);
    End(static_cast<int>(error), why);
  } else if (event == "closed" || event == "dropped") {
    std::string why;
    json.Text("reason", &why);
    End(EIO, event == "dropped" ? "the port service dropped this client: " + why : why);
  } else if (event == "error") {
    int64_t id = 0;
    json.Number("id", &id, 0);
    if (busy_ && id == id_) {
      // The service refused the command: it was never written.
      Row row = exchange_ ? std::move(exchange_->row) : Row();
      row.end = ReplyEnd::kWriteFailed;
      row.error = EINVAL;
      exchange_.reset();
      busy_ = false;
      if (sink_) {
        sink_->OnRowBegun(row);
        sink_->OnRowEnded(row);
      }
    }
  }
}

void ServiceLink::HandleRow(const JsonObject& json, bool replay) {
  std::string event, kindName;
  json.Text("event", &event);
  json.Text("kind", &kindName, "exchange");
  const RowKind kind = kindName == "unsolicited" ? RowKind::kUnsolicited : RowKind::kExchange;
  const bool mine = json.Find("id") != nullptr;
  // Other clients' exchanges reach a read-only client alone; their bytes follow a begun.
  const bool follows = event == "read" || event == "written";
  if (kind == RowKind::kExchange && !follows && !mine && !options_.readOnly) return;
  if (kind == RowKind::kExchange && follows && !exchange_) return;
  if (replay) {
    Row row;
    if (!ReadRow(json, &row) || !sink_) return;
    row.replayed = true;
    Row begun;
    begun.replayed = true;
    begun.kind = row.kind;
    begun.typed = row.typed;
    begun.sent = row.sent;
    begun.sentAtMs = row.sentAtMs;
    sink_->OnRowBegun(begun);
    sink_->OnRowEnded(row);
    return;
  }
  std::unique_ptr<Open>& open = kind == RowKind::kExchange ? exchange_ : unsolicited_;
  if (event == "written" || event == "read") {
    std::string text;
    int64_t at = 0;
    json.Text("bytes", &text);
    json.Number("at_us", &at, WallClockUs());
    const Bytes bytes = TextBytes(text);
    if (event == "written") {
      if (sink_) sink_->OnWritten(bytes, at);
      return;
    }
    if (!open) return;
    open->length += bytes.size();
    if (kind == RowKind::kUnsolicited || options_.keepReplies)
      open->bytes.insert(open->bytes.end(), bytes.begin(), bytes.end());
    // What the device said by itself before this client attached is no news to it: the
    // row holds it when it ends, and only what comes after is told as read.
    bool before = false;
    json.Bool("replay", &before, false);
    if (sink_ && !(before && kind == RowKind::kUnsolicited)) sink_->OnRead(bytes, at, kind);
    return;
  }
  Row row;
  if (!ReadRow(json, &row)) return;
  if (event == "begun") {
    open = std::make_unique<Open>();
    open->row = row;
    if (sink_) sink_->OnRowBegun(row);
    return;
  }
  // Ended: a row stopped before it ran was never begun here.
  if (!open && sink_) sink_->OnRowBegun(row);
  if (open) {
    row.reply = std::move(open->bytes);
    open.reset();
  }
  if (kind == RowKind::kExchange && mine) busy_ = false;
  if (sink_) sink_->OnRowEnded(row);
}

void ServiceLink::End(int error, const std::string& reason) {
  if (ended_) return;
  ended_ = true;
  endReason_ = reason;
  // What was open ends with what arrived, as on a line that hangs up.
  for (std::unique_ptr<Open>* open : {&exchange_, &unsolicited_}) {
    if (!*open) continue;
    Row row = std::move((*open)->row);
    row.reply = std::move((*open)->bytes);
    row.replyLength = (*open)->length;
    row.end = ReplyEnd::kHangup;
    row.error = error;
    open->reset();
    if (sink_) sink_->OnRowEnded(row);
  }
  busy_ = false;
  if (sink_) sink_->OnHangup(error);
}

void ServiceLink::Close() {
  Stop();
  if (unsolicited_) {
    Row row = std::move(unsolicited_->row);
    row.reply = std::move(unsolicited_->bytes);
    row.replyLength = row.reply.size();
    row.end = ReplyEnd::kClosed;
    row.elapsedMs = static_cast<uint32_t>(std::max<int64_t>(0, WallClockMs() - row.sentAtMs));
    unsolicited_.reset();
    if (sink_) sink_->OnRowEnded(row);
  }
  if (!ended_) Write(JsonWriter().Add("op", "bye").Done());
  ended_ = true;
  ::close(fd_);
  fd_ = -1;
}

int StartService(std::string_view name, uint32_t baud, const LineSettings& settings, int stopFd, std::string* reason) {
  std::vector<std::string> args;
  const char* program = std::getenv("ORVANE_PORTD_PROGRAM");
  std::string beside;
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = '\0';
    beside = std::string(self, static_cast<size_t>(n));
    beside = beside.substr(0, beside.rfind('/') + 1) + "orvane-portd";
  }
  if (program && *program)
    args.push_back(program);
  else if (!beside.empty() && ::access(beside.c_str(), X_OK) == 0)
    args.push_back(beside);
  else
    args.push_back("orvane-portd");
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) {
    const int error = errno;
    *reason = "cannot start the port service: " + std::string(std::strerror(error));
    return error;
  }
  for (const std::string& arg :
       {std::string("--ready-fd"), std::to_string(ready[1]), std::string("--data-bits"),
        std::to_string(settings.dataBits), std::string("--parity"), std::string(ParityName(settings.parity)),
        std::string("--stop-bits"), std::to_string(settings.stopBits), std::string("--flow"),
        std::string(FlowName(settings.flow)), std::string("--dtr"), std::string(settings.dtr ? "on" : "off"),
        std::string("--rts"), std::string(settings.rts ? "on" : "off"), std::string("--"), std::string(name),
        std::to_string(baud)})
    args.push_back(arg);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // Twice forked: the service is nobody's child here and lives on in a session of its own.
  const pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    ::fcntl(ready[1], F_SETFD, 0);
    ::execvp(argv[0], argv.data());
    const char message[] = "cannot run orvane-portd\n";
    [[maybe_unused]] ssize_t w = ::write(ready[1], message, sizeof message - 1);
    ::_exit(127);
  }
  ::close(ready[1]);
  if (child < 0) {
    const int error = errno;
    ::close(ready[0]);
    *reason = "cannot start the port service: " + std::string(std::strerror(error));
    return error;
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The service writes "ready" once it listens, or why it cannot, and closes its end.
  std::string said;
  const auto until = Clock::now() + std::chrono::milliseconds(kStartMs);
  int error = 0;
  for (;;) {
    pollfd fds[2] = {{ready[0], POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int got = ::poll(fds, stopFd >= 0 ? 2 : 1, MsLeft(until));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      error = ETIMEDOUT;
      said = "the port service did not start within 15 s";
      break;
    }
    if (stopFd >= 0 && fds[1].revents != 0) {
      error = ECANCELED;
      said = "interrupted";
      break;
    }
    char buffer[512];
    const ssize_t r = ::read(ready[0], buffer, sizeof buffer);
    if (r > 0) {
      said.append(buffer, static_cast<size_t>(r));
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
    if (said != "ready") {
      error = EIO;
      if (said.empty()) said = "the port service ended without saying why";
    }
    break;
  }
  ::close(ready[0]);
  if (error != 0) *reason = said;
  return error;
}

}  // namespace orvane::service
