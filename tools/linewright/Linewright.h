// linewright: send commands over a serial line and print each reply, for scripts.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "engine/Exchange.h"
#include "engine/LineSettings.h"

namespace orvane {
class PreferenceStore;
}

namespace orvane::linewright {

enum ExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,    // reading standard input or writing standard output failed
  kExitUsage = 2,      // bad command line
  kExitOpenFailed = 3, // the device could not be opened
  kExitWriteFailed = 4, // a command could not be written to the device (or not in time)
  kExitHangup = 5,      // a reply ended because the device hung up or a read failed
  kExitInterrupted = 6, // SIGINT or SIGTERM ended the run
  kExitFailOn = 7,      // a reply held a text given with --fail-on
  kExitExpectFailed = 8 // a step of a sequence file did not get what it expected
};

struct Options {
  // Prefix and suffix put around every command, the silence timeout and the tokens
  // (binary text; none: the default tokens).
  Framing framing;
  size_t maxBytes = kDefaultMaxReplyBytes;  // --max-bytes
  // --profile NAME: frame commands with the stored preference profile NAME; the options
  // given explicitly (--prefix, --suffix, --timeout, --token) win over its values.
  std::string profile;
  bool prefixGiven = false;
  bool suffixGiven = false;
  bool timeoutGiven = false;
  std::string device;
  uint32_t baud = 0;
  // --data-bits, --parity, --stop-bits, --flow, --dtr, --rts.
  LineSettings line;
  // None (and no command file, and no --listen): one per line from standard input.
  std::vector<std::u16string> commands;
  std::string commandFile;  // -f FILE: Run reads the commands from it as it goes
  bool json = false;        // --json: one JSON object per line
  bool timestamps = false;  // --timestamps: each plain reply line starts with its time
  // --fail-on TEXT (binary text): the run stops after the first reply holding one of them.
  std::vector<std::u16string> failOn;
  int64_t listenMs = -1;    // --listen SECONDS as ms; -1: not given
  // --reconnect SECONDS: after a hang-up, wait up to this long for the device to come back,
  // open it again and go on with the next command (0: end the run at a hang-up).
  uint32_t reconnectSeconds = 0;
  // --journal PATH: every event of the session into a journal file (a folder: one file
  // per session there).
  std::string journal;
  // --replay FILE: print the rows of a journal instead of opening a line.
  std::string replay;
  // --watch: attach read-only to the port service holding DEVICE and print every row
  // until interrupted, the service ends or --listen's time is up. BAUD is optional then
  // (0: not given); it is only used to start a service (ORVANE_PORTD=auto).
  bool watch = false;
  bool help = false;
  bool version = false;
};

// Parses argv[1..]. False with a message for the user in |error| on a usage error.
bool ParseArguments(int argc, const char* const* argv, Options* options, std::string* error);

const char* HelpText();

// Takes prefix, suffix, timeout (seconds x 1000) and tokens from the profile named by
// options->profile in |profiles|, as the screen's send flow does. False with a message when
// there is no such profile or it cannot be loaded (naming what is wrong with it, and the
// hive at |hivePath| when one is given).
bool ApplyProfile(const PreferenceStore& profiles, Options* options, std::string* error,
                  const std::string& hivePath = {});

// ApplyProfile with the profiles of OrvanePort's own hive (reading is enough). False with
// a message, the system's reason among it, when that hive cannot be read.
bool ApplyHandheldProfile(Options* options, std::string* error);

// Prints the rows of the journal options.replay as Run would have printed them live
// (plain, --timestamps or --json). Returns an ExitCode (kExitUsage: it cannot be read).
int Replay(const Options& options, std::ostream& out, std::ostream& err);

// Opens the line, sends every command and prints every reply as it arrives. The commands
// of options.commandFile are read a line at a time as the run goes (blank lines and lines
// whose first character other than a blank is '#' are skipped); the line is opened for
// the first of them, so a file that cannot be read is refused (kExitUsage) before. Without
// commands (and without a command file or --listen) each line read from |inFd| is one. A
// CR before a line feed is dropped, a last line without one is a command too, and a line
// longer than LineReader::kMaxLineBytes is refused (kExitUsage). While the run waits for
// the next line, and while it listens, what the device sends by itself is printed as rows
// of unsolicited data, never added to the next reply. Input on |stopFd| (-1: none) ends
// the run: what arrived is printed and kExitInterrupted returned. Returns an ExitCode.
int Run(const Options& options, int inFd, std::ostream& out, std::ostream& err,
        int stopFd = -1);

}  // namespace orvane::linewright
