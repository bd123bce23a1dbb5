#include "engine/Session.h"

#include "engine/service/ServiceLink.h"

#include <errno.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <utility>

namespace orvane {
namespace {

Row RowOf(UnsolicitedRow&& data) {
  Row row;
  row.kind = RowKind::kUnsolicited;
  row.replyLength = data.bytes.size();
  row.reply = std::move(data.bytes);
  row.sentAtMs = data.atMs;
  row.firstByteMs = 0;
  row.elapsedMs = data.elapsedMs;
  row.end = data.end;
  return row;
}

}  // namespace

// The service's events, told to the session's observers as the line's would be.
class Session::ServiceEvents : public SessionObserver {
 public:
  explicit ServiceEvents(Session& session) : s_(session) {}
  void OnWritten(std::span<const uint8_t> bytes, int64_t atUs) override {
    s_.Tell([&](SessionObserver& o) { o.OnWritten(bytes, atUs); });
  }
  void OnRead(std::span<const uint8_t> bytes, int64_t atUs, RowKind kind) override {
    s_.Tell([&](SessionObserver& o) { o.OnRead(bytes, atUs, kind); });
  }
  void OnRowBegun(const Row& row) override {
    s_.Tell([&](SessionObserver& o) { o.OnRowBegun(row); });
  }
  void OnRowEnded(const Row& row) override {
    s_.Tell([&](SessionObserver& o) { o.OnRowEnded(row); });
  }
  void OnHangup(int error) override { s_.HangUp(error); }

 private:
  Session& s_;
};

Session::Session(SessionOptions options)
    : options_(std::move(options)),
      unsolicited_(options_.unsolicitedSilenceMs, options_.maxReplyBytes) {}

Session::~Session() {
  // Nobody is told any more: the owner closes first when its observers should hear it.
  observers_.clear();
  if (service_) service_->Close();
  exchange_.reset();
  line_.Close();
}

void Session::AddObserver(SessionObserver* observer) {
  if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
    observers_.push_back(observer);
}

void Session::RemoveObserver(SessionObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

uint32_t Session::Now() const { return options_.tick ? options_.tick() : SteadyTickMs(); }

int Session::Open(std::string_view name, uint32_t baud, int stopFd, const LineSettings& settings) {
  if (line_.Held() || service_) Close();
  serviceReason_.clear();
  if (options_.viaService || options_.watchOnly) {
    const int error = OpenService(name, baud, stopFd, settings);
    if (error >= 0) return error;
    if (options_.watchOnly) {
      serviceReason_ = "no port service holds " + std::string(name) +
                       " (start one with orvane-portd, or set ORVANE_PORTD=auto)";
      return ENOENT;
    }
  }
  const int error = line_.Open(name, baud, stopFd, settings);
  if (error != 0) return error;
  device_ = std::string(name);
  baud_ = baud;
  settings_ = settings;
  Opened();
  return 0;
}

int Session::Open(std::u16string_view name, uint32_t baud, int stopFd, const LineSettings& settings) {
  return Open(std::string_view(Utf16ToUtf8(name)), baud, stopFd, settings);
}

int Session::OpenService(std::string_view name, uint32_t baud, int stopFd, const LineSettings& settings) {
  int error = 0;
  service::LinkOptions link;
  link.keepReplies = options_.keepReplies;
  link.readOnly = options_.watchOnly;
  service_ = service::ServiceLink::Attach(name, baud, settings, link, stopFd, &error, &serviceReason_);
  if (!service_) return error != 0 ? error : -1;  // -1: no service, the line is opened here
  serviceEvents_ = std::make_unique<ServiceEvents>(*this);
  service_->SetSink(serviceEvents_.get());
  device_ = std::string(name);
  baud_ = service_->Baud();
  settings_ = settings;
  Opened();
  return 0;
}

int Session::Descriptor() const { return service_ ? service_->Descriptor() : line_.Descriptor(); }

std::string Session::Failure() const { return service_ ? service_->EndReason() : line_.Failure(); }

int Session::SharedClients() const { return service_ ? service_->Clients() : 0; }

std::string Session::SharedSettingsWarning() const { return service_ ? service_->SettingsWarning() : std::string(); }

bool Session::Busy() const { return exchange_ != nullptr || (service_ && service_->Busy()); }

int Session::SendBreak(uint32_t ms) {
  if (!IsOpen()) return EBADF;
  if (service_) return service_->SendBreak(ms);
  if (Busy()) return EBUSY;
  return line_.SendBreak(ms);
}

void Session::Opened() {
  hungUp_ = false;
  hangupError_ = 0;
  unsolicited_ = UnsolicitedAssembler(options_.unsolicitedSilenceMs, options_.maxReplyBytes);
  unsolicitedBegun_ = false;
  Tell([this](SessionObserver& o) { o.OnOpened(device_, baud_); });
  Tell([this](SessionObserver& o) { o.OnSettings(settings_); });
}

bool Session::Close() {
  if (service_) {
    service_->Close();
    service_.reset();
    Tell([](SessionObserver& o) { o.OnClosed(); });
    return true;
  }
  if (!line_.Held()) return false;
  if (exchange_) {
    exchange_->Stop();
    FinishExchange();
  }
  // What the device said since the last exchange is a row of its own.
  ReadIdle();
  EndUnsolicited(ReplyEnd::kClosed);
  const bool closed = line_.Close();
  Tell([](SessionObserver& o) { o.OnClosed(); });
  return closed;
}

bool Session::Send(std::u16string_view typed, const Framing& framing) {
  if (!IsOpen() || Busy()) return false;
  if (service_) return service_->Send(typed, framing);
  // Whatever the device said before is a row of its own, never part of this reply.
  if (!ReadIdle()) return false;
  EndUnsolicited(ReplyEnd::kCommand);

  ExchangeOptions run;
  run.maxReplyBytes = options_.maxReplyBytes;
  run.keepReply = options_.keepReplies;
  run.tick = options_.tick;
  run.onBytes = [this](const uint8_t* bytes, size_t length) {
    const int64_t at = WallClockUs();
    Tell([&](SessionObserver& o) { o.OnRead({bytes, length}, at, RowKind::kExchange); });
  };
  run.onWritten = [this](const uint8_t* bytes, size_t length) {
    const int64_t at = WallClockUs();
    Tell([&](SessionObserver& o) { o.OnWritten({bytes, length}, at); });
  };
  exchange_ = std::make_unique<Exchange>(line_, typed, framing, std::move(run));
  current_ = Row();
  current_.kind = RowKind::kExchange;
  current_.typed = std::u16string(typed);
  current_.sent = exchange_->Result().sentText;
  current_.sentAtMs = exchange_->Result().sentAtMs;
  Tell([this](SessionObserver& o) { o.OnRowBegun(current_); });
  return true;
}

void Session::Stop() {
  if (service_) service_->Stop();
  if (!exchange_) return;
  exchange_->Stop();
  FinishExchange();
}

Session::Wait Session::Advance() {
  if (service_) return hungUp_ ? Wait::kNothing : service_->Advance();
  if (!line_.IsOpen() || hungUp_) return Wait::kNothing;
  if (exchange_) {
    const Wait wait = exchange_->Advance();
    if (wait != Wait::kNothing) return wait;
    FinishExchange();
    return hungUp_ ? Wait::kNothing : Wait::kReadable;
  }
  return ReadIdle() ? Wait::kReadable : Wait::kNothing;
}

int Session::MsUntilDeadline() const {
  // A shared port's times are kept by its service.
  if (service_) return -1;
  if (exchange_) return exchange_->MsUntilDeadline();
  if (!IsOpen()) return -1;
  return unsolicited_.MsUntilSilenceEnds(Now());
}

void Session::FinishExchange() {
  const std::unique_ptr<Exchange> done = std::move(exchange_);
  ExchangeResult result = done->TakeResult();
  Row row = std::move(current_);
  current_ = Row();
  row.reply = std::move(result.reply);
  row.replyLength = result.replyLength;
  row.firstByteMs = result.firstByteMs;
  row.elapsedMs = result.elapsedMs;
  if (result.writeError != 0) {
    row.end = ReplyEnd::kWriteFailed;
    row.error = result.writeError;
  } else {
    row.end = result.end;
    row.error = result.readError;
  }
  Tell([&row](SessionObserver& o) { o.OnRowEnded(row); });
  if (result.end == ReplyEnd::kHangup) HangUp(result.readError != 0 ? result.readError : EIO);
}

bool Session::ReadIdle() {
  if (hungUp_ || !line_.IsOpen()) return false;
  if (readBuffer_.empty()) readBuffer_.resize(kReadBytes);
  size_t taken = 0;
  while (taken < kInputSliceBytes) {
    const long n = line_.ReadSome(readBuffer_.data(), readBuffer_.size());
    if (n == 0) {
      unsolicited_.Idle(Now());
      DeliverUnsolicited();
      return true;
    }
    if (n < 0) {
      EndUnsolicited(ReplyEnd::kHangup);
      HangUp(static_cast<int>(-n));
      return false;
    }
    const size_t got = static_cast<size_t>(n);
    const int64_t atUs = WallClockUs();
    if (!unsolicitedBegun_) {
      Row begun;
      begun.kind = RowKind::kUnsolicited;
      begun.sentAtMs = atUs / 1000;
      unsolicitedBegun_ = true;
      Tell([&begun](SessionObserver& o) { o.OnRowBegun(begun); });
    }
    const std::span<const uint8_t> bytes(readBuffer_.data(), got);
    Tell([&](SessionObserver& o) { o.OnRead(bytes, atUs, RowKind::kUnsolicited); });
    unsolicited_.Add(readBuffer_.data(), got, Now(), atUs / 1000);
    DeliverUnsolicited();
    taken += got;
  }
  return true;
}

void Session::EndUnsolicited(ReplyEnd why) {
  unsolicited_.Flush(why, Now());
  DeliverUnsolicited();
}

void Session::DeliverUnsolicited() {
  if (unsolicited_.HasFinished()) {
    for (UnsolicitedRow& data : unsolicited_.TakeFinished()) {
      const Row row = RowOf(std::move(data));
      if (!unsolicitedBegun_) {
        Row begun;
        begun.kind = RowKind::kUnsolicited;
        begun.sentAtMs = row.sentAtMs;
        Tell([&begun](SessionObserver& o) { o.OnRowBegun(begun); });
      }
      unsolicitedBegun_ = false;
      Tell([&row](SessionObserver& o) { o.OnRowEnded(row); });
    }
  }
  // The bytes after a row cut at the size limit already make the next one.
  if (unsolicited_.Pending() && !unsolicitedBegun_) {
    Row begun;
    begun.kind = RowKind::kUnsolicited;
    begun.sentAtMs = WallClockMs();
    unsolicitedBegun_ = true;
    Tell([&begun](SessionObserver& o) { o.OnRowBegun(begun); });
  }
}

void Session::HangUp(int error) {
  hungUp_ = true;
  hangupError_ = error;
  Tell([error](SessionObserver& o) { o.OnHangup(error); });
}

RunEnd RunUntil(Session& session, const std::function<bool()>& done, int64_t forMs, int stopFd,
                int inputFd) {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::milliseconds(forMs < 0 ? 0 : forMs);
  for (;;) {
    if (done && done()) return RunEnd::kDone;
    const Session::Wait wait = session.Advance();
    if (done && done()) return RunEnd::kDone;
    if (wait == Session::Wait::kNothing) return RunEnd::kLineEnded;
    int timeout = session.MsUntilDeadline();
    if (forMs >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
      if (left <= 0) return RunEnd::kTime;
      const int capped = static_cast<int>(std::min<int64_t>(left, std::numeric_limits<int>::max()));
      timeout = timeout < 0 ? capped : std::min(timeout, capped);
    }
    pollfd fds[3];
    nfds_t count = 0;
    fds[count++] = {session.Descriptor(),
                    static_cast<short>(wait == Session::Wait::kWritable ? POLLOUT : POLLIN), 0};
    const nfds_t stopIndex = count;
    if (stopFd >= 0) fds[count++] = {stopFd, POLLIN, 0};
    const nfds_t inputIndex = count;
    if (inputFd >= 0) fds[count++] = {inputFd, POLLIN, 0};
    const int ready = poll(fds, count, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return RunEnd::kPollFailed;
    }
    if (ready == 0) continue;
    if (stopFd >= 0 && fds[stopIndex].revents != 0) {
      session.Stop();
      return RunEnd::kStop;
    }
    if (inputFd >= 0 && fds[inputIndex].revents != 0) return RunEnd::kInput;
  }
}

}  // namespace orvane
