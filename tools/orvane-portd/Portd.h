// orvane-portd: the port service as a program (see engine/service/PortService.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/service/PortService.h"

namespace orvane::portd {

enum ExitCode : int {
  kExitOk = 0,          // no client for the linger time, or SIGINT/SIGTERM
  kExitFailure = 1,     // waiting failed
  kExitUsage = 2,       // bad command line
  kExitOpenFailed = 3,  // the port could not be opened, or its socket not made
  kExitHangup = 5       // the device hung up
};

struct Options {
  service::PortServiceOptions service;
  int readyFd = -1;  // --ready-fd: "ready" or the reason why not is written there
  // --journal PATH: the session journal's file or folder (empty: the user's journal
  // folder); --no-journal: none.
  std::string journal;
  bool noJournal = false;
  bool help = false;
  bool version = false;
};

// The observers of the service's session besides its clients (the session journal goes
// here): made once, told every event before the clients are, kept as long as the service.
std::vector<std::unique_ptr<SessionObserver>> SessionObservers(const Options& options);

bool ParseArguments(int argc, const char* const* argv, Options* options, std::string* error);
const char* HelpText();

}  // namespace orvane::portd
