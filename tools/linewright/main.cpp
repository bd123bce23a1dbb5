// linewright: send commands over a serial line and print each reply.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <iostream>

#include "tools/linewright/Linewright.h"

namespace {

// SIGINT and SIGTERM end the exchange in progress through this pipe.
int stopPipe[2] = {-1, -1};
volatile sig_atomic_t interrupted = 0;

void OnSignal(int) {
  interrupted = 1;
  const int saved = errno;
  [[maybe_unused]] ssize_t n = write(stopPipe[1], "x", 1);
  errno = saved;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  orvane::linewright::Options options;
  std::string error;
  if (!orvane::linewright::ParseArguments(argc, argv, &options, &error)) {
    std::cerr << "linewright: " << error << "\nTry 'linewright --help'.\n";
    return orvane::linewright::kExitUsage;
  }
  if (options.help) {
    std::cout << orvane::linewright::HelpText();
    return 0;
  }
  if (options.version) {
    std::cout << "linewright 1.0\n";
    return 0;
  }
  if (!options.replay.empty()) return orvane::linewright::Replay(options, std::cout, std::cerr);
  // The profiles are OrvanePort's, in its own hive file: opened only when one is named.
  if (!orvane::linewright::ApplyHandheldProfile(&options, &error)) {
    std::cerr << "linewright: " << error << '\n';
    return orvane::linewright::kExitUsage;
  }
  if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a read of standard input ends too
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
  }
  const int result = orvane::linewright::Run(options, STDIN_FILENO, std::cout, std::cerr, stopPipe[0]);
  std::cout.flush();
  if (interrupted && result == orvane::linewright::kExitOk) return orvane::linewright::kExitInterrupted;
  return result;
}
