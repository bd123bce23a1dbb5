#include "tools/modemsim/ModemSim.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace orvane::modemsim {
namespace {

constexpr size_t kMaxLine = 1024;
constexpr long kMaxDelayMs = 600000;
constexpr long kMaxReplyBytes = 16L * 1024 * 1024;

const char kIdentification[] = "Orvane Modem Simulator";

// The messages AT+CMGR reads in PDU mode, each with its length without the service
// centre: a GSM 7-bit one, a UCS2 one, and the two parts of a concatenated one.
struct StoredMessage {
  int length;
  const char* pdu;
};
constexpr StoredMessage kStoredMessages[] = {
    {28, "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37"},
    {37, "07917283010010F5040B917238880900F100089930925161958012041F044004380432043504420020D83DDE00"},
    {34, "07917283010010F5440B917238880900F1000099309251619580110500032A0201A061391DF476975920"},
    {33, "07917283010010F5440B917238880900F1000099309251619580100500032A0202E061391D44BFBF5D"},
};
const char kRevision[] = "1.0";
const char kOwnNumber[] = "+15550100";
constexpr size_t kMaxMessage = 1024;
constexpr size_t kMaxMessages = 30;
constexpr int kIncomingMs = 1000;

const char kHelp[] =
    "Standard commands (several may follow one AT, as in ATE0V1):\n"
    "  AT            OK\n"
    "  ATE0 / ATE1   echo off / on (on at start)\n"
    "  ATV0 / ATV1   numeric / word result codes\n"
    "  ATQ0 / ATQ1   result codes on / off\n"
    "  ATI, ATI0-9   identification lines\n"
    "  ATZ, AT&F     reset every setting, test settings included\n"
    "  ATSn=v, ATSn?  set / show S-register n\n"
    "  ATD...        dial: NO CARRIER\n"
    "  ATH, ATL, ATM, ATX, AT&C, AT&D, AT&K   accepted, no effect\n"
    "  AT+GMI, AT+GMM, AT+GMR   maker, model, revision\n"
    "  AT+CMGF=0 / =1    short messages in PDU / text mode (text at start; AT+CMGF? shows)\n"
    "  AT+CMGR=n         in PDU mode, stored message n: 1 GSM 7-bit, 2 UCS2, 3 and 4 the\n"
    "                    two parts of one message (+CMS ERROR: 321 for any other n);\n"
    "                    in text mode the message n sent to the own number\n"
    "  AT+CMGS=\"number\"  (text mode) prompt \"\\r\\n> \", then the text up to Ctrl+Z (0x1A) is\n"
    "                    sent (ESC cancels): +CMGS: n, OK. A text to the simulator's own\n"
    "                    number, +15550100, comes back 1 s later as +CMTI: \"SM\",index\n"
    "  AT+CMGD=n         delete the stored message n\n"
    "  AT+CNUM           the own number\n"
    "  AT+CREG?          +CREG: 0,1 (registered), or 0,2 while searching\n"
    "Test commands:\n"
    "  AT+SIMDELAY=ms    wait ms before every later reply (0 = off)\n"
    "  AT+SIMTRICKLE=ms  send later replies one byte every ms (0 = off)\n"
    "  AT+SIMBYTES=n     reply with exactly n bytes (A-Z repeated), no result code\n"
    "  AT+SIMSILENT      no reply at all to this command\n"
    "  AT+SIMZERO        reply \"\\r\\nDATA\", a zero byte, then \"\\r\\nOK\\r\\n\"\n"
    "  AT+SIMSTREAM      send numbered lines without end until the next byte arrives\n"
    "  AT+SIMPROMPT[=t]  reply \"\\r\\n> \" (or \"\\r\\n\" and t), no result code\n"
    "  AT+SIMHANGUP[=ms]  after ms (default 0) close the device side, as if unplugged;\n"
    "                     the simulator then ends\n"
    "  AT+SIMURC=ms,text  send \"\\r\\ntext\\r\\n\" unprompted every ms (AT+SIMURC=0\n"
    "                     stops it; ATZ too)\n"
    "  AT+SIMLATE=ms,text  answer OK, then send \"\\r\\ntext\\r\\n\" ms after the OK\n"
    "                     (text may be quoted: AT+SIMLATE=200,\"+QTEMP: 31\")\n"
    "  AT+SIMCME=n       reply \"+CME ERROR: n\" (n up to 65535)\n"
    "  AT+SIMREG=n       the next n AT+CREG? report 0,2 (searching)\n"
    "  AT+SIMHELP        this list\n"
    "  AT+SIMDELAY?, AT+SIMTRICKLE? and AT+SIMURC? show the setting.\n"
    "Unsolicited texts go out between replies, never inside one.\n";

bool ParseNumber(const std::string& text, long max, long* value) {
  if (text.empty() || text.size() > 9) return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > max) return false;
  *value = v;
  return true;
}

// "MS,TEXT": MS up to |max|, TEXT not empty, a pair of double quotes around it dropped.
bool ParseTimedText(const std::string& value, long max, long* ms, std::string* text) {
  const size_t comma = value.find(',');
  if (comma == std::string::npos || !ParseNumber(value.substr(0, comma), max, ms)) return false;
  *text = value.substr(comma + 1);
  if (text->size() >= 2 && text->front() == '"' && text->back() == '"') {
    *text = text->substr(1, text->size() - 2);
  }
  return !text->empty();
}

// The first ';' at or after |from| that is not inside double quotes, or npos.
size_t CommandEnd(const std::string& body, size_t from) {
  bool quoted = false;
  for (size_t i = from; i < body.size(); ++i) {
    if (body[i] == '"') quoted = !quoted;
    else if (body[i] == ';' && !quoted) return i;
  }
  return std::string::npos;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "<%02X>", c);
      out += buf;
    }
  }
  return out;
}

}  // namespace

const char* CommandHelp() { return kHelp; }

ModemSim::ModemSim() = default;

ModemSim::~ModemSim() {
  if (keeper_ >= 0) close(keeper_);
  if (master_ >= 0) close(master_);
}

bool ModemSim::Start(std::string* error) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  char name[256] = {};
  if (ptsname_r(master_, name, sizeof name) != 0) {
    *error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  path_ = name;
  keeper_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (keeper_ < 0) {
    *error = std::string("cannot open ") + name + ": " + std::strerror(errno);
    return false;
  }
  // Raw until a program sets the line up: nothing must be echoed back to us.
  termios t{};
  if (tcgetattr(keeper_, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(keeper_, TCSANOW, &t);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  return true;
}

void ModemSim::Trace(const std::string& line) const {
  if (log_) log_(line);
}

void ModemSim::ResetSettings() {
  echo_ = true;
  verbose_ = true;
  quiet_ = false;
  delayMs_ = 0;
  trickleMs_ = 0;
  urcPeriodMs_ = 0;
  urcText_.clear();
  urcBytes_.clear();
  registers_.clear();
  pduMode_ = false;
}

std::string ModemSim::ResultCode(int code) const {
  if (quiet_) return {};
  if (!verbose_) return std::to_string(code) + "\r";
  switch (code) {
    case 0: return "\r\nOK\r\n";
    case 3: return "\r\nNO CARRIER\r\n";
    default: return "\r\nERROR\r\n";
  }
}

std::string ModemSim::InfoText(const std::string& lines) const {
  // Word mode frames every line in CR LF; numeric mode ends each with CR LF.
  std::string out;
  size_t start = 0;
  while (start <= lines.size()) {
    const size_t end = lines.find('\n', start);
    const std::string one = lines.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!(one.empty() && end == std::string::npos)) {
      out += verbose_ ? "\r\n" + one + "\r\n" : one + "\r\n";
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

void ModemSim::Reply(std::string bytes) {
  if (bytes.empty()) return;
  Segment s;
  s.bytes = std::move(bytes);
  s.delayMs = replyDelayMs_;
  s.gapMs = replyTrickleMs_;
  Trace(">> " + (s.bytes.size() > 200 ? std::to_string(s.bytes.size()) + " bytes"
                                       : Printable(s.bytes)));
  out_.push_back(std::move(s));
}

void ModemSim::OnInput(const char* data, size_t length) {
  if (length == 0) return;
  if (streaming_) {
    // Any byte ends a stream; the unsent rest of it is dropped.
    streaming_ = false;
    out_.erase(std::remove_if(out_.begin(), out_.end(),
                              [](const Segment& s) { return s.stream && !s.started; }),
               out_.end());
    Trace("-- stream stopped");
  }
  for (size_t i = 0; i < length; ++i) {
    const char c = data[i];
    if (echo_) {
      Segment s;
      s.bytes.assign(1, c);
      out_.push_back(std::move(s));
    }
    if (composing_) {
      Compose(c);
      continue;
    }
    if (c == '\r') {
      const std::string line = line_;
      const bool tooLong = lineTooLong_;
      line_.clear();
      lineTooLong_ = false;
      if (tooLong) {
        replyDelayMs_ = delayMs_;
        replyTrickleMs_ = trickleMs_;
        Trace("<< (line too long)");
        Reply(ResultCode(4));
      } else {
        ProcessLine(line);
      }
      if (hungUp_) return;
    } else if (c == '\n') {
      // Line feeds after the carriage return are ignored.
    } else if (c == '\b' || c == 0x7F) {
      if (!line_.empty()) line_.pop_back();
    } else if (line_.size() < kMaxLine) {
      line_.push_back(c);
    } else {
      lineTooLong_ = true;
    }
  }
}

void ModemSim::ProcessLine(const std::string& raw) {
  // The reply to this line follows the settings in force when it arrived.
  replyDelayMs_ = delayMs_;
  replyTrickleMs_ = trickleMs_;
  // Leading blanks are ignored; an empty line gets no answer.
  size_t first = raw.find_first_not_of(" \t");
  if (first == std::string::npos) return;
  const std::string line = raw.substr(first);
  Trace("<< " + Printable(line));
  if (line.size() < 2 || std::toupper(static_cast<unsigned char>(line[0])) != 'A' ||
      std::toupper(static_cast<unsigned char>(line[1])) != 'T') {
    Reply(ResultCode(4));
    return;
  }
  const std::string body = line.substr(2);
  std::string info;  // information text collected for this line
  size_t p = 0;
  auto number = [&](long fallback) {
    long v = 0;
    size_t q = p;
    while (q < body.size() && std::isdigit(static_cast<unsigned char>(body[q])) && q - p < 9) {
      v = v * 10 + (body[q] - '0');
      ++q;
    }
    if (q == p) return fallback;
    p = q;
    return v;
  };
  auto fail = [&] { Reply(InfoText(info) + ResultCode(4)); };

  while (p < body.size()) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(body[p])));
    if (c == ' ' || c == ';') {
      ++p;
      continue;
    }
    if (c == '+') {
      // Extended command: NAME, NAME?, NAME=value, NAME=? up to ';' or the end.
      size_t q = p + 1;
      while (q < body.size() && std::isalnum(static_cast<unsigned char>(body[q]))) ++q;
      const std::string name = Upper(body.substr(p + 1, q - p - 1));
      std::string op;
      std::string value;
      if (q < body.size() && body[q] == '?') {
        op = "?";
        ++q;
      } else if (q < body.size() && body[q] == '=') {
        op = "=";
        ++q;
        const size_t end = CommandEnd(body, q);
        value = body.substr(q, end == std::string::npos ? std::string::npos : end - q);
        q = end == std::string::npos ? body.size() : end;
      }
      p = q;
      long n = 0;
      if (name == "GMI" && op.empty()) {
        info += "Orvane\n";
      } else if (name == "GMM" && op.empty()) {
        info += std::string(kIdentification) + "\n";
      } else if (name == "GMR" && op.empty()) {
        info += std::string(kRevision) + "\n";
      } else if ((name == "SIMDELAY" || name == "SIMTRICKLE") && op == "?") {
        info += "+" + name + ": " + std::to_string(name == "SIMDELAY" ? delayMs_ : trickleMs_) + "\n";
      } else if ((name == "SIMDELAY" || name == "SIMTRICKLE") && op == "=") {
        if (!ParseNumber(value, kMaxDelayMs, &n)) return fail();
        (name == "SIMDELAY" ? delayMs_ : trickleMs_) = static_cast<int>(n);
      } else if (name == "SIMURC" && op == "?") {
        info += "+SIMURC: " + std::to_string(urcPeriodMs_) +
                (urcPeriodMs_ > 0 ? ",\"" + urcText_ + "\"" : std::string()) + "\n";
      } else if (name == "SIMURC" && op == "=") {
        std::string text;
        if (value == "0") {
          urcPeriodMs_ = 0;
          urcText_.clear();
          urcBytes_.clear();
        } else if (ParseTimedText(value, kMaxDelayMs, &n, &text) && n > 0) {
          urcPeriodMs_ = static_cast<int>(n);
          urcText_ = text;
          urcBytes_ = InfoText(text);
          urcNextAt_ = Clock::now() + std::chrono::milliseconds(n);
        } else {
          return fail();
        }
      } else if (name == "SIMLATE" && op == "=") {
        std::string text;
        if (!ParseTimedText(value, kMaxDelayMs, &n, &text)) return fail();
        // The OK first; the text's time counts from when the OK has gone out.
        Reply(InfoText(info) + ResultCode(0));
        Segment s;
        s.bytes = InfoText(text);
        s.lateMs = static_cast<int>(n);
        Trace(">> (" + Printable(s.bytes) + " " + std::to_string(n) + " ms after that)");
        out_.push_back(std::move(s));
        return;
      } else if (name == "CMGF" && op == "?") {
        info += std::string("+CMGF: ") + (pduMode_ ? "0" : "1") + "\n";
      } else if (name == "CMGF" && op == "=" && (value == "0" || value == "1")) {
        pduMode_ = value == "0";
      } else if (name == "CMGR" && op == "=" && pduMode_) {
        if (!ParseNumber(value, 999, &n)) return fail();
        if (n < 1 || n > static_cast<long>(std::size(kStoredMessages))) {
          Reply(InfoText(info) + InfoText("+CMS ERROR: 321"));
          return;
        }
        const StoredMessage& m = kStoredMessages[n - 1];
        info += "+CMGR: 1,," + std::to_string(m.length) + "\n" + m.pdu + "\n";
      } else if (name == "SIMCME" && op == "=") {
        if (!ParseNumber(value, 65535, &n)) return fail();
        if (!quiet_) Reply(InfoText(info) + InfoText("+CME ERROR: " + std::to_string(n)));
        return;
      } else if (int result = 0; Network(name, op, value, &info, &result)) {
        if (result == 4) return fail();
        if (result == 1) return;
      } else if (name == "SIMHELP" && op.empty()) {
        info += kHelp;
      } else if (name == "SIMBYTES" && op == "=") {
        if (!ParseNumber(value, kMaxReplyBytes, &n)) return fail();
        std::string bytes(static_cast<size_t>(n), 'A');
        for (long i = 0; i < n; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>('A' + i % 26);
        Reply(std::move(bytes));
        return;
      } else if (name == "SIMSILENT" && op.empty()) {
        Trace(">> (silent)");
        return;
      } else if (name == "SIMZERO" && op.empty()) {
        Reply(std::string("\r\nDATA\0\r\nOK\r\n", 13));
        return;
      } else if (name == "SIMSTREAM" && op.empty()) {
        streaming_ = true;
        Trace(">> (stream)");
        return;
      } else if (name == "SIMPROMPT" && (op.empty() || op == "=")) {
        std::string text = op.empty() ? "> " : value;
        if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
          text = text.substr(1, text.size() - 2);
        }
        Reply("\r\n" + text);
        return;
      } else if (name == "SIMHANGUP" && (op.empty() || op == "=")) {
        if (op == "=" && !ParseNumber(value, kMaxDelayMs, &n)) return fail();
        Segment s;
        s.hangup = true;
        s.delayMs = static_cast<int>(n);
        Trace(">> (hang up in " + std::to_string(n) + " ms)");
        out_.push_back(std::move(s));
        return;
      } else {
        return fail();
      }
      continue;
    }
    ++p;
    if (c == '&') {
      if (p >= body.size()) return fail();
      const char d = static_cast<char>(std::toupper(static_cast<unsigned char>(body[p++])));
      number(0);
      if (d == 'F') ResetSettings();
      else if (d != 'C' && d != 'D' && d != 'K') return fail();
      continue;
    }
    switch (c) {
      case 'E': {
        const long v = number(0);
        if (v > 1) return fail();
        echo_ = v == 1;
        break;
      }
      case 'V': {
        const long v = number(0);
        if (v > 1) return fail();
        verbose_ = v == 1;
        break;
      }
      case 'Q': {
        const long v = number(0);
        if (v > 1) return fail();
        quiet_ = v == 1;
        break;
      }
      case 'I': {
        const long v = number(0);
        if (v == 0) info += std::string(kIdentification) + "\n";
        else if (v == 3) info += std::string(kIdentification) + " " + kRevision + "\n";
        else if (v <= 9) info += std::to_string(v) + "\n";
        else return fail();
        break;
      }
      case 'Z':
        number(0);
        ResetSettings();
        break;
      case 'H':
      case 'L':
      case 'M':
      case 'X':
        number(0);
        break;
      case 'S': {
        const long reg = number(-1);
        if (reg < 0 || reg > 255 || p >= body.size()) return fail();
        if (body[p] == '?') {
          ++p;
          char buf[8];
          std::snprintf(buf, sizeof buf, "%03d", registers_.count(static_cast<int>(reg)) ? registers_[static_cast<int>(reg)] : 0);
          info += std::string(buf) + "\n";
        } else if (body[p] == '=') {
          ++p;
          const long v = number(-1);
          if (v < 0 || v > 255) return fail();
          registers_[static_cast<int>(reg)] = static_cast<int>(v);
        } else {
          return fail();
        }
        break;
      }
      case 'D':
        // Nothing to dial: the rest of the line is the number.
        Reply(InfoText(info) + ResultCode(3));
        return;
      default:
        return fail();
    }
  }
  Reply(InfoText(info) + ResultCode(0));
}

bool ModemSim::Network(const std::string& name, const std::string& op, const std::string& value,
                       std::string* info, int* result) {
  long n = 0;
  std::string unquoted = value;
  if (unquoted.size() >= 2 && unquoted.front() == '"' && unquoted.back() == '"')
    unquoted = unquoted.substr(1, unquoted.size() - 2);
  *result = 0;
  if (name == "CMGS" && op == "=") {
    if (pduMode_ || unquoted.empty()) {
      *result = 4;
      return true;
    }
    composing_ = true;
    composeTo_ = unquoted;
    composed_.clear();
    Reply("\r\n> ");
    *result = 1;
  } else if ((name == "CMGR" || name == "CMGD") && op == "=") {
    if (!ParseNumber(value, 999, &n)) {
      *result = 4;
      return true;
    }
    const auto found = messages_.find(static_cast<int>(n));
    if (name == "CMGD") {
      if (found != messages_.end()) messages_.erase(found);
    } else if (found == messages_.end()) {
      Reply(InfoText("+CMS ERROR: 321"));
      *result = 1;
    } else {
      *info += "+CMGR: \"" + std::string(found->second.read ? "REC READ" : "REC UNREAD") + "\",\"" +
               found->second.from + "\",,\"26/12/08,02:00:00+00\"\n" + found->second.text + "\n";
      found->second.read = true;
    }
  } else if (name == "CNUM" && op.empty()) {
    *info += std::string("+CNUM: \"\",\"") + kOwnNumber + "\",145\n";
  } else if (name == "CREG" && op == "?") {
    *info += std::string("+CREG: 0,") + (searchingPolls_ > 0 ? "2" : "1") + "\n";
    if (searchingPolls_ > 0) --searchingPolls_;
  } else if (name == "CREG" && op == "=") {
    if (!ParseNumber(value, 2, &n)) *result = 4;
  } else if (name == "SIMREG" && op == "=") {
    if (!ParseNumber(value, 1000, &n)) *result = 4;
    else searchingPolls_ = static_cast<int>(n);
  } else {
    return false;
  }
  return true;
}

void ModemSim::Compose(char c) {
  if (c == 0x1B) {
    composing_ = false;
    Trace("<< (message cancelled)");
    Reply(ResultCode(0));
    return;
  }
  if (c != 0x1A) {
    // The line feed that may follow the command's carriage return is not text.
    if (!(c == '\n' && composed_.empty()) && composed_.size() < kMaxMessage) composed_.push_back(c);
    return;
  }
  composing_ = false;
  Trace("<< (message to " + composeTo_ + ") " + Printable(composed_));
  replyDelayMs_ = delayMs_;
  replyTrickleMs_ = trickleMs_;
  messageRef_ = (messageRef_ + 1) % 256;
  Reply(InfoText("+CMGS: " + std::to_string(messageRef_)) + ResultCode(0));
  if (composeTo_ != kOwnNumber || messages_.size() >= kMaxMessages) return;
  int index = 1;
  while (messages_.count(index) != 0) ++index;
  messages_[index] = Message{kOwnNumber, composed_, false};
  Segment s;
  s.bytes = InfoText("+CMTI: \"SM\"," + std::to_string(index));
  s.lateMs = kIncomingMs;
  out_.push_back(std::move(s));
}

std::string ModemSim::TakeDueUnsolicited(Clock::time_point now) {
  if (!late_.empty() && late_.begin()->first <= now) {
    std::string bytes = std::move(late_.begin()->second);
    late_.erase(late_.begin());
    return bytes;
  }
  if (urcPeriodMs_ > 0 && urcNextAt_ <= now) {
    const auto period = std::chrono::milliseconds(urcPeriodMs_);
    urcNextAt_ += period;
    // After a long stall the period restarts rather than sending a burst to catch up.
    if (urcNextAt_ <= now) urcNextAt_ = now + period;
    return urcBytes_;
  }
  return {};
}

int ModemSim::MsUntilUnsolicited(Clock::time_point now) const {
  Clock::time_point next = Clock::time_point::max();
  if (!late_.empty()) next = late_.begin()->first;
  if (urcPeriodMs_ > 0) next = std::min(next, urcNextAt_);
  if (next == Clock::time_point::max()) return -1;
  if (next <= now) return 0;
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count()) + 1;
}

int ModemSim::Flush(bool* wantWrite) {
  *wantWrite = false;
  for (;;) {
    // An unsolicited text that is due goes out next, unless a reply is half written.
    if (out_.empty() || !out_.front().partial) {
      std::string due = TakeDueUnsolicited(Clock::now());
      if (!due.empty()) {
        Trace(">> (unsolicited) " + Printable(due));
        Segment s;
        s.bytes = std::move(due);
        out_.push_front(std::move(s));
      }
    }
    if (out_.empty()) {
      if (!streaming_) return MsUntilUnsolicited(Clock::now());
      char buf[80];
      std::snprintf(buf, sizeof buf, "STREAM %08llu 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n",
                    static_cast<unsigned long long>(++streamLine_));
      Segment s;
      s.bytes = buf;
      s.gapMs = trickleMs_;
      s.stream = true;
      out_.push_back(std::move(s));
    }
    Segment& s = out_.front();
    const auto now = Clock::now();
    if (!s.started) {
      s.started = true;
      s.nextAt = now + std::chrono::milliseconds(s.delayMs);
    }
    if (s.lateMs >= 0) {
      // Everything before it has gone out: from now on it waits on its own schedule.
      late_.emplace(now + std::chrono::milliseconds(s.lateMs), std::move(s.bytes));
      out_.pop_front();
      continue;
    }
    if (now < s.nextAt) {
      const int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(s.nextAt - now).count() + 1);
      const int unsolicited = s.partial ? -1 : MsUntilUnsolicited(now);
      return unsolicited >= 0 ? std::min(left, unsolicited) : left;
    }
    if (s.hangup) {
      Trace("-- hung up");
      close(keeper_);
      keeper_ = -1;
      close(master_);
      master_ = -1;
      hungUp_ = true;
      out_.clear();
      return -1;
    }
    const size_t want = s.gapMs > 0 ? 1 : s.bytes.size();
    const ssize_t n = write(master_, s.bytes.data(), want);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) {
        *wantWrite = true;
        return -1;
      }
      // Nobody can take the bytes any more; drop them.
      out_.pop_front();
      continue;
    }
    s.bytes.erase(0, static_cast<size_t>(n));
    s.partial = true;
    if (s.bytes.empty()) {
      out_.pop_front();
      continue;
    }
    if (s.gapMs > 0) s.nextAt = Clock::now() + std::chrono::milliseconds(s.gapMs);
  }
}

ModemSim::End ModemSim::Run(int inputFd, int wakeFd) {
  if (master_ < 0) return End::kError;
  for (;;) {
    bool wantWrite = false;
    const int due = Flush(&wantWrite);
    if (hungUp_) return End::kHungUp;

    pollfd fds[3];
    int n = 0;
    fds[n++] = {master_, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
    const int inputIndex = inputFd >= 0 ? n : -1;
    if (inputFd >= 0) fds[n++] = {inputFd, POLLIN, 0};
    const int wakeIndex = wakeFd >= 0 ? n : -1;
    if (wakeFd >= 0) fds[n++] = {wakeFd, POLLIN, 0};

    const int r = poll(fds, static_cast<nfds_t>(n), wantWrite ? 1000 : due);
    if (r < 0) {
      if (errno == EINTR) continue;
      return End::kError;
    }
    if (wakeIndex >= 0 && fds[wakeIndex].revents != 0) return End::kStopped;
    if (inputIndex >= 0 && fds[inputIndex].revents != 0) {
      char buf[256];
      const ssize_t got = read(inputFd, buf, sizeof buf);
      if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) return End::kStopped;
    }
    if (fds[0].revents & POLLIN) {
      char buf[512];
      const ssize_t got = read(master_, buf, sizeof buf);
      if (got > 0) OnInput(buf, static_cast<size_t>(got));
    }
  }
}

}  // namespace orvane::modemsim
