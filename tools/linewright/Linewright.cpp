#include "tools/linewright/Linewright.h"

#include <errno.h>
#include <poll.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <ostream>

#include "engine/BinaryTextCodec.h"
#include "engine/Journal.h"
#include "engine/NetworkLine.h"
#include "engine/Sequence.h"
#include "engine/SequenceRunner.h"
#include "engine/Session.h"
#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"
#include "tools/linewright/LineReader.h"
#include "tools/linewright/Reconnect.h"
#include "tools/linewright/Report.h"

namespace orvane::linewright {
namespace {

const char kHelp[] =
    "Usage: linewright [OPTION]... DEVICE BAUD [COMMAND]...\n"
    "  or:  linewright [--timestamps|--json] --replay JOURNAL\n"
    "  or:  linewright --watch [OPTION]... DEVICE [BAUD]\n"
    "\n"
    "Opens the serial device DEVICE at BAUD (by default 8 data bits, no parity, one\n"
    "stop bit, DTR and RTS on, no flow control), sends each COMMAND and prints each\n"
    "reply on its own line. Without COMMANDs (and without -f or --listen), each line of\n"
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
    "  -f, --file FILE  run the sequence file FILE, a step a line, as it is read:\n"
    "                   each plain line is a command; blank lines and lines\n"
    "                   starting with '#' are skipped (write a command that starts\n"
    "                   with '#' as <23>..., one with '@' as <40>...); lines\n"
    "                   starting with '@' are the steps below\n"
    "  --fail-on TEXT   stop after the first reply that contains TEXT and exit with\n"
    "                   status 7; repeat for more (e.g. --fail-on\n"
    "                   '<0D><0A>ERROR<0D><0A>'). Without it an ERROR reply is\n"
    "                   printed and the run goes on\n"
    "  --listen SECONDS\n"
    "                   after the commands (or without any), keep the line open for\n"
    "                   SECONDS (e.g. 10 or 0.5) and print what the device sends by\n"
    "                   itself; standard input is then not read for commands\n"
    "  --data-bits N    5, 6, 7 or 8 data bits (default 8)\n"
    "  --parity P       none, even, odd, mark or space (default none)\n"
    "  --stop-bits N    1 or 2 stop bits (default 1)\n"
    "  --flow F         flow control: none, rtscts or xonxoff (default none)\n"
    "  --dtr on|off     hold DTR on or off while the line is open (default on)\n"
    "  --rts on|off     hold RTS on or off (default on; with --flow rtscts the\n"
    "                   device driver works RTS)\n"
    "  --watch          send nothing: attach read-only to the port service holding\n"
    "                   DEVICE and print every row, each client's exchanges and\n"
    "                   what the device says by itself (first the rows the\n"
    "                   service kept from before), until interrupted, the service\n"
    "                   ends (status 5) or --listen's SECONDS are up. No service:\n"
    "                   status 3, unless ORVANE_PORTD=auto starts one (BAUD needed)\n"
    "  --timestamps     start each reply line with the time its command was sent\n"
    "  --json           print one JSON object per line instead (see Output)\n"
    "  --reconnect SECONDS\n"
    "                   when the device hangs up (unplugged), wait up to SECONDS\n"
    "                   for the same DEVICE to come back, open it again and go on\n"
    "                   with the next command (the reply cut by the hang-up is not\n"
    "                   asked again); the wait follows plugging, so a device back\n"
    "                   in time is opened at once. Exit status 5 when it does not\n"
    "                   come back in time\n"
    "  --journal PATH   write every event of the session (open, settings, each\n"
    "                   chunk written and read with its time, rows, hang-up, close)\n"
    "                   to the journal file PATH, appended; when PATH is a folder\n"
    "                   (or ends in '/'), to a new file there for each session,\n"
    "                   the folder kept under 1 GiB by removing the oldest\n"
    "  --replay FILE    print the rows of the journal FILE as they were printed\n"
    "                   live (with --timestamps or --json too); no DEVICE or BAUD\n"
    "  -h, --help       this text\n"
    "  --version        the version\n"
    "\n"
    "Sequence files (-f):\n"
    "  COMMAND                a command, framed as usual; its reply is read\n"
    "  @send COMMAND          the same, for a command starting with '@' or '#'\n"
    "  @raw BYTES             BYTES sent as written (no --prefix, --suffix); reply\n"
    "                         read as usual\n"
    "  @prompt TEXT COMMAND   COMMAND's reply ends as soon as TEXT arrives; the step\n"
    "                         fails when it does not (TEXT with blanks in \"quotes\")\n"
    "  @expect TEXT|/REGEX/   the last reply (or notice waited for) holds TEXT, or a\n"
    "                         line of it matches REGEX (ECMAScript)\n"
    "  @wait TIME TEXT|/REGEX/\n"
    "                         unsolicited data holding TEXT, or a line matching\n"
    "                         REGEX, arrives within TIME (counted from the last\n"
    "                         command's end)\n"
    "  @capture NAME /REGEX/  REGEX's first group (or whole match) in the last reply\n"
    "                         or notice becomes ${NAME} in later steps\n"
    "  @pause TIME            send nothing for TIME\n"
    "  @timeout TIME          the next command's reply ends after TIME of silence\n"
    "  @retry TRIES [TIME]    try the next command (@raw, @prompt, @wait) and the\n"
    "                         @expect and @capture lines after it up to TRIES times,\n"
    "                         TIME apart, until they hold\n"
    "  TIME is seconds (2, 0.05) or 50ms / 2s. Texts and commands are binary text.\n"
    "  A step that fails ends the run with status 8 and a message naming the file,\n"
    "  the line, the step, what it expected and what came. With --json each\n"
    "  exchange has \"line\" and \"step\", and each check a record of its own:\n"
    "    {\"line\":4,\"step\":2,\"check\":\"@expect OK\",\"held\":true}\n"
    "  Example (a text message, waiting for the prompt \"> \"):\n"
    "    AT+CMGF=1\n"
    "    @prompt \"> \" AT+CMGS=\"+15550100\"\n"
    "    @raw Hello<1A>\n"
    "    @expect +CMGS:\n"
    "\n"
    "DEVICE is a path such as /dev/ttyUSB0, or COMn: for /dev/ttyS<n-1>, or a\n"
    "serial port on another machine: rfc2217://HOST:PORT (a serial server such as\n"
    "ser2net with RFC 2217: it sets the port to BAUD and the settings above) or\n"
    "tcp://HOST:PORT (raw bytes). HOST is a name, an IPv4 address or an IPv6\n"
    "address in brackets, e.g. rfc2217://[::1]:3001. A closed connection is a\n"
    "hang-up (status 5).\n"
    "\n"
    "A port that a port service (orvane-portd) holds is used through it, with no\n"
    "option: each reply is this run's own, the rest works as on the line, and\n"
    "what the device said by itself before the run (as far as the service kept\n"
    "it) is printed first. With ORVANE_PORTD=auto in the environment a service is\n"
    "started for a port that has none; ORVANE_PORTD=off opens the port directly.\n"
    "A service holding the port at another baud rate or with other settings keeps\n"
    "its own; a warning on standard error says so.\n"
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
    "  A row the program can explain also has \"notes\": a list of short texts, such\n"
    "  as \"+CME ERROR 10: SIM not inserted\" or a short message in PDU mode decoded\n"
    "  (\"text (GSM 7-bit): hellohello\"); a row with none has no \"notes\".\n"
    "  A row a port service kept from before the run has \"replayed\":true.\n"
    "\n"
    "Journal:\n"
    "  UTF-8 text, one event a line: local ISO 8601 time with microseconds, a\n"
    "  mark and its text, e.g.\n"
    "    2026-12-07T16:04:05.012345+01:00 < <0D><0A>OK<0D><0A>\n"
    "  Marks: open (baud, device), settings, [ (a row began: exchange or\n"
    "  unsolicited), cmd and sent (its command as typed and as sent), > and <\n"
    "  (bytes written and read, in binary text; >+ and <+ continue a chunk split\n"
    "  every 128 bytes), ] (a row ended: how, bytes=, first=, elapsed=, at=,\n"
    "  error=), hangup, close. Lines starting with '#' are comments.\n"
    "\n"
    "Exit status:\n"
    "  0  all commands sent and replies read\n"
    "  1  standard input or output failed\n"
    "  2  usage error, the file named by -f or --replay cannot be read, the -f file\n"
    "     has a mistake (its line is named), a line of commands (in that file or on\n"
    "     standard input) is longer than 1 MiB, or the profile named by --profile\n"
    "     cannot be used\n"
    "  3  the device could not be opened (or connected to); with --watch, no port\n"
    "     service holds it (or attaching to it failed)\n"
    "  4  a command could not be written, or not within the timeout (at least 5 s)\n"
    "  5  a reply ended because the device hung up or a read failed (also while\n"
    "     listening; with --reconnect, the device did not come back in time; with\n"
    "     --watch, the port service ended)\n"
    "  6  interrupted (SIGINT, SIGTERM); what had arrived is printed\n"
    "  7  a reply contained a --fail-on text; the run stopped after printing it\n"
    "  8  a step of the sequence file (-f) did not get what it expected\n"
    "\n"
    "Examples:\n"
    "  linewright --suffix '<0D>' /dev/ttyUSB0 115200 AT ATI\n"
    "  linewright --suffix '<0D>' --json --fail-on '<0D><0A>ERROR<0D><0A>' \\\n"
    "      -f setup.at /dev/ttyUSB0 115200\n"
    "  linewright --listen 60 /dev/ttyUSB0 115200\n"
    "  linewright --journal ~/serial-logs/ --suffix '<0D>' /dev/ttyUSB0 115200 ATI\n"
    "  linewright --json --replay ~/serial-logs/20261208-030506-ttyUSB0.journal\n"
    "  linewright --watch --timestamps /dev/ttyUSB0\n";

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t* value) {
  return ParseWholeNumber(text, max, value);
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
    if (arg == "--json" || arg == "--timestamps" || arg == "--watch") {
      (arg == "--json" ? options->json : arg == "--watch" ? options->watch : options->timestamps) = true;
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
        name == "--listen" || name == "--reconnect" || name == "--data-bits" || name == "--parity" ||
        name == "--stop-bits" || name == "--flow" || name == "--dtr" || name == "--rts" ||
        name == "--journal" || name == "--replay";
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
    if (name == "--data-bits" || name == "--stop-bits") {
      const bool data = name == "--data-bits";
      uint64_t n = 0;
      if (!ParseUnsigned(value, 8, &n) || (data ? n < 5 : (n != 1 && n != 2))) {
        *error = "invalid " + name + " '" + value + "' (" + (data ? "5, 6, 7 or 8" : "1 or 2") + ")";
        return false;
      }
      (data ? options->line.dataBits : options->line.stopBits) = static_cast<uint8_t>(n);
    } else if (name == "--parity") {
      if (!ParseParity(value, &options->line.parity)) {
        *error = "invalid --parity '" + value + "' (none, even, odd, mark or space)";
        return false;
      }
    } else if (name == "--flow") {
      if (!ParseFlow(value, &options->line.flow)) {
        *error = "invalid --flow '" + value + "' (none, rtscts or xonxoff)";
        return false;
      }
    } else if (name == "--dtr" || name == "--rts") {
      if (value != "on" && value != "off") {
        *error = "invalid " + name + " '" + value + "' (on or off)";
        return false;
      }
      (name == "--dtr" ? options->line.dtr : options->line.rts) = value == "on";
    } else if (name == "--journal" || name == "--replay") {
      if (value.empty()) {
        *error = "option '" + name + "' needs a file name";
        return false;
      }
      (name == "--journal" ? options->journal : options->replay) = value;
    } else if (name == "--file") {
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
  if (!options->replay.empty()) {
    if (!positional.empty() || !options->journal.empty() || !options->commandFile.empty() || options->watch) {
      *error = "--replay takes no DEVICE, BAUD, commands, -f, --journal or --watch";
      return false;
    }
    return true;
  }
  if (options->watch && (positional.size() > 2 || !options->commandFile.empty() || options->reconnectSeconds != 0)) {
    *error = "--watch sends nothing: it takes no COMMANDs, -f or --reconnect";
    return false;
  }
  if (positional.size() < (options->watch ? 1u : 2u)) {
    *error = positional.empty() ? (options->watch ? "missing DEVICE" : "missing DEVICE and BAUD") : "missing BAUD";
    return false;
  }
  options->device = positional[0];
  if (positional.size() > 1 && !ParseUnsigned(positional[1], &options->baud)) {
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

SessionOptions SessionOptionsFor(const Options& options) {
  SessionOptions session;
  session.maxReplyBytes = options.maxBytes;
  // Replies are printed as they arrive: however long one is, the run holds none of it.
  session.keepReplies = false;
  session.unsolicitedSilenceMs = options.framing.timeoutMs;
  session.watchOnly = options.watch;
  return session;
}

std::vector<Bytes> DecodeAll(const std::vector<std::u16string>& texts) {
  std::vector<Bytes> decoded;
  for (const auto& text : texts) decoded.push_back(DecodeBinaryText(text));
  return decoded;
}

// One run: the session on the line, its printer and its --fail-on search, and what each
// event means for the run's exit status.
class Runner : public SessionObserver {
 public:
  Runner(const Options& options, std::ostream& out, std::ostream& err, int stopFd)
      : options_(options),
        out_(out),
        err_(err),
        stopFd_(stopFd),
        report_(out, options.json, options.timestamps),
        failOn_(DecodeAll(options.failOn)),
        session_(SessionOptionsFor(options)) {
    // The journal first: a byte is in it before it is printed.
    if (!options.journal.empty()) {
      JournalOptions journal;
      journal.path = options.journal;
      journal.onProblem = [this](const std::string& message) { err_ << "linewright: " << message << '\n'; };
      journal_ = std::make_unique<JournalWriter>(std::move(journal));
      session_.AddObserver(journal_.get());
    }
    session_.AddObserver(&report_);
    session_.AddObserver(&failOn_);
    session_.AddObserver(this);
  }

  int Open() {
    const int error = session_.Open(options_.device, options_.baud, stopFd_, options_.line);
    if (error == ECANCELED) return kExitInterrupted;
    if (error != 0) {
      err_ << "linewright: cannot " << (options_.watch ? "watch " : "open ") << options_.device << ": "
           << session_.Reason() << '\n';
      return kExitOpenFailed;
    }
    if (const std::string warning = session_.SharedSettingsWarning(); !warning.empty())
      err_ << "linewright: warning: " << warning << '\n';
    opened_ = true;
    return kExitOk;
  }
  bool Opened() const { return opened_; }

  // Sends |command| and lets the printer show its reply as it arrives. What waited on the
  // line before becomes a row of its own first.
  int Exchange(const std::u16string& command) {
    // Not sent: the device hung up while the line was idle.
    if (!session_.Send(command, options_.framing)) return HungUp(session_.HangupError());
    if (RunUntil(session_, [this] { return !session_.Busy(); }, -1, stopFd_) == RunEnd::kPollFailed) {
      const int error = errno;
      session_.Stop();
      return WaitFailed(error);
    }
    return Ended(lastExchange_);
  }

  // What an exchange's end means for the run: kExitOk to go on.
  int Ended(const Row& row) {
    if (row.end == ReplyEnd::kWriteFailed) {
      if (row.error == ECANCELED) return kExitInterrupted;
      err_ << "linewright: write failed on " << options_.device << ": "
           << (row.error == ETIMEDOUT ? "the device took no more bytes in time" : std::strerror(row.error))
           << '\n';
      return kExitWriteFailed;
    }
    if (!out_) return OutputFailed();
    switch (row.end) {
      case ReplyEnd::kStopped: return kExitInterrupted;
      case ReplyEnd::kLimit:
        err_ << "linewright: reply cut at " << row.replyLength << " bytes (--max-bytes)\n";
        break;
      default: break;
    }
    if (failOn_.Found()) {
      err_ << "linewright: the reply to " << Utf16ToUtf8(row.sent) << " holds a --fail-on text\n";
      return kExitFailOn;
    }
    if (row.end == ReplyEnd::kHangup) {
      const int code = HungUp(row.error);
      // Without --reconnect nothing more can be sent: the run ends here.
      return options_.reconnectSeconds == 0 ? code : Reconnect();
    }
    return kExitOk;
  }

  // Sends each line of standard input (|reader|) as a command, opening the line first.
  // While it waits for more input, what the device says by itself is printed.
  int SendLines(LineReader& reader) {
    std::string line;
    for (;;) {
      switch (reader.Take(&line)) {
        case LineReader::Status::kLine: {
          const int code = Exchange(Utf8ToUtf16(line));
          if (code != kExitOk) return code;
          continue;
        }
        case LineReader::Status::kEnd: return kExitOk;
        case LineReader::Status::kTooLong: return TooLong(reader, "standard input");
        default: break;  // more to read
      }
      const int code = WaitForInput(reader.Descriptor());
      if (code != kExitOk) return code;
      if (reader.Fill() == LineReader::Status::kFailed) {
        err_ << "linewright: cannot read standard input\n";
        return kExitFailure;
      }
    }
  }

  // Runs the sequence file |name| read through |reader| step by step as it is read. The
  // line is opened for its first step. A file that can be read whole is checked whole
  // before, so a mistake in it is reported before anything is sent.
  int RunSequence(LineReader& reader, const std::string& name) {
    if (const int code = CheckSequence(name); code != kExitOk) return code;
    SequenceParser parser;
    SequenceRunner runner(session_, options_.framing);
    int ended = kExitOk;
    runner.exchangeEnded = [this, &ended](const Row& row) { return (ended = Ended(row)) == kExitOk; };
    runner.onStepBegun = [this](const Step& step) { report_.SetStep(step.line, step.number); };
    runner.onChecked = [this](const Step& step, bool held) { report_.Checked(step.line, step.number, step.source, held); };
    std::string line;
    SequenceError error;
    for (;;) {
      switch (runner.Advance()) {
        case SequenceState::kDone: return out_ ? kExitOk : OutputFailed();
        case SequenceState::kFailed: {
          const SequenceFailure& failure = runner.Failure();
          if (failure.declined) return ended;
          if (failure.hungUp) return HungUp(session_.HangupError());
          err_ << "linewright: " << DescribeFailure(name, failure) << '\n';
          return kExitExpectFailed;
        }
        case SequenceState::kStopped: return kExitInterrupted;
        case SequenceState::kRunning:
          switch (DriveSequence(runner, session_, stopFd_)) {
            case RunEnd::kStop: return kExitInterrupted;
            case RunEnd::kPollFailed: return WaitFailed(errno);
            case RunEnd::kLineEnded: return HungUp(session_.HangupError());
            default: break;
          }
          if (!out_) return OutputFailed();
          continue;
        case SequenceState::kNeedStep: break;
      }
      Step step;
      switch (reader.Take(&line)) {
        case LineReader::Status::kLine:
          switch (parser.Take(line, reader.LineNumber(), &step, &error)) {
            case SequenceParser::Result::kError: return BadStep(name, error);
            case SequenceParser::Result::kNone: continue;
            case SequenceParser::Result::kStep: break;
          }
          if (!opened_) {
            if (const int code = Open(); code != kExitOk) return code;
          }
          runner.Add(std::move(step));
          continue;
        case LineReader::Status::kEnd:
          if (!parser.End(&error)) return BadStep(name, error);
          runner.Finish();
          continue;
        case LineReader::Status::kTooLong: return TooLong(reader, name);
        default: break;  // more to read
      }
      if (const int code = WaitForInput(reader.Descriptor()); code != kExitOk) return code;
      if (reader.Fill() == LineReader::Status::kFailed) return FileUnreadable(name, reader.Error());
    }
  }

  int TooLong(const LineReader& reader, const std::string& name) {
    err_ << "linewright: line " << reader.LineNumber() << " of " << name << " is longer than 1 MiB ("
         << LineReader::kMaxLineBytes << " bytes)\n";
    return kExitUsage;
  }

  int BadStep(const std::string& name, const SequenceError& error) {
    err_ << "linewright: " << name << ":" << error.line << ": " << error.message << '\n';
    return kExitUsage;
  }

  // A regular file is read once through before it runs, for its mistakes.
  int CheckSequence(const std::string& name) {
    struct stat info {};
    if (stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return kExitOk;
    int error = 0;
    const std::unique_ptr<LineReader> reader = LineReader::OpenFile(name, &error);
    if (!reader) return FileUnreadable(name, error);
    SequenceParser parser;
    SequenceError problem;
    std::string line;
    Step step;
    for (;;) {
      switch (reader->Take(&line)) {
        case LineReader::Status::kLine:
          if (parser.Take(line, reader->LineNumber(), &step, &problem) == SequenceParser::Result::kError)
            return BadStep(name, problem);
          continue;
        case LineReader::Status::kEnd: return parser.End(&problem) ? kExitOk : BadStep(name, problem);
        case LineReader::Status::kTooLong: return TooLong(*reader, name);
        case LineReader::Status::kFailed: return FileUnreadable(name, reader->Error());
        case LineReader::Status::kMore:
          if (reader->Fill() == LineReader::Status::kFailed) return FileUnreadable(name, reader->Error());
          continue;
      }
    }
  }

  int FileUnreadable(const std::string& name, int error) {
    err_ << "linewright: cannot read the commands in " << name << ": " << std::strerror(error) << '\n';
    return kExitUsage;
  }

  // Prints what the device says by itself until input waits on |inFd| (-1: none), or
  // |forMs| have passed (-1: no limit).
  int Listen(int inFd, int64_t forMs) {
    switch (RunUntil(session_, [this] { return !out_; }, forMs, stopFd_, inFd)) {
      case RunEnd::kDone: return OutputFailed();
      case RunEnd::kStop: return kExitInterrupted;
      case RunEnd::kLineEnded: return HungUp(session_.HangupError());
      case RunEnd::kPollFailed: return WaitFailed(errno);
      default: return kExitOk;
    }
  }

  // Ends the run: the pending row is printed, the line closed.
  int Close(int code) {
    session_.Close();
    if (code != kExitOk) return code;
    return out_ ? kExitOk : OutputFailed();
  }

  void OnRowEnded(const Row& row) override {
    if (!row.Unsolicited()) lastExchange_ = row;
  }

 private:
  // Waits for more input on |fd|; once the line is open, what the device says meanwhile
  // is printed.
  int WaitForInput(int fd) {
    if (opened_) return Listen(fd, -1);
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    while (poll(fds, 2, -1) < 0 && errno == EINTR) {
    }
    return fds[1].revents != 0 ? kExitInterrupted : kExitOk;
  }

  // Waits up to --reconnect seconds for the device to come back and opens it again.
  int Reconnect() {
    err_ << "linewright: waiting up to " << options_.reconnectSeconds << " s for " << options_.device
         << " to come back\n";
    const int back = Reopen(session_, options_.reconnectSeconds, stopFd_);
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
    const std::string failure = session_.Failure();
    if (!failure.empty()) err_ << ": " << failure;
    else if (readError != EIO) err_ << ": read failed: " << std::strerror(readError);
    else if (IsNetworkName(options_.device)) err_ << ": the server closed the connection";
    else err_ << ": the device hung up";
    err_ << '\n';
    return kExitHangup;
  }

  int WaitFailed(int error) {
    err_ << "linewright: waiting on " << options_.device << " failed: " << std::strerror(error) << '\n';
    return kExitFailure;
  }

  int OutputFailed() {
    if (!outputFailed_) err_ << "linewright: cannot write to standard output\n";
    outputFailed_ = true;
    return kExitFailure;
  }

  const Options& options_;
  std::ostream& out_;
  std::ostream& err_;
  int stopFd_;
  std::unique_ptr<JournalWriter> journal_;
  Report report_;
  ReplySearch failOn_;
  Session session_;
  bool opened_ = false;
  bool outputFailed_ = false;
  Row lastExchange_;  // the exchange ended last, without its reply's bytes
};

}  // namespace

int Replay(const Options& options, std::ostream& out, std::ostream& err) {
  Report report(out, options.json, options.timestamps);
  JournalReader reader(report);
  std::string error;
  if (!reader.ReadFile(options.replay, &error)) {
    err << "linewright: " << error << '\n';
    return kExitUsage;
  }
  if (reader.BadLines() != 0)
    err << "linewright: " << options.replay << ": " << reader.BadLines()
        << (reader.BadLines() == 1 ? " line is not a journal line and was" : " lines are not journal lines and were")
        << " skipped (the first is line " << reader.FirstBadLine() << ")\n";
  out.flush();
  return out ? kExitOk : kExitFailure;
}

int Run(const Options& options, int inFd, std::ostream& out, std::ostream& err, int stopFd) {
  Runner run(options, out, err, stopFd);
  int code = kExitOk;
  if (!options.commandFile.empty()) {
    int error = 0;
    const std::unique_ptr<LineReader> file = LineReader::OpenFile(options.commandFile, &error);
    if (!file) return run.FileUnreadable(options.commandFile, error);
    // The file is read as the run goes; the line is opened for its first step, so a
    // file that cannot be read, or a mistake before that step, is refused first.
    code = run.RunSequence(*file, options.commandFile);
    if (code == kExitOk && !run.Opened()) code = run.Open();  // a file without commands
  } else if ((code = run.Open()) == kExitOk) {
    if (options.watch) {
      // Every row is printed until the service ends (a hang-up) or the run is stopped.
      if (options.listenMs < 0) code = run.Listen(-1, -1);
    } else if (!options.commands.empty()) {
      for (const auto& command : options.commands) {
        code = run.Exchange(command);
        if (code != kExitOk) break;
      }
    } else if (options.listenMs < 0 && inFd >= 0) {
      LineReader input(inFd);
      code = run.SendLines(input);
    }
  }
  if (code == kExitOk && options.listenMs >= 0) code = run.Listen(-1, options.listenMs);
  return run.Close(code);
}

}  // namespace orvane::linewright
