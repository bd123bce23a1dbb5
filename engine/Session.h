// The one owner of an open line: the line itself, the exchange in flight, the rows of
// unsolicited data between exchanges, the hang-up and the times. The window, linewright
// and every later tool drive a Session; what they show or keep is built by observers,
// which it tells every event in order.
//
// Like Exchange, a Session never waits: Advance() does whatever the line allows now and
// says what to wait for next, MsUntilDeadline() until when. The tools wait in poll()
// (RunUntil), the window in Qt's event loop. An open line that is quiet and has no row
// pending needs no wake-up at all (MsUntilDeadline() is -1).
//
// Observers are called from within Open, Send, Advance, Stop and Close. They may read
// the session but must not drive it (send, stop, close) from inside a call: a driver
// acts on what it learned once the call has returned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Exchange.h"
#include "engine/LineFactory.h"
#include "engine/Row.h"
#include "engine/UnsolicitedAssembler.h"

namespace orvane {

namespace service {
class ServiceLink;
}

class SessionObserver {
 public:
  virtual ~SessionObserver() = default;
  // The line to |device| was opened at |baud|.
  virtual void OnOpened(const std::string& device, uint32_t baud) { (void)device, (void)baud; }
  // The line's settings: told after OnOpened, and again whenever they change.
  virtual void OnSettings(const LineSettings& settings) { (void)settings; }
  // The line took |bytes| of a command at |atUs| (wall clock, microseconds since 1970).
  virtual void OnWritten(std::span<const uint8_t> bytes, int64_t atUs) { (void)bytes, (void)atUs; }
  // |bytes| arrived at |atUs|, part of the row of |kind| that is open.
  virtual void OnRead(std::span<const uint8_t> bytes, int64_t atUs, RowKind kind) {
    (void)bytes, (void)atUs, (void)kind;
  }
  // A row began: an exchange's command and send time are known; unsolicited data's
  // first bytes have arrived (the row has no bytes yet).
  virtual void OnRowBegun(const Row& row) { (void)row; }
  // A row ended, with everything it holds.
  virtual void OnRowEnded(const Row& row) { (void)row; }
  // The device went away or a read failed (|error| is the errno; EIO for a hang-up).
  // The row open then has ended before; nothing more is read until the line is closed.
  virtual void OnHangup(int error) { (void)error; }
  // The line was closed (after the last row ended).
  virtual void OnClosed() {}
};

struct SessionOptions {
  // Replies are cut at this size; so are rows of unsolicited data.
  size_t maxReplyBytes = kDefaultMaxReplyBytes;
  // False: a reply's bytes only reach the observers (OnRead) and its row keeps none, so
  // memory stays small whatever the reply's size. Unsolicited rows keep theirs.
  bool keepReplies = true;
  // The silence that ends a row of unsolicited data.
  uint32_t unsolicitedSilenceMs = kDefaultResponseTimeoutMs;
  // The wrapping millisecond tick; the steady clock when not set.
  std::function<uint32_t()> tick;
  // Open goes through the port service holding the port when one does (the session's
  // events then come from the service; see engine/service/ServiceLink.h).
  bool viaService = true;
  // Open attaches read-only to the port service holding the port (one is started as
  // ORVANE_PORTD=auto says): every client's rows and what the device says by itself are
  // told, nothing can be sent, and the port is never opened here. With no service
  // holding it Open fails (ENOENT, Reason() says so).
  bool watchOnly = false;
};

class Session {
 public:
  using Wait = Exchange::Wait;

  explicit Session(SessionOptions options = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Observers are told in the order they were added. They must outlive the session or
  // be removed first.
  void AddObserver(SessionObserver* observer);
  void RemoveObserver(SessionObserver* observer);

  // Opens |name| at |baud| with |settings| (a line held is closed first). 0 on success;
  // otherwise the errno value, with Reason() for a person. Input on |stopFd| (-1: none)
  // while a network line connects cancels the open (ECANCELED).
  int Open(std::string_view name, uint32_t baud, int stopFd = -1, const LineSettings& settings = {});
  int Open(std::u16string_view name, uint32_t baud, int stopFd = -1, const LineSettings& settings = {});
  // Sends a break of |ms| (Line::SendBreak) between exchanges: EBUSY while one is in
  // flight, EBADF when no line is open.
  int SendBreak(uint32_t ms = kDefaultBreakMs);
  // Why the last Open failed (empty after a success).
  const std::string& Reason() const { return serviceReason_.empty() ? line_.Reason() : serviceReason_; }
  // Ends the exchange in flight (stopped), reads what waits and ends the pending row of
  // unsolicited data (closed), then closes the line. False when no line was held.
  bool Close();

  // A line is held and has not hung up.
  bool IsOpen() const { return (line_.IsOpen() || service_) && !hungUp_; }
  // The device hung up (or a read failed) since the line was opened.
  bool HungUp() const { return hungUp_; }
  int HangupError() const { return hangupError_; }
  const std::string& Device() const { return device_; }
  uint32_t Baud() const { return baud_; }
  // The settings the line was last opened with.
  const LineSettings& Settings() const { return settings_; }
  NamedLine& Line() { return line_; }
  // Why the line stopped working, for a person, when more is known than the errno (a
  // network peer that was dropped, a port service that ended); empty otherwise.
  std::string Failure() const;
  int Descriptor() const;
  // The port is shared through a port service: how many clients it has (this one
  // included); 0 when the line is held here.
  int SharedClients() const;
  // The port service holds the port at another baud rate or other line settings than
  // Open asked for (its own stay): a sentence for a person saying both; empty otherwise.
  std::string SharedSettingsWarning() const;

  // Starts an exchange of |typed| framed by |framing|. What the device said before
  // becomes a row of its own first (ended by the command). False, and nothing sent,
  // when no line is open, an exchange is in flight, or the device hung up meanwhile.
  bool Send(std::u16string_view typed, const Framing& framing);
  // An exchange is in flight.
  bool Busy() const;
  // Ends the exchange in flight now, keeping what arrived (its row ends stopped; during
  // the write, as a failed write with ECANCELED).
  void Stop();

  // Writes and reads what can be done now; returns what to wait for before calling
  // again: kNothing once the line is closed or has hung up.
  Wait Advance();
  // Milliseconds until Advance() is due even without the line becoming ready; -1 when
  // nothing is due (a quiet line with no row pending).
  int MsUntilDeadline() const;

  // The millisecond tick from now on (tests); the steady clock when empty.
  void SetTick(std::function<uint32_t()> tick) { options_.tick = std::move(tick); }

  // Bytes of the unsolicited row not yet ended.
  size_t PendingUnsolicited() const { return unsolicited_.PendingLength(); }

 private:
  uint32_t Now() const;
  void Opened();
  void FinishExchange();
  // Reads what waits while no exchange is in flight; false once the line hung up.
  bool ReadIdle();
  void EndUnsolicited(ReplyEnd why);
  void DeliverUnsolicited();
  void HangUp(int error);

  class ServiceEvents;
  int OpenService(std::string_view name, uint32_t baud, int stopFd, const LineSettings& settings);

  template <typename Call>
  void Tell(Call call) {
    for (SessionObserver* observer : observers_) call(*observer);
  }

  SessionOptions options_;
  NamedLine line_;
  std::string device_;
  uint32_t baud_ = 0;
  LineSettings settings_;
  bool hungUp_ = false;
  int hangupError_ = 0;
  std::vector<SessionObserver*> observers_;

  std::unique_ptr<Exchange> exchange_;
  Row current_;  // the exchange in flight: what is known of its row

  UnsolicitedAssembler unsolicited_;
  bool unsolicitedBegun_ = false;  // the pending unsolicited row was announced
  std::vector<uint8_t> readBuffer_;

  // Held instead of the line while the port is shared (see SessionOptions::viaService).
  std::unique_ptr<service::ServiceLink> service_;
  std::unique_ptr<ServiceEvents> serviceEvents_;
  std::string serviceReason_;
};

// Drives |session| in poll() until |done| (when given) says so, the line has closed or
// hung up, or |forMs| have passed (-1: no limit). Input on |stopFd| (-1: none) stops
// the exchange in flight and ends the wait (the caller drains it); input on |inputFd|
// (-1: none) ends the wait too. Returns what ended it.
enum class RunEnd { kDone, kLineEnded, kTime, kStop, kInput, kPollFailed };
RunEnd RunUntil(Session& session, const std::function<bool()>& done, int64_t forMs = -1,
                int stopFd = -1, int inputFd = -1);

}  // namespace orvane
