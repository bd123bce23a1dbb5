#include "tools/linewright/Linewright.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>

#include "engine/BinaryTextCodec.h"
#include "engine/Exchange.h"
#include "engine/LineFactory.h"
#include "engine/NetworkLine.h"
#include "engine/UnsolicitedAssembler.h"
#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"
#include "tools/linewright/Report.h"
#include "tools/linewright/Reconnect.h"

namespace orvane::linewright {
namespace {

const char kHelp[] =
    "Usage: linewright [OPTION]... DEVICE BAUD [COMMAND]...\n"
    "\n"
    "Opens the serial device DEVICE at BAUD (8 data bits, no parity, one stop bit,\n"
    "DTR and RTS on, no flow control), sends each COMMAND and prints each reply on\n"
    "its own line. Without COMMANDs (and without -f or --listen), each line of\n"
    "standard input is one command.\n"
    "A reply ends when an end-of-response token has arrived and the line falls idle,\n"
    "or when the line has been silent for longer than the timeout.\n"
    "\n"
    "Commands, tokens and replies are binary text (UTF-8): printable characters\n"
    "stand for themselves, any byte can be written <XX> in hex, and a literal '<'\n"
    "or '>' is doubled. A carriage return is <0D>; nothing is added to a command\n"
    "unless --prefix or --suffix says so.\n"
    "\n"
    "Options:\n"
    "  --timeout MS     silence that ends a reply, and a row of unsolicited data, in\n"
    "                   milliseconds (default 3000)\n"
    "  --token TEXT     an end-of-response token; repeat for more. Default:\n"
    "                   <0D><0A>OK<0D><0A> and <0D><0A>ERROR<0D><0A>\n"
    "  --prefix TEXT    put TEXT before every command\n"
    "  --suffix TEXT    put TEXT after every command (e.g. --suffix '<0D>')\n"
    "  --profile NAME   frame commands as OrvanePort does with its stored profile\n"
    "                   NAME: its prefix, suffix, timeout and tokens (the options\n"
    "                   above, when given too, win over the profile's values)\n"
    "  --max-bytes N    cut a reply at N bytes (default 16777216); the cut is\n"
    "                   reported on standard error\n"
    "  -f, --file FILE  read the commands from FILE, one a line; blank lines and\n"
    "                   lines starting with '#' are skipped (write a command that\n"
    "                   starts with '#' as <23>...)\n"
    "  --fail-on TEXT   stop after the first reply that contains TEXT and exit with\n"
    "                   status 7; repeat for more (e.g. --fail-on\n"
    "                   '<0D><0A>ERROR<0D><0A>'). Without it an ERROR reply is\n"
    "                   printed and the run goes on\n"
    "  --listen SECONDS\n"
    "                   after the commands (or without any), keep the line open for\n"
    "                   SECONDS (e.g. 10 or 0.5) and print what the device sends by\n"
    "                   itself; standard input is then not read for commands\n"
    "  --timestamps     start each reply line with the time its command was sent\n"
    "  --json           print one JSON object per line instead (see Output)\n"
    "  --reconnect SECONDS\n"
    "                   when the device hangs up (unplugged), wait up to SECONDS\n"
    "                   for the same DEVICE to come back, open it again and go on\n"
    "                   with the next command (the reply cut by the hang-up is not\n"
    "                   asked again); the wait follows plugging, so a device back\n"
    "                   in time is opened at once. Exit status 5 when it does not\n"
    "                   come back in time\n"
    "  -h, --help       this text\n"
    "  --version        the version\n"
    "\n"
    "DEVICE is a path such as /dev/ttyUSB0, or COMn: for /dev/ttyS<n-1>, or a\n"
    "serial port on another machine: rfc2217://HOST:PORT (a serial server such as\n"
    "ser2net with RFC 2217: it sets the port to BAUD, 8N1, DTR and RTS on) or\n"
    "tcp://HOST:PORT (raw bytes). HOST is a name, an IPv4 address or an IPv6\n"
    "address in brackets, e.g. rfc2217://[::1]:3001. A closed connection is a\n"
    "hang-up (status 5).\n"
    "\n"
    "Output:\n"
    "  Replies are printed as they arrive, each ended by a line feed. What the\n"
    "  device sends while no command is in flight (between commands read from\n"
    "  standard input, and while listening) is never added to the next reply: it\n"
    "  becomes a row of its own, ended by a silence longer than the timeout (or\n"
    "  than 200 ms once it ends a line), by the next command or by the end of the\n"
    "  run, and printed as\n"
    "    2026-12-07T16:04:05.012+01:00 unsolicited: <0D><0A>RING<0D><0A>\n"
    "  Times are local, ISO 8601, with milliseconds and the offset from UTC.\n"
    "  With --timestamps a reply line starts with the time and a blank.\n"
    "  With --json each exchange is\n"
    "    {\"command\":\"AT<0D>\",\"sent_at\":\"...\",\"reply\":\"...\",\n"
    "     \"first_byte_ms\":12,\"elapsed_ms\":15,\"end\":\"token\"}\n"
    "  (command and reply in binary text; first_byte_ms null when nothing came; end\n"
    "  one of token, silence, hangup, stopped, limit), and each unsolicited row\n"
    "    {\"unsolicited\":\"<0D><0A>RING<0D><0A>\",\"at\":\"...\"}\n"
    "\n"
    "Exit status:\n"
    "  0  all commands sent and replies read\n"
    "  1  standard input or output failed\n"
    "  2  usage error, the file named by -f cannot be read, or the profile named\n"
    "     by --profile cannot be used\n"
    "  3  the device could not be opened (or connected to)\n"
    "  4  a command could not be written, or not within the timeout (at least 5 s)\n"
    "  5  a reply ended because the device hung up or a read failed (also while\n"
    "     listening; with --reconnect, the device did not come back in time)\n"
    "  6  interrupted (SIGINT, SIGTERM); what had arrived is printed\n"
    "  7  a reply contained a --fail-on text; the run stopped after printing it\n"
    "\n"
    "Examples:\n"
    "  linewright --suffix '<0D>' /dev/ttyUSB0 115200 AT ATI\n"
    "  linewright --suffix '<0D>' --json --fail-on '<0D><0A>ERROR<0D><0A>' \\\n"
    "      -f setup.at /dev/ttyUSB0 115200\n"
    "  linewright --listen 60 /dev/ttyUSB0 115200\n";

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > max) return false;
  *value = v;
  return true;
}

bool ParseUnsigned(const std::string& text, uint32_t* value) {
  uint64_t v = 0;
  if (!ParseUnsigned(text, 0xFFFFFFFFull, &v)) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

// Seconds with up to three decimals ("10", "0.5", "2.125") as milliseconds.
bool ParseSeconds(const std::string& text, int64_t* ms) {
  const size_t dot = text.find('.');
  const std::string whole = text.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  uint64_t seconds = 0;
  uint64_t part = 0;
  if (whole.size() > 9 || !ParseUnsigned(whole, 999999999, &seconds)) return false;
  if (dot != std::string::npos) {
    if (fraction.empty() || fraction.size() > 3 || !ParseUnsigned(fraction, 999, &part)) return false;
    for (size_t i = fraction.size(); i < 3; ++i) part *= 10;
  }
  *ms = static_cast<int64_t>(seconds * 1000 + part);
  return true;
}

}  // namespace

const char* HelpText() { return kHelp; }

bool ParseArguments(int argc, const char* const* argv, Options* options, std::string* error) {
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    // Options come before DEVICE; after it every word is a command, even "-x".
    if (optionsEnded || !positional.empty() || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      options->help = true;
      return true;
    }
    if (arg == "--version") {
      options->version = true;
      return true;
    }
    if (arg == "--json" || arg == "--timestamps") {
      (arg == "--json" ? options->json : options->timestamps) = true;
      continue;
    }
    // Options with a value: "--name VALUE" or "--name=VALUE".
    std::string name = arg;
    std::string value;
    bool hasValue = false;
    const size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    }
    if (name == "-f") name = "--file";
    const bool takesValue =
        name == "--timeout" || name == "--token" || name == "--prefix" || name == "--suffix" ||
        name == "--profile" || name == "--max-bytes" || name == "--file" || name == "--fail-on" ||
        name == "--listen" || name == "--reconnect";
    if (!takesValue) {
      *error = "unknown option '" + arg + "'";
      return false;
    }
    if (!hasValue) {
      if (i + 1 >= argc) {
        *error = "option '" + name + "' needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (name == "--file") {
      if (value.empty()) {
        *error = "option '--file' needs a file name";
        return false;
      }
      options->commandFile = value;
    } else if (name == "--fail-on") {
      if (value.empty()) {
        *error = "option '--fail-on' needs a text";
        return false;
      }
      options->failOn.push_back(Utf8ToUtf16(value));
    } else if (name == "--listen") {
      if (!ParseSeconds(value, &options->listenMs)) {
        *error = "invalid --listen '" + value + "' (seconds, e.g. 10 or 0.5)";
        return false;
      }
    } else if (name == "--profile") {
      if (value.empty()) {
        *error = "option '--profile' needs a profile name";
        return false;
      }
      options->profile = value;
    } else if (name == "--reconnect") {
      uint64_t n = 0;
      if (!ParseUnsigned(value, 24 * 3600, &n) || n == 0) {
        *error = "invalid --reconnect '" + value + "' (seconds, 1 to 86400)";
        return false;
      }
      options->reconnectSeconds = static_cast<uint32_t>(n);
    } else if (name == "--max-bytes") {
      uint64_t n = 0;
      if (!ParseUnsigned(value, uint64_t{1} << 40, &n) || n == 0) {
        *error = "invalid --max-bytes '" + value + "' (1 to 1099511627776)";
        return false;
      }
      options->maxBytes = static_cast<size_t>(n);
    } else if (name == "--timeout") {
      options->timeoutGiven = true;
      if (!ParseUnsigned(value, &options->framing.timeoutMs)) {
        *error = "invalid timeout '" + value + "' (milliseconds, 0 to 4294967295)";
        return false;
      }
    } else if (name == "--token") {
      options->framing.tokens.push_back(Utf8ToUtf16(value));
    } else if (name == "--prefix") {
      options->prefixGiven = true;
      options->framing.prefix = Utf8ToUtf16(value);
    } else {
      options->suffixGiven = true;
      options->framing.suffix = Utf8ToUtf16(value);
    }
  }
  if (positional.size() < 2) {
    *error = positional.empty() ? "missing DEVICE and BAUD" : "missing BAUD";
    return false;
  }
  options->device = positional[0];
  if (!ParseUnsigned(positional[1], &options->baud)) {
    *error = "invalid baud rate '" + positional[1] + "' (a whole number)";
    return false;
  }
  if (!options->commandFile.empty() && positional.size() > 2) {
    *error = "give the commands either on the command line or with -f, not both";
    return false;
  }
  for (size_t i = 2; i < positional.size(); ++i) {
    options->commands.push_back(Utf8ToUtf16(positional[i]));
  }
  return true;
}

bool LoadCommandFile(Options* options, std::string* error) {
  if (options->commandFile.empty()) return true;
  const std::string& path = options->commandFile;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::string text;
  int problem = fd < 0 ? errno : 0;
  char buffer[65536];
  while (problem == 0) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) text.append(buffer, static_cast<size_t>(n));
    else if (n == 0) break;
    else if (errno != EINTR) problem = errno;
  }
  if (fd >= 0) close(fd);
  if (problem != 0) {
    *error = "cannot read the commands in " + path + ": " + std::strerror(problem);
    return false;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    options->commands.push_back(Utf8ToUtf16(line));
  }
  return true;
}

bool ApplyProfile(const PreferenceStore& profiles, Options* options, std::string* error,
                  const std::string& hivePath) {
  if (options->profile.empty()) return true;
  PreferenceProfile profile;
  std::string problem;
  if (!profiles.LoadProfile(Utf8ToUtf16(options->profile), &profile, &problem)) {
    const std::string in = hivePath.empty() ? "" : " in " + hivePath;
    *error = problem.empty() ? "no profile named '" + options->profile + "'" + in
                             : "profile '" + options->profile + "'" + in + " cannot be loaded: " + problem;
    return false;
  }
  const Framing stored = ProfileFraming(profile);
  Framing& framing = options->framing;
  if (!options->prefixGiven) framing.prefix = stored.prefix;
  if (!options->suffixGiven) framing.suffix = stored.suffix;
  if (!options->timeoutGiven) framing.timeoutMs = stored.timeoutMs;
  // A profile without tokens leaves the default tokens.
  if (framing.tokens.empty()) framing.tokens = stored.tokens;
  return true;
}

bool ApplyHandheldProfile(Options* options, std::string* error) {
  if (options->profile.empty()) return true;
  const std::string path = reg::Hive::DefaultHandheldPath();
  std::string reason;
  const std::unique_ptr<reg::Hive> hive = reg::Hive::OpenHandheld(&reason);
  if (hive->GetAccess() == reg::Access::kNone) {
    *error = "cannot read the profiles in " + path + ": " + reason;
    return false;
  }
  return ApplyProfile(PreferenceStore(*hive), options, error, path);
}

namespace {

// One run: the line, what is printed, and the rows of what the device says by itself.
class Session {
 public:
  Session(const Options& options, std::ostream& out, std::ostream& err, int stopFd)
      : options_(options),
        out_(out),
        err_(err),
        stopFd_(stopFd),
        report_(out, options.json, options.timestamps),
        unsolicited_(options.framing.timeoutMs, options.maxBytes),
        failOn_(DecodeAll(options.failOn)) {}

  int Open() {
    const int error = line_.Open(std::string_view(options_.device), options_.baud, stopFd_);
    if (error == 0) return kExitOk;
    if (error == ECANCELED) return kExitInterrupted;
    err_ << "linewright: cannot open " << options_.device << ": " << line_.Reason() << '\n';
    return kExitOpenFailed;
  }

  // Sends |command| and prints its reply as it arrives. What waited on the line before
  // becomes a row of its own first.
  int Exchange(const std::u16string& command) {
    int code = ReadUnsolicited();
    if (code != kExitOk) return code;
    unsolicited_.Flush(UnsolicitedEnd::kCommand, SteadyTickMs());
    if ((code = PrintRows()) != kExitOk) return code;

    ExchangeOptions run;
    run.maxReplyBytes = options_.maxBytes;
    run.keepReply = false;
    const orvane::Exchange* running = nullptr;
    failOn_.Reset();
    run.onBytes = [this, &running](const uint8_t* bytes, size_t length) {
      report_.ReplyBytes(running->Result(), bytes, length);
      failOn_.Feed(bytes, length);
    };
    orvane::Exchange ex(line_, command, options_.framing, std::move(run));
    running = &ex;
    RunToEnd(ex, line_, stopFd_);
    const ExchangeResult& result = ex.Result();
    if (result.writeError != 0) {
      if (result.writeError == ECANCELED) return kExitInterrupted;
      err_ << "linewright: write failed on " << options_.device << ": "
           << (result.writeError == ETIMEDOUT ? "the device took no more bytes in time"
                                              : std::strerror(result.writeError))
           << '\n';
      return kExitWriteFailed;
    }
    report_.EndReply(result);
    if (!out_) return OutputFailed();
    switch (result.end) {
      case ReplyEnd::kStopped: return kExitInterrupted;
      case ReplyEnd::kLimit:
        err_ << "linewright: reply cut at " << result.replyLength << " bytes (--max-bytes)\n";
        break;
      default: break;
    }
    if (failOn_.Found()) {
      err_ << "linewright: the reply to " << Utf16ToUtf8(result.sentText)
           << " holds a --fail-on text\n";
      return kExitFailOn;
    }
    if (result.end == ReplyEnd::kHangup) {
      const int code = HungUp(result.readError);
      // Without --reconnect nothing more can be sent: the run ends here.
      return options_.reconnectSeconds == 0 ? code : Reconnect();
    }
    return kExitOk;
  }

  // Prints what the device says by itself until input waits on |inFd| (-1: none), or
  // |forMs| have passed (-1: no limit). Waits in poll() and wakes only for input, the
  // end of a pending row's silence or the end of the time.
  int Listen(int inFd, int64_t forMs, bool* inputReady) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(forMs < 0 ? 0 : forMs);
    for (;;) {
      int timeout = unsolicited_.MsUntilSilenceEnds(SteadyTickMs());
      if (forMs >= 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) return kExitOk;
        const int capped = static_cast<int>(std::min<int64_t>(left, std::numeric_limits<int>::max()));
        timeout = timeout < 0 ? capped : std::min(timeout, capped);
      }
      pollfd fds[3];
      nfds_t count = 0;
      fds[count++] = {line_.Descriptor(), POLLIN, 0};
      const nfds_t inIndex = count;
      if (inFd >= 0) fds[count++] = {inFd, POLLIN, 0};
      const nfds_t stopIndex = count;
      if (stopFd_ >= 0) fds[count++] = {stopFd_, POLLIN, 0};
      const int ready = poll(fds, count, timeout);
      if (ready < 0 && errno != EINTR) {
        err_ << "linewright: waiting on " << options_.device << " failed: " << std::strerror(errno)
             << '\n';
        return kExitFailure;
      }
      if (ready > 0 && stopFd_ >= 0 && fds[stopIndex].revents != 0) return kExitInterrupted;
      const int code = ReadUnsolicited();
      if (code != kExitOk) return code;
      if (ready > 0 && inFd >= 0 && fds[inIndex].revents != 0) {
        *inputReady = true;
        return kExitOk;
      }
    }
  }

  // Ends the run: a pending row is printed, the line closed.
  int Close(int code) {
    unsolicited_.Flush(UnsolicitedEnd::kClosed, SteadyTickMs());
    const int printed = PrintRows();
    line_.Close();
    return code == kExitOk ? printed : code;
  }

  int OutputFailed() {
    if (!outputFailed_) err_ << "linewright: cannot write to standard output\n";
    outputFailed_ = true;
    return kExitFailure;
  }

 private:
  static StreamSearch DecodeAll(const std::vector<std::u16string>& texts) {
    std::vector<Bytes> needles;
    for (const auto& text : texts) needles.push_back(DecodeBinaryText(text));
    return StreamSearch(std::move(needles));
  }

  int ReadUnsolicited() {
    const long read = orvane::ReadUnsolicited(line_, unsolicited_);
    const int code = PrintRows();
    if (read < 0) return HungUp(static_cast<int>(-read));
    return code;
  }

  int PrintRows() {
    if (!unsolicited_.HasFinished()) return kExitOk;
    for (const UnsolicitedRow& row : unsolicited_.TakeFinished()) report_.Unsolicited(row);
    return out_ ? kExitOk : OutputFailed();
  }

  // Waits up to --reconnect seconds for the device to come back and opens it again.
  int Reconnect() {
    err_ << "linewright: waiting up to " << options_.reconnectSeconds << " s for " << options_.device
         << " to come back\n";
    const int back = Reopen(line_, options_.device, options_.baud, options_.reconnectSeconds, stopFd_);
    if (back == ECANCELED) return kExitInterrupted;
    if (back != 0) {
      err_ << "linewright: " << options_.device << " did not come back within "
           << options_.reconnectSeconds << " s\n";
      return kExitHangup;
    }
    err_ << "linewright: " << options_.device << " is open again\n";
    return kExitOk;
  }

  int HungUp(int readError) {
    err_ << "linewright: " << options_.device;
    if (readError != EIO) err_ << ": read failed: " << std::strerror(readError);
    else if (IsNetworkName(options_.device)) err_ << ": the server closed the connection";
    else err_ << ": the device hung up";
    err_ << '\n';
    return kExitHangup;
  }

  const Options& options_;
  std::ostream& out_;
  std::ostream& err_;
  int stopFd_;
  NamedLine line_;  // a local device or a network port, by name
  Report report_;
  UnsolicitedAssembler unsolicited_;
  StreamSearch failOn_;
  bool outputFailed_ = false;
};

// Sends each line of |inFd| as a command; while it waits for the next line, prints
// what the device says by itself.
int RunInput(Session& session, int inFd, std::ostream& err) {
  std::string pending;
  bool ended = false;
  char buffer[4096];
  for (;;) {
    // Every whole line read so far goes out before the next wait.
    size_t start = 0;
    for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string text = pending.substr(start, end - start);
      if (!text.empty() && text.back() == '\r') text.pop_back();  // CR LF files
      const int code = session.Exchange(Utf8ToUtf16(text));
      if (code != kExitOk) return code;
    }
    pending.erase(0, start);
    if (ended) {
      // A last line without a line feed is a command too.
      return pending.empty() ? kExitOk : session.Exchange(Utf8ToUtf16(pending));
    }
    bool inputReady = false;
    const int code = session.Listen(inFd, -1, &inputReady);
    if (code != kExitOk) return code;
    const ssize_t n = read(inFd, buffer, sizeof buffer);
    if (n > 0) {
      pending.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      ended = true;
    } else if (errno != EINTR && errno != EAGAIN) {
      err << "linewright: cannot read standard input\n";
      return kExitFailure;
    }
  }
}

}  // namespace

int Run(const Options& options, int inFd, std::ostream& out, std::ostream& err, int stopFd) {
  Session session(options, out, err, stopFd);
  int code = session.Open();
  if (code != kExitOk) return code;
  if (!options.commands.empty() || !options.commandFile.empty()) {
    for (const auto& command : options.commands) {
      code = session.Exchange(command);
      if (code != kExitOk) break;
    }
  } else if (options.listenMs < 0 && inFd >= 0) {
    code = RunInput(session, inFd, err);
  }
  if (code == kExitOk && options.listenMs >= 0) {
    bool unused = false;
    code = session.Listen(-1, options.listenMs, &unused);
  }
  return session.Close(code);
}

}  // namespace orvane::linewright
