#include "tools/linewright/Linewright.h"

#include <errno.h>

#include <cstring>
#include <istream>
#include <memory>
#include <ostream>

#include "engine/BinaryTextCodec.h"
#include "engine/Exchange.h"
#include "engine/LineFactory.h"
#include "engine/NetworkLine.h"
#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"

namespace orvane::linewright {
namespace {

const char kHelp[] =
    "Usage: linewright [OPTION]... DEVICE BAUD [COMMAND]...\n"
    "\n"
    "Opens the serial device DEVICE at BAUD (8 data bits, no parity, one stop bit,\n"
    "DTR and RTS on, no flow control), sends each COMMAND and prints each reply on\n"
    "its own line. Without COMMANDs, each line of standard input is one command.\n"
    "A reply ends when an end-of-response token has arrived and the line falls idle,\n"
    "or when the line has been silent for longer than the timeout.\n"
    "\n"
    "Commands, tokens and replies are binary text (UTF-8): printable characters\n"
    "stand for themselves, any byte can be written <XX> in hex, and a literal '<'\n"
    "or '>' is doubled. A carriage return is <0D>; nothing is added to a command\n"
    "unless --prefix or --suffix says so.\n"
    "\n"
    "  --timeout MS     silence that ends a reply, in milliseconds (default 3000)\n"
    "  --token TEXT     an end-of-response token; repeat for more. Default:\n"
    "                   <0D><0A>OK<0D><0A> and <0D><0A>ERROR<0D><0A>\n"
    "  --prefix TEXT    put TEXT before every command\n"
    "  --suffix TEXT    put TEXT after every command (e.g. --suffix '<0D>')\n"
    "  --profile NAME   frame commands as OrvanePort does with its stored profile\n"
    "                   NAME: its prefix, suffix, timeout and tokens (the options\n"
    "                   above, when given too, win over the profile's values)\n"
    "  --max-bytes N    cut a reply at N bytes (default 16777216); the cut is\n"
    "                   reported on standard error\n"
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
    "Replies are printed as they arrive, each ended by a line feed.\n"
    "\n"
    "Exit status:\n"
    "  0  all commands sent and replies read\n"
    "  1  standard input or output failed\n"
    "  2  usage error, or the profile named by --profile cannot be used\n"
    "  3  the device could not be opened (or connected to)\n"
    "  4  a command could not be written, or not within the timeout (at least 5 s)\n"
    "  5  a reply ended because the device hung up or a read failed\n"
    "  6  interrupted (SIGINT, SIGTERM); what had arrived is printed\n"
    "\n"
    "Example:\n"
    "  linewright --suffix '<0D>' /dev/ttyUSB0 115200 AT ATI\n";

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
    const bool takesValue =
        name == "--timeout" || name == "--token" || name == "--prefix" || name == "--suffix" ||
        name == "--profile" || name == "--max-bytes";
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
    if (name == "--profile") {
      if (value.empty()) {
        *error = "option '--profile' needs a profile name";
        return false;
      }
      options->profile = value;
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

int Run(const Options& options, std::istream& in, std::ostream& out, std::ostream& err,
        int stopFd) {
  NamedLine line;
  if (line.Open(std::string_view(options.device), options.baud) != 0) {
    err << "linewright: cannot open " << options.device << ": " << line.Reason() << '\n';
    return kExitOpenFailed;
  }

  // One exchange; the reply is printed as it arrives and nothing of it is kept.
  auto exchange = [&](const std::u16string& command) -> int {
    ExchangeOptions run;
    run.maxReplyBytes = options.maxBytes;
    run.keepReply = false;
    std::string text;
    run.onBytes = [&out, &text](const uint8_t* bytes, size_t length) {
      text.clear();
      AppendBinaryTextUtf8(bytes, length, &text);
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
    };
    Exchange ex(line, command, options.framing, std::move(run));
    RunToEnd(ex, line, stopFd);
    const ExchangeResult& result = ex.Result();
    if (result.writeError != 0) {
      if (result.writeError == ECANCELED) return kExitInterrupted;
      err << "linewright: write failed on " << options.device << ": "
          << (result.writeError == ETIMEDOUT ? "the device took no more bytes in time"
                                             : std::strerror(result.writeError))
          << '\n';
      return kExitWriteFailed;
    }
    out << '\n';
    out.flush();
    if (!out) {
      err << "linewright: cannot write to standard output\n";
      return kExitFailure;
    }
    switch (result.end) {
      case ReplyEnd::kStopped: return kExitInterrupted;
      case ReplyEnd::kHangup:
        // Nothing more can be sent: the run ends here.
        err << "linewright: " << options.device;
        if (result.readError != EIO) err << ": read failed: " << std::strerror(result.readError);
        else if (IsNetworkName(options.device)) err << ": the server closed the connection";
        else err << ": the device hung up";
        err << '\n';
        return kExitHangup;
      case ReplyEnd::kLimit:
        err << "linewright: reply cut at " << result.replyLength << " bytes (--max-bytes)\n";
        break;
      default: break;
    }
    return kExitOk;
  };

  int result = kExitOk;
  if (!options.commands.empty()) {
    for (const auto& command : options.commands) {
      result = exchange(command);
      if (result != kExitOk) break;
    }
  } else {
    std::string text;
    while (std::getline(in, text)) {
      if (!text.empty() && text.back() == '\r') text.pop_back();  // CR LF files
      result = exchange(Utf8ToUtf16(text));
      if (result != kExitOk) break;
    }
    if (result == kExitOk && in.bad()) {
      err << "linewright: cannot read standard input\n";
      result = kExitFailure;
    }
  }
  line.Close();
  return result;
}

}  // namespace orvane::linewright
