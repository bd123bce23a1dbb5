#include "tools/linewright/Linewright.h"

#include <errno.h>

#include <cstring>
#include <istream>
#include <ostream>

#include "engine/BinaryTextCodec.h"
#include "engine/SerialLine.h"
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
    "  -h, --help       this text\n"
    "  --version        the version\n"
    "\n"
    "DEVICE is a path such as /dev/ttyUSB0, or COMn: for /dev/ttyS<n-1>.\n"
    "\n"
    "Exit status: 0 all commands sent and replies read; 1 standard input or output\n"
    "failed; 2 usage error; 3 the device could not be opened; 4 a command could not\n"
    "be written.\n"
    "\n"
    "Example:\n"
    "  linewright --suffix '<0D>' /dev/ttyUSB0 115200 AT ATI\n";

bool ParseUnsigned(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFull) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

std::string OpenFailureMessage(const std::string& device, int code) {
  std::string message = "linewright: cannot open " + device + ": " + std::strerror(code);
  if (code == EACCES) message += " (is your user in the 'dialout' group?)";
  if (code == EBUSY) message += " (another program holds the port)";
  return message;
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
        name == "--profile";
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
    } else if (name == "--timeout") {
      options->timeoutGiven = true;
      if (!ParseUnsigned(value, &options->timeoutMs)) {
        *error = "invalid timeout '" + value + "' (milliseconds, 0 to 4294967295)";
        return false;
      }
    } else if (name == "--token") {
      options->tokens.push_back(Utf8ToUtf16(value));
    } else if (name == "--prefix") {
      options->prefixGiven = true;
      options->prefix = Utf8ToUtf16(value);
    } else {
      options->suffixGiven = true;
      options->suffix = Utf8ToUtf16(value);
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

bool ApplyProfile(Options* options, std::string* error) {
  if (options->profile.empty()) return true;
  PreferenceProfile profile;
  if (!PreferenceStore::LoadProfile(Utf8ToUtf16(options->profile), &profile)) {
    *error = "no profile named '" + options->profile + "' in " + reg::Hive::DefaultHandheldPath();
    return false;
  }
  if (!options->prefixGiven) options->prefix = profile.prefix;
  if (!options->suffixGiven) options->suffix = profile.suffix;
  if (!options->timeoutGiven) {
    // Seconds to milliseconds as the send flow does; kept inside the 32-bit range.
    const int64_t ms = static_cast<int64_t>(profile.timeout) * 1000;
    options->timeoutMs = static_cast<uint32_t>(ms < 0 ? 0 : ms > 0xFFFFFFFFll ? 0xFFFFFFFFll : ms);
  }
  // A profile without tokens leaves the default tokens.
  if (options->tokens.empty())
    options->tokens.assign(profile.tokens.begin(), profile.tokens.begin() + profile.tokenCount);
  return true;
}

int Run(const Options& given, std::istream& in, std::ostream& out, std::ostream& err) {
  Options options = given;
  std::string profileError;
  if (!ApplyProfile(&options, &profileError)) {
    err << "linewright: " << profileError << '\n';
    return kExitUsage;
  }
  SerialLine line;
  const int openError = line.Open(Utf8ToUtf16(options.device), options.baud);
  if (openError != 0) {
    err << OpenFailureMessage(options.device, openError) << '\n';
    return kExitOpenFailed;
  }
  const std::u16string* tokens = options.tokens.empty() ? nullptr : options.tokens.data();
  const int tokenCount = static_cast<int>(options.tokens.size());

  // One exchange, as the screen's send flow does it.
  auto exchange = [&](const std::u16string& command) -> int {
    const Bytes bytes = DecodeBinaryText(options.prefix + command + options.suffix);
    const int writeError = line.Write(bytes.data(), bytes.size());
    if (writeError != 0) {
      err << "linewright: write failed on " << options.device << ": " << std::strerror(writeError)
          << '\n';
      return kExitWriteFailed;
    }
    std::u16string reply;
    line.ReadResponseText(options.timeoutMs, tokens, tokenCount, &reply);
    out << Utf16ToUtf8(reply) << '\n';
    out.flush();
    if (!out) {
      err << "linewright: cannot write to standard output\n";
      return kExitFailure;
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
