// orvane-modemsim: a Hayes-style modem on a pseudo-terminal.
#include <fcntl.h>
#include <getopt.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/Registry.h"
#include "tools/modemsim/DeviceTableHook.h"
#include "tools/modemsim/ModemSim.h"

namespace {

int g_wake[2] = {-1, -1};

void OnSignal(int) {
  const char c = 's';
  [[maybe_unused]] ssize_t n = write(g_wake[1], &c, 1);
}

void Usage(FILE* to) {
  std::fprintf(to,
               "Usage: orvane-modemsim [--ignore-stdin] [--verbose]\n"
               "\n"
               "Creates a pseudo-terminal, prints its device path as the first line on\n"
               "standard output and answers on it like a Hayes modem (echo on, replies\n"
               "\"\\r\\nOK\\r\\n\" and \"\\r\\nERROR\\r\\n\"). Runs until standard input ends\n"
               "(Ctrl-D) or it gets SIGINT or SIGTERM.\n"
               "\n"
               "  --ignore-stdin  keep running when standard input ends (for background use)\n"
               "  -v, --verbose   trace commands and replies on standard error\n"
               "  -h, --help      this text\n"
               "\n"
               "Commands end with a carriage return (\\r).\n"
               "%s",
               orvane::modemsim::CommandHelp());
}

}  // namespace

int main(int argc, char** argv) {
  bool ignoreStdin = false;
  bool verbose = false;
  static const option kOptions[] = {
      {"ignore-stdin", no_argument, nullptr, 'i'},
      {"verbose", no_argument, nullptr, 'v'},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  int opt;
  while ((opt = getopt_long(argc, argv, "vh", kOptions, nullptr)) != -1) {
    switch (opt) {
      case 'i': ignoreStdin = true; break;
      case 'v': verbose = true; break;
      case 'h': Usage(stdout); return 0;
      default:
        std::fprintf(stderr, "Try 'orvane-modemsim --help'.\n");
        return 2;
    }
  }
  if (optind < argc) {
    std::fprintf(stderr, "orvane-modemsim: unexpected argument '%s'\nTry 'orvane-modemsim --help'.\n",
                 argv[optind]);
    return 2;
  }

  if (pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::perror("orvane-modemsim: pipe");
    return 1;
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  orvane::modemsim::ModemSim sim;
  std::string error;
  if (!sim.Start(&error)) {
    std::fprintf(stderr, "orvane-modemsim: %s\n", error.c_str());
    return 1;
  }
  if (verbose) {
    sim.SetLog([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  }
  // Listed in the device table before the path is printed: whoever waits for that line
  // can start the program at once and find the simulator among the devices.
  std::string hiveProblem;
  const std::unique_ptr<orvane::reg::Hive> hive = orvane::reg::Hive::OpenHandheld(&hiveProblem);
  if (!hiveProblem.empty()) {
    std::fprintf(stderr, "orvane-modemsim: not listed among the devices: cannot write %s: %s\n",
                 orvane::reg::Hive::DefaultHandheldPath().c_str(), hiveProblem.c_str());
  }
  orvane::modemsim::SimulatedDeviceAppeared(*hive, sim.DevicePath());
  std::printf("%s\n", sim.DevicePath().c_str());
  std::fflush(stdout);
  if (isatty(STDERR_FILENO) && isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "Modem simulator on %s. Ctrl-D or Ctrl-C ends it.\n",
                 sim.DevicePath().c_str());
  }
  const auto end = sim.Run(ignoreStdin ? -1 : STDIN_FILENO, g_wake[0]);
  orvane::modemsim::SimulatedDeviceGone(*hive, sim.DevicePath());
  if (end == orvane::modemsim::ModemSim::End::kError) {
    std::fprintf(stderr, "orvane-modemsim: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}
