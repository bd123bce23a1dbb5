#include "engine/SequenceRunner.h"

#include <algorithm>
#include <utility>

namespace orvane {
namespace {

// Regular expressions look at one line at a time, each cut to this many bytes, so a
// match never recurses deep whatever the reply's size.
constexpr size_t kMaxRegexLine = 4096;
// Unsolicited data kept for @wait: the newest this many bytes.
constexpr size_t kMaxNotice = size_t{64} << 10;
// What came is shown up to this many characters of binary text.
constexpr size_t kMaxShown = 200;

const std::u16string kDefaultTokens[] = {u"<0D><0A>OK<0D><0A>", u"<0D><0A>ERROR<0D><0A>"};

Bytes RegexEscaped(const Bytes& value) {
  static const std::string kSpecial = "\\^$.|?*+()[]{}/-";
  Bytes out;
  for (uint8_t b : value) {
    if (kSpecial.find(static_cast<char>(b)) != std::string::npos) out.push_back('\\');
    out.push_back(b);
  }
  return out;
}

std::string Shown(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return "nothing";
  std::string text;
  AppendBinaryTextUtf8(bytes.data(), bytes.size(), &text);
  if (text.size() > kMaxShown) {
    size_t cut = kMaxShown;
    while (cut > 0 && (static_cast<uint8_t>(text[cut]) & 0xC0) == 0x80) --cut;  // whole characters
    text = text.substr(0, cut) + "...";
  }
  return "\"" + text + "\"";
}

std::string Quoted(const std::u16string& text) { return "\"" + Utf16ToUtf8(text) + "\""; }

std::string Described(const Expectation& expect) {
  return expect.regex ? "a line matching /" + Utf16ToUtf8(expect.text) + "/" : Quoted(expect.text);
}

}  // namespace

std::string DescribeFailure(const std::string& file, const SequenceFailure& f) {
  std::string text = (file.empty() ? "line " : file + ":") + std::to_string(f.line) + ": step " +
                     std::to_string(f.step) + " (" + f.source + ") failed: expected " + f.expected;
  return text + (f.got == "nothing" ? "; nothing came" : "; got " + f.got);
}

SequenceRunner::SequenceRunner(Session& session, Framing framing)
    : session_(session), framing_(std::move(framing)) {
  session_.AddObserver(this);
}

SequenceRunner::~SequenceRunner() { session_.RemoveObserver(this); }

void SequenceRunner::Add(Step step) { pending_.push_back({std::move(step), false}); }

void SequenceRunner::Finish() { finished_ = true; }

const Bytes& SequenceRunner::Value(const std::string& name) const {
  static const Bytes kNone;
  const auto found = values_.find(name);
  return found == values_.end() ? kNone : found->second;
}

uint32_t SequenceRunner::Now() const { return SteadyTickMs(); }

void SequenceRunner::SetDeadline(uint32_t ms) {
  deadline_ = Now() + ms;
  ++progress_;
}

bool SequenceRunner::DeadlinePassed() const { return static_cast<int32_t>(Now() - deadline_) >= 0; }

int SequenceRunner::MsUntilDeadline() const {
  if (!hasCurrent_ || (phase_ != Phase::kPause && phase_ != Phase::kWait && phase_ != Phase::kRetryPause))
    return -1;
  return std::max(0, static_cast<int>(static_cast<int32_t>(deadline_ - Now())));
}

std::u16string SequenceRunner::Fill(std::u16string_view text, bool regex) const {
  return ReplaceNames(text, [this, regex](const std::string& name) {
    return EncodeBinaryText(regex ? RegexEscaped(Value(name)) : Value(name));
  });
}

bool SequenceRunner::Holds(const Expectation& expect, const Bytes& text, Bytes* value, size_t* end) const {
  const auto lineEnd = [&text](size_t from) {
    const auto feed = std::find(text.begin() + static_cast<ptrdiff_t>(from), text.end(), '\n');
    return feed == text.end() ? text.size() : static_cast<size_t>(feed - text.begin()) + 1;
  };
  if (!expect.regex) {
    const Bytes needle = DecodeBinaryText(Fill(expect.text, false));
    const auto found = std::search(text.begin(), text.end(), needle.begin(), needle.end());
    if (needle.empty() || found == text.end()) return false;
    *value = needle;
    *end = lineEnd(static_cast<size_t>(found - text.begin()) + needle.size() - 1);
    return true;
  }
  std::regex pattern;
  std::string error;
  if (!CompilePattern(Fill(expect.text, true), &pattern, &error)) return false;
  for (size_t start = 0; start < text.size();) {
    const size_t next = lineEnd(start);
    size_t stop = next;
    while (stop > start && (text[stop - 1] == '\n' || text[stop - 1] == '\r')) --stop;
    const std::string line(text.begin() + static_cast<ptrdiff_t>(start),
                           text.begin() + static_cast<ptrdiff_t>(std::min(stop, start + kMaxRegexLine)));
    std::smatch match;
    if (std::regex_search(line, match, pattern)) {
      const auto& group = match.size() > 1 && match[1].matched ? match[1] : match[0];
      value->assign(group.first, group.second);
      *end = next;
      return true;
    }
    start = next;
  }
  return false;
}

void SequenceRunner::Check(bool held) {
  const bool checks = current_.Checks() || current_.kind == StepKind::kWait || !current_.prompt.empty();
  if (checks && onChecked) onChecked(current_, held);
}

void SequenceRunner::Fail(std::string expected, const Bytes& got, bool retryable) {
  Check(false);
  if (retryable && !group_.empty() && try_ < group_.front().tries) {
    ++try_;
    phase_ = Phase::kRetryPause;
    SetDeadline(group_.front().retryPauseMs);
    return;
  }
  failure_ = SequenceFailure();
  failure_.line = current_.line;
  failure_.step = current_.number;
  failure_.source = current_.source;
  failure_.expected = std::move(expected);
  failure_.got = Shown(got);
  failure_.hungUp = hungUp_ || !session_.IsOpen();
  if (failure_.hungUp && got.empty()) failure_.got = "nothing";
  state_ = SequenceState::kFailed;
  hasCurrent_ = false;
  phase_ = Phase::kNone;
}

void SequenceRunner::EndStep() {
  hasCurrent_ = false;
  phase_ = Phase::kNone;
  ++progress_;
}

void SequenceRunner::Begin(Pending next) {
  current_ = std::move(next.step);
  hasCurrent_ = true;
  phase_ = Phase::kNone;
  ++progress_;
  const Step& step = current_;
  if (step.Produces()) {
    if (!next.replay) try_ = 1;
    group_.assign(1, step);
  } else if (step.Checks()) {
    if (!group_.empty()) group_.push_back(step);
  } else {
    group_.clear();
  }
  if (onStepBegun) onStepBegun(step);
  switch (step.kind) {
    case StepKind::kSend:
    case StepKind::kRaw: {
      Framing framing = framing_;
      if (step.kind == StepKind::kRaw) framing.prefix.clear(), framing.suffix.clear();
      if (step.timeoutMs >= 0) framing.timeoutMs = static_cast<uint32_t>(step.timeoutMs);
      if (!step.prompt.empty()) {
        if (framing.tokens.empty()) framing.tokens.assign(std::begin(kDefaultTokens), std::end(kDefaultTokens));
        framing.tokens.push_back(Fill(step.prompt, false));
      }
      reply_.clear();
      rowEnded_ = false;
      phase_ = Phase::kExchange;
      if (!session_.Send(Fill(step.command, false), framing)) {
        Fail("the line open to send on", {}, false);
        return;
      }
      // A notice waited for from now on comes after this command.
      notice_.clear();
      complete_ = 0;
      return;
    }
    case StepKind::kPause:
      phase_ = Phase::kPause;
      SetDeadline(step.ms);
      return;
    case StepKind::kWait:
      phase_ = Phase::kWait;
      SetDeadline(step.ms);
      return;
    case StepKind::kExpect:
    case StepKind::kCapture: {
      Bytes value;
      size_t end = 0;
      if (!Holds(step.expect, last_, &value, &end)) {
        Fail(Described(step.expect) + (step.kind == StepKind::kCapture ? " to capture" : ""), last_);
        return;
      }
      if (step.kind == StepKind::kCapture) values_[step.variable] = std::move(value);
      Check(true);
      EndStep();
      return;
    }
  }
}

void SequenceRunner::FinishExchange() {
  phase_ = Phase::kNone;
  if (exchangeEnded) {
    if (!exchangeEnded(row_)) {
      failure_ = SequenceFailure();
      failure_.line = current_.line;
      failure_.step = current_.number;
      failure_.source = current_.source;
      failure_.declined = true;
      state_ = SequenceState::kFailed;
      hasCurrent_ = false;
      return;
    }
  } else if (row_.end == ReplyEnd::kWriteFailed || row_.end == ReplyEnd::kHangup ||
             row_.end == ReplyEnd::kStopped) {
    Fail(row_.end == ReplyEnd::kWriteFailed ? "the command written" : "its reply", reply_, false);
    if (row_.end == ReplyEnd::kWriteFailed) failure_.got = "a failed write";
    else if (row_.end == ReplyEnd::kStopped) failure_.got += " (stopped)";
    return;
  }
  last_ = std::move(reply_);
  reply_.clear();
  if (!current_.prompt.empty()) {
    const Bytes prompt = DecodeBinaryText(Fill(current_.prompt, false));
    if (std::search(last_.begin(), last_.end(), prompt.begin(), prompt.end()) == last_.end()) {
      Fail("the prompt " + Quoted(current_.prompt), last_);
      return;
    }
    Check(true);
  }
  EndStep();
}

void SequenceRunner::CheckWait() {
  const Bytes whole(notice_.begin(), notice_.begin() + static_cast<ptrdiff_t>(complete_));
  Bytes value;
  size_t end = 0;
  if (Holds(current_.expect, whole, &value, &end)) {
    last_.assign(notice_.begin(), notice_.begin() + static_cast<ptrdiff_t>(end));
    notice_.erase(notice_.begin(), notice_.begin() + static_cast<ptrdiff_t>(end));
    complete_ -= end;
    Check(true);
    EndStep();
    return;
  }
  const bool ended = hungUp_ || !session_.IsOpen();
  if (ended || DeadlinePassed()) {
    const uint32_t ms = current_.ms;
    const std::string within = ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
    Fail("unsolicited data holding " + Described(current_.expect) + " within " + within,
         Bytes(notice_.begin(), notice_.end()), !ended);
  }
}

SequenceState SequenceRunner::Advance() {
  for (;;) {
    if (state_ == SequenceState::kDone || state_ == SequenceState::kFailed || state_ == SequenceState::kStopped)
      return state_;
    if (!hasCurrent_) {
      if (pending_.empty()) return state_ = finished_ ? SequenceState::kDone : SequenceState::kNeedStep;
      state_ = SequenceState::kRunning;
      Pending next = std::move(pending_.front());
      pending_.pop_front();
      Begin(std::move(next));
      continue;
    }
    state_ = SequenceState::kRunning;
    switch (phase_) {
      case Phase::kExchange:
        if (!rowEnded_) return state_;
        FinishExchange();
        break;
      case Phase::kPause:
        if (!DeadlinePassed()) return state_;
        EndStep();
        break;
      case Phase::kWait:
        CheckWait();
        if (hasCurrent_ && phase_ == Phase::kWait) return state_;
        break;
      case Phase::kRetryPause: {
        if (!DeadlinePassed()) return state_;
        // The retried step and the checks after it that ran go again, first.
        std::vector<Step> group = std::move(group_);
        group_.clear();
        for (auto it = group.rbegin(); it != group.rend(); ++it) pending_.push_front({std::move(*it), true});
        EndStep();
        break;
      }
      case Phase::kNone:
        EndStep();
        break;
    }
  }
}

void SequenceRunner::Stop() {
  if (state_ == SequenceState::kDone || state_ == SequenceState::kFailed) return;
  if (phase_ == Phase::kExchange && session_.Busy()) session_.Stop();
  state_ = SequenceState::kStopped;
  phase_ = Phase::kNone;
}

void SequenceRunner::OnOpened(const std::string&, uint32_t) { hungUp_ = false; }

void SequenceRunner::OnRead(std::span<const uint8_t> bytes, int64_t, RowKind kind) {
  if (kind == RowKind::kExchange) {
    if (phase_ == Phase::kExchange && !rowEnded_) reply_.insert(reply_.end(), bytes.begin(), bytes.end());
    return;
  }
  notice_.insert(notice_.end(), bytes.begin(), bytes.end());
  const auto feed = std::find(notice_.rbegin(), notice_.rbegin() + static_cast<ptrdiff_t>(bytes.size()), '\n');
  if (feed != notice_.rbegin() + static_cast<ptrdiff_t>(bytes.size()))
    complete_ = notice_.size() - static_cast<size_t>(feed - notice_.rbegin());
  if (notice_.size() > kMaxNotice) {
    const size_t drop = notice_.size() - kMaxNotice;
    notice_.erase(notice_.begin(), notice_.begin() + static_cast<ptrdiff_t>(drop));
    complete_ = complete_ > drop ? complete_ - drop : 0;
  }
}

void SequenceRunner::OnRowEnded(const Row& row) {
  if (row.Unsolicited()) {
    // A row from before the session attached (a port service's) is none of the notices
    // waited for: its bytes never reached OnRead.
    if (!row.replayed) complete_ = notice_.size();
    return;
  }
  if (phase_ != Phase::kExchange || rowEnded_) return;
  row_ = Row{row.kind, row.typed, row.sent, {}, row.replyLength, row.sentAtMs,
             row.firstByteMs, row.elapsedMs, row.end, row.error};
  rowEnded_ = true;
}

void SequenceRunner::OnHangup(int) { hungUp_ = true; }

RunEnd DriveSequence(SequenceRunner& runner, Session& session, int stopFd) {
  for (;;) {
    if (runner.Advance() != SequenceState::kRunning) return RunEnd::kDone;
    const size_t progress = runner.Progress();
    const RunEnd end = RunUntil(
        session, [&] { return runner.Advance() != SequenceState::kRunning || runner.Progress() != progress; },
        runner.MsUntilDeadline(), stopFd);
    switch (end) {
      case RunEnd::kStop:
        runner.Stop();
        return end;
      case RunEnd::kPollFailed: return end;
      case RunEnd::kLineEnded:
        // The runner learns of it on its next turn; one that still runs would only wait.
        if (runner.Advance() == SequenceState::kRunning) return end;
        return RunEnd::kDone;
      default: break;
    }
  }
}

}  // namespace orvane
