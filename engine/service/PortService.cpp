#include "engine/service/PortService.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "engine/NetworkLine.h"
#include "engine/service/PortProtocol.h"

namespace orvane::service {
namespace {

// The longest line a client may send; a command is at most a few kilobytes.
constexpr size_t kMaxLineBytes = size_t{1} << 20;
constexpr size_t kReadTurnBytes = size_t{64} << 10;

SessionOptions ServiceSessionOptions() {
  SessionOptions options;
  options.viaService = false;  // the service is the one that opens the port
  return options;
}

std::string Quoted(const std::string& text) {
  std::string out;
  AppendJsonQuoted(text, &out);
  return out;
}

}  // namespace

struct PortService::Pending {
  int64_t id = 0;
  uint32_t breakMs = 0;  // a break of this long instead of a command
  std::u16string typed;
  Framing framing;
};

struct PortService::Client {
  int fd = -1;
  uint64_t number = 0;
  bool attached = false;
  bool readOnly = false;
  bool stream = false;
  bool closing = false;  // said bye: flushed, then closed
  bool inputEnded = false;  // sends nothing more: closed once its commands have run
  bool dead = false;
  std::string in;
  std::string out;
  size_t outStart = 0;
  std::deque<Pending> queue;

  size_t Waiting() const { return out.size() - outStart; }
  // Something waits that the client should have now: what it is sent is flushed. What
  // is not urgent (a row's begin, the bytes written) goes with the next that is, so an
  // exchange wakes its client once.
  bool urgent = false;
};

// A row that has begun and not ended: what a client attaching now is told of it.
struct PortService::OpenRow {
  Row row;
  uint64_t owner = 0;
  int64_t id = 0;
  std::string bytes;  // binary text of what arrived
};

PortService::PortService(PortServiceOptions options)
    : options_(std::move(options)), session_(ServiceSessionOptions()) {}

PortService::~PortService() { Shutdown(); }

void PortService::AddObserver(SessionObserver* observer) {
  // The clients hear of an event after the other observers.
  session_.RemoveObserver(this);
  session_.AddObserver(observer);
  session_.AddObserver(this);
}

int PortService::Start(std::string* reason) {
  path_ = options_.socketPath.empty() ? SocketPathFor(options_.name) : options_.socketPath;
  if (path_.empty()) {
    std::string why;
    if (SocketDirectory(&why).empty())
      *reason = why;
    else
      *reason = "no socket name fits for " + options_.name;
    return EINVAL;
  }
  const std::string dir = path_.substr(0, path_.rfind('/'));
  if (const int error = PrepareSocketDirectory(dir, reason); error != 0) return error;
  const int held = ConnectToService(path_);
  if (held >= 0) {
    ::close(held);
    *reason = options_.name + " is already served (" + path_ + ")";
    return EADDRINUSE;
  }
  session_.AddObserver(this);
  if (const int error = session_.Open(options_.name, options_.baud, -1, options_.settings); error != 0) {
    *reason = session_.Reason();
    return error;
  }
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
  // A socket left by a service that ended without removing it is nobody's.
  ::unlink(path_.c_str());
  struct stat st {};
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path_.c_str(), 0600) != 0 || ::listen(listenFd_, 64) != 0 || ::stat(path_.c_str(), &st) != 0) {
    const int error = errno;
    *reason = "cannot listen on " + path_ + ": " + std::strerror(error);
    session_.Close();
    return error;
  }
  socketDevice_ = st.st_dev;
  socketInode_ = st.st_ino;
  idleSinceMs_ = WallClockMs();
  return 0;
}

void PortService::Shutdown() {
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    listenFd_ = -1;
    // Only the socket this service made: a later service may have taken the name.
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0 && st.st_dev == socketDevice_ && st.st_ino == socketInode_)
      ::unlink(path_.c_str());
  }
  for (auto& client : clients_)
    if (client->fd >= 0) ::close(client->fd);
  clients_.clear();
}

PortService::End PortService::Run(int stopFd) {
  if (listenFd_ < 0) return End::kFailed;
  std::vector<pollfd> fds;
  // The line is advanced when it has something (or a time of the session's is due), not
  // on every wake-up for a client: each advance is a read.
  bool lineDue = true;
  Session::Wait wait = Session::Wait::kReadable;
  for (;;) {
    if (lineDue || session_.MsUntilDeadline() == 0) wait = session_.Advance();
    // Each turn takes one waiting command, so this ends.
    while (!hungUp_ && !session_.Busy() && wait != Session::Wait::kNothing && StartNext()) wait = session_.Advance();
    for (auto& client : clients_) {
      // Lines left while its queue was full are taken as it empties.
      if (!client->in.empty()) TakeLines(*client);
      if (client->urgent) Flush(*client);
      if (client->inputEnded && client->queue.empty() && owner_ != client->number && client->Waiting() == 0)
        client->dead = true;
    }
    Reap();
    if (hungUp_ || wait == Session::Wait::kNothing) {
      Broadcast(JsonWriter().Add("event", "closed").Add("reason", hangupReason_).Done());
      FlushAll(1000);
      Shutdown();
      return End::kHangup;
    }
    const int64_t now = WallClockMs();
    int timeout = session_.MsUntilDeadline();
    if (clients_.empty() && options_.lingerMs >= 0) {
      const int64_t left = idleSinceMs_ + options_.lingerMs - now;
      if (left <= 0) {
        session_.Close();
        Shutdown();
        return End::kIdle;
      }
      const int leftMs = static_cast<int>(std::min<int64_t>(left, 1 << 30));
      timeout = timeout < 0 ? leftMs : std::min(timeout, leftMs);
    }

    fds.clear();
    fds.push_back({session_.Descriptor(), static_cast<short>(wait == Session::Wait::kWritable ? POLLOUT : POLLIN), 0});
    fds.push_back({listenFd_, POLLIN, 0});
    fds.push_back({stopFd, POLLIN, 0});
    for (const auto& client : clients_) {
      short events = 0;
      // A client whose commands pile up, or who does not read its replies, is not read.
      if (!client->closing && !client->inputEnded && client->queue.size() < options_.clientQueue &&
          client->Waiting() < options_.clientOutputBytes)
        events |= POLLIN;
      if (client->urgent && client->Waiting() > 0) events |= POLLOUT;
      fds.push_back({client->fd, events, 0});
    }
    const int ready = ::poll(fds.data(), fds.size(), timeout);
    lineDue = ready <= 0 || fds[0].revents != 0;
    if (ready < 0) {
      if (errno == EINTR) continue;
      session_.Close();
      Shutdown();
      return End::kFailed;
    }
    if (stopFd >= 0 && fds[2].revents != 0) {
      session_.Close();
      Broadcast(JsonWriter().Add("event", "closed").Add("reason", "the port service was stopped").Done());
      FlushAll(1000);
      Shutdown();
      return End::kStopped;
    }
    if (fds[1].revents & POLLIN) Accept();
    // Clients accepted just now are polled next time.
    const size_t polled = fds.size() - 3;
    for (size_t i = 0; i < polled && i < clients_.size(); ++i) {
      const short revents = fds[i + 3].revents;
      Client& client = *clients_[i];
      if (revents & POLLOUT) Flush(client);
      if (revents & POLLIN) ReadFrom(client);
      // Closed both ways (a half-closed client gets POLLIN and reads its end): nobody is
      // left to answer. Its exchange in flight still runs to its end.
      if (revents & (POLLHUP | POLLERR)) client.dead = true;
    }
  }
}

void PortService::Accept() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    // The folder keeps other users out; the peer's credentials make sure.
    if (PeerUid(fd) != static_cast<long>(::getuid())) {
      ::close(fd);
      continue;
    }
    auto client = std::make_unique<Client>();
    client->fd = fd;
    client->number = nextNumber_++;
    clients_.push_back(std::move(client));
  }
}

void PortService::ReadFrom(Client& client) {
  char buffer[16384];
  size_t taken = 0;
  while (taken < kReadTurnBytes && !client.dead && !client.closing && !client.inputEnded &&
         client.queue.size() < options_.clientQueue) {
    const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
    if (n == 0) {
      // No more input: its commands still run and what they bring is still sent.
      client.inputEnded = true;
      client.urgent = true;
      break;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN) client.dead = true;
      break;
    }
    taken += static_cast<size_t>(n);
    client.in.append(buffer, static_cast<size_t>(n));
    TakeLines(client);
    if (client.in.size() > kMaxLineBytes) {
      Drop(client, "a line longer than 1 MiB");
      break;
    }
    // A short read took all there was: what comes later wakes the next poll.
    if (static_cast<size_t>(n) < sizeof buffer) break;
  }
}

void PortService::TakeLines(Client& client) {
  size_t start = 0;
  for (size_t end; !client.dead && !client.closing && client.queue.size() < options_.clientQueue &&
                   (end = client.in.find('\n', start)) != std::string::npos;
       start = end + 1) {
    Handle(client, client.in.substr(start, end - start));
  }
  client.in.erase(0, start);
}

void PortService::Handle(Client& client, const std::string& line) {
  if (line.find_first_not_of(" \t\r") == std::string::npos) return;
  JsonObject json;
  std::string error;
  std::string op;
  if (!json.Parse(line, &error) || !json.Text("op", &op)) {
    Deliver(client, JsonWriter().Add("event", "error").Add("message", error.empty() ? "op is a string" : error).Done());
    return;
  }
  int64_t id = 0;
  json.Number("id", &id, 0);
  if (op == "attach" || op == "hello") {
    bool readOnly = false, stream = false, replay = true;
    if (!json.Bool("read_only", &readOnly, false) || !json.Bool("stream", &stream, false) ||
        !json.Bool("replay", &replay, true)) {
      Deliver(
          client,
          JsonWriter().Add("event", "error").Add("message", "read_only, stream and replay are true or false").Done());
      return;
    }
    Attach(client, readOnly, stream, replay);
  } else if (op == "status") {
    Deliver(client, Status());
  } else if (op == "bye") {
    Deliver(client, JsonWriter().Add("event", "bye").Done());
    client.queue.clear();
    client.closing = true;
    if (client.Waiting() == 0) client.dead = true;
  } else if (!client.attached) {
    Deliver(client, JsonWriter().Add("event", "error").Add("id", id).Add("message", "attach first").Done());
  } else if (op == "send") {
    Queue(client, json);
  } else if (op == "break") {
    int64_t ms = kDefaultBreakMs;
    if (client.readOnly || !json.Number("ms", &ms, kDefaultBreakMs) || ms < 1 || ms > kMaxBreakMs) {
      Deliver(client, JsonWriter().Add("event", "break").Add("id", id).Add("error", client.readOnly ? EPERM : EINVAL).Done());
      return;
    }
    Pending pending;
    pending.id = id;
    pending.breakMs = static_cast<uint32_t>(ms);
    client.queue.push_back(std::move(pending));
  } else if (op == "stop") {
    StopExchange(client, id);
  } else {
    Deliver(client, JsonWriter().Add("event", "error").Add("id", id).Add("message", "unknown op '" + op + "'").Done());
  }
}

void PortService::Attach(Client& client, bool readOnly, bool stream, bool replay) {
  const bool first = !client.attached;
  client.attached = true;
  client.readOnly = readOnly;
  client.stream = stream;
  Deliver(client, JsonWriter()
                      .Add("event", "attached")
                      .Add("version", kProtocolVersion)
                      .Add("device", options_.name)
                      .Add("baud", options_.baud)
                      .Add("settings", DescribeLineSettings(options_.settings))
                      .Add("read_only", readOnly)
                      .Add("clients", static_cast<uint64_t>(Attached()))
                      .Done());
  if (replay) {
    size_t count = 0;
    for (const Row& row : ring_) {
      if (!Hears(client, row.kind, 0)) continue;
      JsonWriter json;
      json.Add("event", "row").Add("replay", true);
      AddRowMembers(json, row, true);
      Deliver(client, json.Done());
      ++count;
    }
    Deliver(client, JsonWriter().Add("event", "replayed").Add("rows", static_cast<uint64_t>(count)).Done());
  }
  // A row running now continues for this client from what has arrived so far.
  for (const OpenRow* open : {openUnsolicited_.get(), openExchange_.get()}) {
    if (!open || !Hears(client, open->row.kind, open->owner)) continue;
    JsonWriter begun;
    begun.Add("event", "begun");
    AddRowMembers(begun, open->row, false);
    Deliver(client, begun.Done());
    if (stream && !open->bytes.empty())
      Deliver(
          client,
          JsonWriter()
              .Add("event", "read")
              .Add("kind", RowKindName(open->row.kind))
              .Add("bytes", open->bytes)
              .Add("replay", true)
              .Done());
  }
  if (first) CountChanged();
}

void PortService::Queue(Client& client, const JsonObject& json) {
  int64_t id = 0;
  json.Number("id", &id, 0);
  if (client.readOnly) {
    Deliver(client, JsonWriter()
                        .Add("event", "error")
                        .Add("id", id)
                        .Add("message", "attached read-only: nothing can be sent")
                        .Done());
    return;
  }
  Pending pending;
  pending.id = id;
  std::string command, error;
  if (!json.Text("command", &command) || !ReadFraming(json, &pending.framing, &error)) {
    Deliver(client, JsonWriter()
                        .Add("event", "error")
                        .Add("id", id)
                        .Add("message", error.empty() ? "command is a string" : error)
                        .Done());
    return;
  }
  pending.typed = Utf8ToUtf16(command);
  client.queue.push_back(std::move(pending));
}

void PortService::StopExchange(Client& client, int64_t id) {
  if (owner_ == client.number && ownerId_ == id && session_.Busy()) {
    session_.Stop();
    return;
  }
  auto& queue = client.queue;
  const auto it = std::find_if(queue.begin(), queue.end(), [id](const Pending& p) { return p.id == id; });
  if (it == queue.end()) return;
  Row row;
  row.typed = it->typed;
  row.sent = it->framing.Frame(it->typed);
  row.end = ReplyEnd::kStopped;
  queue.erase(it);
  JsonWriter json;
  json.Add("event", "ended").Add("id", id);
  AddRowMembers(json, row, !client.stream);
  Deliver(client, json.Done());
}

bool PortService::StartNext() {
  // Clients take turns: one command from each that has one waiting.
  for (size_t k = 0; k < clients_.size(); ++k) {
    Client& client = *clients_[(turn_ + k) % clients_.size()];
    if (client.dead || client.queue.empty()) continue;
    turn_ = (turn_ + k + 1) % clients_.size();
    Pending next = std::move(client.queue.front());
    client.queue.pop_front();
    if (next.breakMs > 0) {
      // Between exchanges, in its turn: the line is held in the break state meanwhile.
      const int error = session_.SendBreak(next.breakMs);
      Deliver(client, JsonWriter().Add("event", "break").Add("id", next.id).Add("error", error).Done());
      return true;
    }
    owner_ = client.number;
    ownerId_ = next.id;
    if (!session_.Send(next.typed, next.framing)) {
      owner_ = 0;
      Row row;
      row.typed = next.typed;
      row.sent = next.framing.Frame(next.typed);
      row.end = ReplyEnd::kHangup;
      row.error = session_.HangupError();
      JsonWriter json;
      json.Add("event", "ended").Add("id", next.id);
      AddRowMembers(json, row, !client.stream);
      Deliver(client, json.Done());
    }
    return true;
  }
  return false;
}

bool PortService::Hears(const Client& client, RowKind kind, uint64_t owner) const {
  if (!client.attached || client.dead || client.closing) return false;
  return kind == RowKind::kUnsolicited || client.readOnly || client.number == owner;
}

template <typename Make>
void PortService::Tell(RowKind kind, Make make) {
  const uint64_t owner = kind == RowKind::kExchange ? owner_ : 0;
  for (auto& client : clients_)
    if (Hears(*client, kind, owner)) make(*client, client->number == owner);
}

void PortService::OnRowBegun(const Row& row) {
  auto open = std::make_unique<OpenRow>();
  open->row = row;
  if (row.kind == RowKind::kExchange) {
    open->owner = owner_;
    open->id = ownerId_;
  }
  JsonWriter json;
  json.Add("event", "begun");
  AddRowMembers(json, row, false);
  const std::string common = json.Done();
  const std::string mine = common.substr(0, common.size() - 2) + ",\"id\":" + std::to_string(ownerId_) + "}\n";
  Tell(row.kind, [&](Client& client, bool owns) { Deliver(client, owns ? mine : common, false); });
  (row.kind == RowKind::kExchange ? openExchange_ : openUnsolicited_) = std::move(open);
}

void PortService::OnWritten(std::span<const uint8_t> bytes, int64_t atUs) {
  const std::string message = JsonWriter()
                                  .Add("event", "written")
                                  .Add("bytes", BytesText(bytes.data(), bytes.size()))
                                  .Add("at_us", atUs)
                                  .Done();
  Tell(RowKind::kExchange, [&](Client& client, bool) {
    if (client.stream) Deliver(client, message, false);
  });
}

void PortService::OnRead(std::span<const uint8_t> bytes, int64_t atUs, RowKind kind) {
  const std::string text = BytesText(bytes.data(), bytes.size());
  OpenRow* open = (kind == RowKind::kExchange ? openExchange_ : openUnsolicited_).get();
  if (open && open->bytes.size() < options_.ringBytes) open->bytes += text;
  const std::string message =
      JsonWriter().Add("event", "read").Add("kind", RowKindName(kind)).Add("bytes", text).Add("at_us", atUs).Done();
  Tell(kind, [&](Client& client, bool) {
    if (client.stream) Deliver(client, message);
  });
}

void PortService::OnRowEnded(const Row& row) {
  JsonWriter head;
  head.Add("event", "ended");
  AddRowMembers(head, row, false);
  std::string streamed = head.Done();
  streamed.resize(streamed.size() - 2);
  // The reply is written out only for a client that does not stream (the programs do).
  std::string whole;
  const std::string id = ",\"id\":" + std::to_string(ownerId_);
  Tell(row.kind, [&](Client& client, bool owns) {
    if (!client.stream && whole.empty())
      whole = streamed + ",\"reply\":" + Quoted(BytesText(row.reply.data(), row.reply.size()));
    Deliver(client, (client.stream ? streamed : whole) + (owns ? id : "") + "}\n");
  });
  if (row.kind == RowKind::kExchange) {
    openExchange_.reset();
    owner_ = 0;
  } else {
    openUnsolicited_.reset();
  }
  // The ring keeps the last rows; one larger than the whole ring is not kept.
  const size_t size = row.reply.size() + row.sent.size() * 2 + 64;
  if (size <= options_.ringBytes) {
    ring_.push_back(row);
    ringSize_ += size;
    while (ringSize_ > options_.ringBytes) {
      const Row& old = ring_.front();
      ringSize_ -= old.reply.size() + old.sent.size() * 2 + 64;
      ring_.pop_front();
    }
  }
}

void PortService::OnHangup(int error) {
  hungUp_ = true;
  hangupReason_ = session_.Line().Failure();
  if (hangupReason_.empty() && error != EIO) hangupReason_ = std::string("read failed: ") + std::strerror(error);
  if (hangupReason_.empty())
    hangupReason_ = IsNetworkName(options_.name) ? "the server closed the connection" : "the device hung up";
  Broadcast(JsonWriter().Add("event", "hangup").Add("error", error).Add("reason", hangupReason_).Done());
}

std::string PortService::Status() const {
  size_t waiting = 0, readers = 0;
  for (const auto& client : clients_) {
    waiting += client->queue.size();
    if (client->attached && client->readOnly && !client->dead) ++readers;
  }
  return JsonWriter()
      .Add("event", "status")
      .Add("device", options_.name)
      .Add("baud", options_.baud)
      .Add("settings", DescribeLineSettings(options_.settings))
      .Add("open", session_.IsOpen())
      .Add("clients", static_cast<uint64_t>(Attached()))
      .Add("read_only_clients", static_cast<uint64_t>(readers))
      .Add("busy", session_.Busy())
      .Add("queued", static_cast<uint64_t>(waiting))
      .Add("ring_rows", static_cast<uint64_t>(ring_.size()))
      .Done();
}

void PortService::Deliver(Client& client, const std::string& message, bool urgent) {
  if (client.dead || client.closing) return;
  if (client.Waiting() >= options_.clientOutputBytes) {
    Drop(client, "it does not read what it is sent");
    return;
  }
  if (client.outStart > 0 && client.outStart == client.out.size()) {
    client.out.clear();
    client.outStart = 0;
  }
  client.out += message;
  client.urgent = client.urgent || urgent;
}

void PortService::Broadcast(const std::string& message) {
  for (auto& client : clients_)
    if (client->attached) Deliver(*client, message);
}

void PortService::Flush(Client& client) {
  while (!client.dead && client.Waiting() > 0) {
    const ssize_t n = ::send(client.fd, client.out.data() + client.outStart, client.Waiting(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN) client.dead = true;
      break;
    }
    client.outStart += static_cast<size_t>(n);
  }
  if (client.Waiting() == 0) {
    client.out.clear();
    client.outStart = 0;
    client.urgent = false;
    if (client.closing) client.dead = true;
  } else if (client.outStart > (size_t{1} << 20)) {
    client.out.erase(0, client.outStart);
    client.outStart = 0;
  }
}

void PortService::Drop(Client& client, const std::string& why) {
  if (client.dead) return;
  // Said without waiting: the client may not be reading at all.
  const std::string message = JsonWriter().Add("event", "dropped").Add("reason", why).Done();
  [[maybe_unused]] ssize_t n = ::send(client.fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  client.dead = true;
}

void PortService::Reap() {
  const size_t before = clients_.size();
  for (size_t i = 0; i < clients_.size();) {
    if (!clients_[i]->dead) {
      ++i;
      continue;
    }
    // Its exchange in flight runs on to its end; its waiting commands go.
    ::close(clients_[i]->fd);
    clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
    if (turn_ > i) --turn_;
  }
  if (clients_.size() != before) {
    if (turn_ >= clients_.size()) turn_ = 0;
    if (clients_.empty()) idleSinceMs_ = WallClockMs();
    CountChanged();
  }
}

size_t PortService::Attached() const {
  return static_cast<size_t>(
      std::count_if(clients_.begin(), clients_.end(), [](const auto& c) { return c->attached && !c->dead; }));
}

void PortService::CountChanged() {
  const size_t count = Attached();
  if (count == lastCount_) return;
  lastCount_ = count;
  Broadcast(JsonWriter().Add("event", "clients").Add("count", static_cast<uint64_t>(count)).Done());
}

void PortService::FlushAll(int withinMs) {
  const int64_t until = WallClockMs() + withinMs;
  for (;;) {
    std::vector<pollfd> fds;
    for (auto& client : clients_) {
      Flush(*client);
      if (!client->dead && client->Waiting() > 0) fds.push_back({client->fd, POLLOUT, 0});
    }
    const int64_t left = until - WallClockMs();
    if (fds.empty() || left <= 0) return;
    ::poll(fds.data(), fds.size(), static_cast<int>(left));
  }
}

}  // namespace orvane::service
