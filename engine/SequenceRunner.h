// Runs the steps of a sequence on a session, one after another. Like the session it
// never waits: Advance() does what can be done now, MsUntilDeadline() says when it is
// due again; linewright drives it in poll() (DriveSequence), the window in Qt's loop.
// What arrives reaches the session's other observers as usual (rows, printers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/Sequence.h"
#include "engine/Session.h"

namespace orvane {

enum class SequenceState {
  kNeedStep,  // every step given has run: Add() the next or Finish()
  kRunning,   // a step is running: advance the session, then this again
  kDone,      // every step ran and held
  kFailed,    // a step failed (Failure())
  kStopped,   // Stop() ended the run
};

struct SequenceFailure {
  size_t line = 0;       // the failed step's file line
  size_t step = 0;       // its number
  std::string source;    // the step as written
  std::string expected;  // what it expected
  std::string got;       // what came (binary text, long ones cut)
  bool hungUp = false;   // the device hung up (or a read failed)
  bool declined = false; // the driver's exchangeEnded said no
};

// "FILE:LINE: step N (SOURCE) failed: expected ...; got ..." (FILE empty: "line LINE").
std::string DescribeFailure(const std::string& file, const SequenceFailure& failure);

class SequenceRunner : public SessionObserver {
 public:
  // Commands are framed by |framing|; the runner observes |session| while it lives.
  SequenceRunner(Session& session, Framing framing);
  ~SequenceRunner() override;
  SequenceRunner(const SequenceRunner&) = delete;
  SequenceRunner& operator=(const SequenceRunner&) = delete;

  // The next step, in file order.
  void Add(Step step);
  // No more steps will come: the run is done once those given have run.
  void Finish();

  // Starts, checks and ends steps as far as it can now (it may send on the session,
  // so call it between the session's calls, never from an observer's).
  SequenceState Advance();
  // Milliseconds until Advance() is due although the session has nothing new: a pause,
  // a wait's time-out, the pause before a retry; -1 when none.
  int MsUntilDeadline() const;
  // Ends the run, and the exchange in flight with what arrived of its reply.
  void Stop();

  SequenceState State() const { return state_; }
  const SequenceFailure& Failure() const { return failure_; }
  // The step running, or the one that failed; null before the first.
  const Step* Current() const { return hasCurrent_ || state_ == SequenceState::kFailed ? &current_ : nullptr; }
  // Grows whenever a step begins or a deadline changes: a driver waiting on the old
  // deadline looks again.
  size_t Progress() const { return progress_; }
  // The value ${NAME} stands for (bytes), empty when none was captured.
  const Bytes& Value(const std::string& name) const;

  // A step begins (again, for a retry).
  std::function<void(const Step&)> onStepBegun;
  // A step that expects something ended: whether its expectation held (a prompt, an
  // @expect, an @wait, an @capture).
  std::function<void(const Step&, bool held)> onChecked;
  // A command's row ended. When set, the driver decides whether the run goes on (false:
  // the run ends, failed with |declined|); when not, a reply the device could not be
  // sent, or that a hang-up or Stop ended, fails the step.
  std::function<bool(const Row&)> exchangeEnded;

  void OnOpened(const std::string& device, uint32_t baud) override;
  void OnRead(std::span<const uint8_t> bytes, int64_t atUs, RowKind kind) override;
  void OnRowEnded(const Row& row) override;
  void OnHangup(int error) override;

 private:
  enum class Phase { kNone, kExchange, kPause, kWait, kRetryPause };
  struct Pending {
    Step step;
    bool replay = false;
  };

  void Begin(Pending next);
  void EndStep();
  // The step failed: tried again when its group has tries left, else the run fails.
  void Fail(std::string expected, const Bytes& got, bool retryable = true);
  void Check(bool held);
  uint32_t Now() const;
  void SetDeadline(uint32_t ms);
  bool DeadlinePassed() const;
  std::u16string Fill(std::u16string_view text, bool regex) const;
  // Whether |expect| holds in |text|; |*value| takes a regex's group (or whole match),
  // |*end| where the line holding the match ends.
  bool Holds(const Expectation& expect, const Bytes& text, Bytes* value, size_t* end) const;
  void FinishExchange();
  void CheckWait();

  Session& session_;
  Framing framing_;
  SequenceState state_ = SequenceState::kNeedStep;
  SequenceFailure failure_;
  std::deque<Pending> pending_;
  bool finished_ = false;
  Step current_;
  bool hasCurrent_ = false;
  Phase phase_ = Phase::kNone;
  size_t progress_ = 0;
  uint32_t deadline_ = 0;
  bool hungUp_ = false;

  std::vector<Step> group_;  // the retried step and the checks after it that have run
  uint32_t try_ = 1;

  Bytes reply_;         // the reply of the command in flight
  bool rowEnded_ = false;
  Row row_;             // that command's row, once ended
  Bytes last_;          // what @expect and @capture look at
  Bytes notice_;        // unsolicited data since the last command (its end kept)
  size_t complete_ = 0; // notice_ up to here is whole lines (or an ended row)
  std::map<std::string, Bytes> values_;
};

// Drives |runner| and |session| in poll() until the runner needs a step, is done,
// failed or stopped. Input on |stopFd| (-1: none) stops the run (kStop). kPollFailed
// with errno when poll() failed; otherwise kDone.
RunEnd DriveSequence(SequenceRunner& runner, Session& session, int stopFd = -1);

}  // namespace orvane
