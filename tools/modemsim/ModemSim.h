// A Hayes-style modem on a pseudo-terminal, for tests and for trying the tools by
// hand. It answers AT commands on the pty's device side and has test commands that
// shape its replies (delays, trickling, long or endless replies, silence, a zero byte
// before the result code, a custom prompt, hanging up) and that make it speak
// unprompted (a text repeated at a period, a text some time after the "OK").
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

namespace orvane::modemsim {

// The help text of the test commands (also printed by --help and AT+SIMHELP).
const char* CommandHelp();

class ModemSim {
 public:
  enum class End { kStopped, kHungUp, kError };
  using Log = std::function<void(const std::string&)>;

  ModemSim();
  ~ModemSim();
  ModemSim(const ModemSim&) = delete;
  ModemSim& operator=(const ModemSim&) = delete;

  // Creates the pty. False with the reason in |error| when none can be made.
  bool Start(std::string* error);
  // The device path a serial program opens (/dev/pts/N).
  const std::string& DevicePath() const { return path_; }

  // Serves the device until |inputFd| (standard input; -1 for none) reaches its end,
  // |wakeFd| (-1 for none) becomes readable, or a hang-up command closes the device.
  End Run(int inputFd, int wakeFd);

  // Optional trace of commands and replies (one line each).
  void SetLog(Log log) { log_ = std::move(log); }

 private:
  using Clock = std::chrono::steady_clock;
  struct Segment {
    std::string bytes;
    int delayMs = 0;
    int gapMs = 0;
    bool hangup = false;
    bool stream = false;
    bool started = false;
    bool partial = false;  // some of its bytes are written already
    int lateMs = -1;       // 0 or more: not sent in turn but this long after the bytes before it

    Clock::time_point nextAt{};
  };

  void OnInput(const char* data, size_t length);
  void ProcessLine(const std::string& line);
  // Queues a reply under the current delay and trickle settings.
  void Reply(std::string bytes);
  std::string ResultCode(int code) const;  // 0 OK, 3 NO CARRIER, 4 ERROR
  std::string InfoText(const std::string& lines) const;
  void ResetSettings();
  // Writes what is due; returns the milliseconds until more is due (-1: nothing).
  int Flush(bool* wantWrite);
  // The unsolicited text due at |now|, taken off its schedule; empty when none is due.
  std::string TakeDueUnsolicited(Clock::time_point now);
  // Milliseconds until the next unsolicited text is due (0: now; -1: none scheduled).
  int MsUntilUnsolicited(Clock::time_point now) const;
  void Trace(const std::string& line) const;
  // The SMS and network registration commands: false when |name| is none of them;
  // otherwise true with |*result| 0 (go on with the line), 1 (answered) or 4 (ERROR).
  bool Network(const std::string& name, const std::string& op, const std::string& value,
               std::string* info, int* result);
  // A byte of a message being typed after the AT+CMGS prompt.
  void Compose(char c);

  int master_ = -1;
  int keeper_ = -1;  // a slave descriptor kept open so the master never reads a hang-up
  std::string path_;
  std::string line_;
  bool lineTooLong_ = false;
  std::deque<Segment> out_;
  bool hungUp_ = false;
  bool streaming_ = false;
  uint64_t streamLine_ = 0;
  // Unsolicited texts: one-shot ones at their time, and one repeated at a period.
  std::multimap<Clock::time_point, std::string> late_;
  int urcPeriodMs_ = 0;  // 0: none
  std::string urcText_;  // as given, for AT+SIMURC?
  std::string urcBytes_;
  Clock::time_point urcNextAt_{};

  // Settings (reset by ATZ and AT&F).
  bool echo_ = true;
  bool verbose_ = true;
  bool quiet_ = false;
  int delayMs_ = 0;
  int trickleMs_ = 0;
  int replyDelayMs_ = 0;
  int replyTrickleMs_ = 0;
  std::map<int, int> registers_;
  bool pduMode_ = false;  // AT+CMGF=0: short messages as PDUs
  Log log_;

  // Text messages: the mode, the one being typed (to composeTo_), the stored ones.
  struct Message {
    std::string from;
    std::string text;
    bool read = false;
  };
  bool composing_ = false;
  std::string composeTo_;
  std::string composed_;
  int messageRef_ = 0;
  std::map<int, Message> messages_;
  int searchingPolls_ = 0;  // AT+CREG? polls still to report "searching"
};

}  // namespace orvane::modemsim
