#include "tools/orvane-portd/Portd.h"

#include <iostream>
#include <vector>

#include "engine/Journal.h"
#include "engine/service/PortProtocol.h"
#include "tools/linewright/Linewright.h"

namespace orvane::portd {
namespace {

const char kHelp[] =
    "Usage: orvane-portd [OPTION]... DEVICE BAUD\n"
    "\n"
    "Opens DEVICE at BAUD and shares it: linewright, OrvanePort and any program that\n"
    "speaks the protocol below send their commands through this service, one\n"
    "exchange at a time, and each gets only the replies to its own commands. What\n"
    "the device says by itself goes to every client, and the last rows (about 1 MiB)\n"
    "are given to a client that attaches, so it also sees what came before it. Runs\n"
    "in the foreground until no client has been attached for the linger time, the\n"
    "device hangs up, or SIGINT or SIGTERM.\n"
    "\n"
    "linewright and OrvanePort go through the service of a port without being told:\n"
    "opening DEVICE (by the same path, a /dev/serial/by-id link to it, or the same\n"
    "URL) reaches the service when one holds it. With ORVANE_PORTD=auto in their\n"
    "environment they start one themselves for a port that has none (it ends the\n"
    "linger time after its last client); ORVANE_PORTD=off makes them open the port\n"
    "directly.\n"
    "\n"
    "Options:\n"
    "  --linger SECONDS  end this long after the last client left (default 10)\n"
    "  --stay            never end for want of clients\n"
    "  --journal PATH    write the session journal (every byte each way, with its\n"
    "                    time; see linewright --journal) to the file or folder PATH\n"
    "                    (default: the folder $XDG_STATE_HOME/orvane-port-linewright/\n"
    "                    journal/, where OrvanePort keeps its own)\n"
    "  --no-journal      write no journal\n"
    "  --unit            DEVICE is the instance of the systemd unit as %I gives\n"
    "                    it: a name that is no URL gets a leading '/'\n"
    "  --ready-fd N      write \"ready\" to descriptor N once listening, or the reason\n"
    "                    why not, and close it (used by clients that start a service)\n"
    "  --data-bits N, --parity P, --stop-bits N, --flow F, --dtr on|off,\n"
    "  --rts on|off      the line settings, as linewright takes them\n"
    "  -h, --help        this text\n"
    "  --version         the version\n"
    "\n"
    "DEVICE is a path such as /dev/ttyUSB0, rfc2217://HOST:PORT or tcp://HOST:PORT.\n"
    "\n"
    "Socket:\n"
    "  $XDG_RUNTIME_DIR/orvane-port-linewright/NAME.sock (mode 0600, the folder 0700;\n"
    "  a connection from another user is refused). NAME is the device a local path\n"
    "  leads to, or the URL, escaped as systemd-escape does (/dev/ttyUSB0 gives\n"
    "  dev-ttyUSB0), so it is also the instance of the systemd user unit\n"
    "  orvane-portd@.service, which keeps the service running, e.g.\n"
    "    systemctl --user enable --now orvane-portd@dev-ttyUSB0\n"
    "  (its baud rate, 115200 unless told, and options come from\n"
    "  ~/.config/orvane-port-linewright/portd-NAME.conf: BAUD=9600, OPTIONS=...).\n"
    "\n"
    "Protocol:\n"
    "  One JSON object per line each way; bytes are binary text (<0D> for a\n"
    "  carriage return). A client sends:\n"
    "    {\"op\":\"attach\",\"read_only\":false,\"stream\":false,\n"
    "     \"replay\":true}\n"
    "    {\"op\":\"send\",\"id\":1,\"command\":\"AT\",\"suffix\":\"<0D>\",\n"
    "     \"prefix\":\"\",\"timeout_ms\":3000,\"tokens\":[]}\n"
    "    {\"op\":\"stop\",\"id\":1}\n"
    "    {\"op\":\"break\",\"id\":2,\"ms\":250}\n"
    "    {\"op\":\"status\"}\n"
    "    {\"op\":\"bye\"}\n"
    "  attach comes first and is answered by {\"event\":\"attached\",...} with the\n"
    "  device, the baud rate and the clients attached, then the rows kept from\n"
    "  before, each {\"event\":\"row\",\"replay\":true,...}, and\n"
    "  {\"event\":\"replayed\",\"rows\":N}. send queues a command (no tokens: the\n"
    "  default ones); stop ends it, or takes it from the queue; break sends a\n"
    "  break between exchanges, in turn, answered by {\"event\":\"break\",...} with\n"
    "  its error (0: sent); status tells the device, the clients and the commands\n"
    "  waiting; bye leaves.\n"
    "  Events: begun (a row began; \"id\" on the sender's own), ended (the row:\n"
    "  kind, command, sent, sent_at_ms, first_byte_ms, elapsed_ms, end, error,\n"
    "  reply_length and reply), clients (the count changed), hangup, closed,\n"
    "  dropped, error. With \"stream\":true the reply's bytes come as read events\n"
    "  ({\"event\":\"read\",\"kind\":...,\"bytes\":...,\"at_us\":...}), the command's as\n"
    "  written events, and ended carries no reply. A read-only client gets every\n"
    "  client's rows and cannot send. A client that does not read what it is sent\n"
    "  (8 MiB waiting) is dropped; one that sends faster than its commands run is\n"
    "  not read while 256 of them wait. By hand:\n"
    "    socat - UNIX-CONNECT:$XDG_RUNTIME_DIR/orvane-port-linewright/NAME.sock\n"
    "\n"
    "Exit status:\n"
    "  0  no client for the linger time, or SIGINT/SIGTERM\n"
    "  1  waiting failed\n"
    "  2  usage error\n"
    "  3  the port could not be opened, or the socket not made (another service\n"
    "     holds the port, XDG_RUNTIME_DIR is not set)\n"
    "  5  the device hung up\n"
    "\n"
    "Examples:\n"
    "  orvane-portd /dev/ttyUSB0 115200 &\n"
    "  linewright --suffix '<0D>' /dev/ttyUSB0 115200 ATI      # through the service\n"
    "  ORVANE_PORTD=auto OrvanePort /dev/ttyUSB0 115200\n";

bool LineOption(const std::string& name) {
  return name == "--data-bits" || name == "--parity" || name == "--stop-bits" || name == "--flow" || name == "--dtr" ||
         name == "--rts";
}

bool Whole(const std::string& text, int64_t max, int64_t* value) {
  if (text.empty() || text.size() > 12) return false;
  int64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > max) return false;
  *value = v;
  return true;
}

}  // namespace

const char* HelpText() { return kHelp; }

std::vector<std::unique_ptr<SessionObserver>> SessionObservers(const Options& options) {
  std::vector<std::unique_ptr<SessionObserver>> observers;
  if (options.noJournal) return observers;
  JournalOptions journal;
  journal.path = options.journal.empty() ? DefaultJournalFolder() + "/" : options.journal;
  // A journal that cannot be written is said once (and again after it worked); the
  // service goes on without it.
  journal.onProblem = [](const std::string& message) { std::cerr << "orvane-portd: " << message << '\n'; };
  observers.push_back(std::make_unique<JournalWriter>(std::move(journal)));
  return observers;
}

bool ParseArguments(int argc, const char* const* argv, Options* options, std::string* error) {
  // The service's own options are taken here; the line settings, DEVICE and BAUD (and
  // --help, --version, --) go to linewright's parser, which takes them the same way.
  std::vector<std::string> forward = {"orvane-portd"};
  bool unit = false;
  bool ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t eq = arg.find('=');
    const std::string name = arg.substr(0, eq);
    ended = ended || arg == "--";
    if (ended || arg.size() < 2 || arg[0] != '-' || arg == "-h" || arg == "--help" || arg == "--version") {
      forward.push_back(arg);
    } else if (LineOption(name)) {
      forward.push_back(arg);
      if (eq == std::string::npos && i + 1 < argc) forward.push_back(argv[++i]);
    } else if (arg == "--no-journal") {
      options->noJournal = true;
    } else if (name == "--journal") {
      if (eq == std::string::npos && i + 1 >= argc) {
        *error = "option '--journal' needs a value";
        return false;
      }
      options->journal = eq == std::string::npos ? argv[++i] : arg.substr(eq + 1);
      if (options->journal.empty()) {
        *error = "--journal needs a file or folder";
        return false;
      }
    } else if (arg == "--stay") {
      options->service.lingerMs = -1;
    } else if (arg == "--unit") {
      unit = true;
    } else if (name == "--linger" || name == "--ready-fd") {
      if (eq == std::string::npos && i + 1 >= argc) {
        *error = "option '" + name + "' needs a value";
        return false;
      }
      const std::string value = eq == std::string::npos ? argv[++i] : arg.substr(eq + 1);
      int64_t n = 0;
      const bool linger = name == "--linger";
      if (!Whole(value, linger ? 7 * 24 * 3600 : 1 << 20, &n) || (!linger && n < 3)) {
        *error = "invalid " + name + " '" + value + "' (" +
                 (linger ? "seconds, 0 to 604800" : "a descriptor number, 3 or more") + ")";
        return false;
      }
      if (linger) options->service.lingerMs = n * 1000;
      else options->readyFd = static_cast<int>(n);
    } else {
      *error = "unknown option '" + arg + "'";
      return false;
    }
  }
  std::vector<const char*> args;
  for (const std::string& a : forward) args.push_back(a.c_str());
  linewright::Options line;
  if (!linewright::ParseArguments(static_cast<int>(args.size()), args.data(), &line, error)) return false;
  options->help = line.help;
  options->version = line.version;
  if (line.help || line.version) return true;
  if (!line.commands.empty()) {
    *error = "unexpected argument '" + Utf16ToUtf8(line.commands.front()) + "' (DEVICE and BAUD only)";
    return false;
  }
  std::string device = line.device;
  // systemd gives a path's instance name back without its leading '/'.
  if (unit && device.find("://") == std::string::npos && (device.empty() || device[0] != '/')) device = "/" + device;
  if (device.empty()) {
    *error = "DEVICE is empty";
    return false;
  }
  options->service.name = device;
  options->service.baud = line.baud;
  options->service.settings = line.line;
  return true;
}

}  // namespace orvane::portd
