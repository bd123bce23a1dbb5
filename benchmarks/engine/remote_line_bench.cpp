// Exchanges through ser2net on localhost (RFC 2217 and raw TCP) against the same
// exchanges on the simulator's pty directly, in the same run. Rounds alternate between
// the ways, so a busy machine weighs on all alike; the medians and their ratios are
// printed. Usage: orvane_remote_line_bench [EXCHANGES_PER_ROUND [ROUNDS]]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/Exchange.h"
#include "engine/LineFactory.h"
#include "tests/support/NetServers.h"
#include "tools/modemsim/ModemSim.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int perRound = argc > 1 ? std::atoi(argv[1]) : 300;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  orvane::modemsim::ModemSim sim;
  std::string error;
  int wake[2];
  if (!sim.Start(&error) || pipe2(wake, O_CLOEXEC) != 0) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    return 1;
  }
  std::thread runner([&] { sim.Run(-1, wake[0]); });
  orvane::testing::Ser2net telnet, raw;
  if (!telnet.Start(sim.DevicePath(), true) || !raw.Start(sim.DevicePath(), false)) {
    std::fprintf(stderr, "ser2net did not start:\n%s%s", telnet.Log().c_str(), raw.Log().c_str());
    return 1;
  }

  struct Way {
    const char* label;
    std::string name;
    std::vector<double> rates;  // exchanges per second, one per round
    std::vector<double> openMs;
  };
  Way ways[] = {{"pty directly", sim.DevicePath(), {}, {}},
                {"ser2net rfc2217://", telnet.Url("rfc2217"), {}, {}},
                {"ser2net tcp://", raw.Url("tcp"), {}, {}}};

  const orvane::Framing framing;  // default tokens: "\r\nOK\r\n" ends each reply
  for (int round = 0; round < rounds; ++round) {
    for (Way& way : ways) {
      orvane::NamedLine line;
      const Clock::time_point opening = Clock::now();
      if (line.Open(std::string_view(way.name), 115200) != 0) {
        std::fprintf(stderr, "%s: %s\n", way.name.c_str(), line.Reason().c_str());
        return 1;
      }
      way.openMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - opening).count());
      orvane::Exchange echoOff(line, u"ATE0<0D>", framing);
      orvane::RunToEnd(echoOff, line);
      const Clock::time_point t0 = Clock::now();
      for (int i = 0; i < perRound; ++i) {
        orvane::Exchange exchange(line, u"AT<0D>", framing);
        orvane::RunToEnd(exchange, line);
        if (exchange.Result().end != orvane::ReplyEnd::kToken) {
          std::fprintf(stderr, "%s: exchange %d did not end on its token\n", way.label, i);
          return 1;
        }
      }
      way.rates.push_back(perRound / std::chrono::duration<double>(Clock::now() - t0).count());
    }
  }

  const double base = Median(ways[0].rates);
  std::printf("%d rounds of %d exchanges (AT -> OK) at 115200 baud, medians:\n", rounds, perRound);
  for (const Way& way : ways) {
    std::printf("  %-20s %8.0f exchanges/s  %6.2f ms each  ratio to pty %.2f  open %.1f ms\n", way.label,
                Median(way.rates), 1000.0 / Median(way.rates), Median(way.rates) / base, Median(way.openMs));
  }
  [[maybe_unused]] ssize_t n = write(wake[1], "x", 1);
  runner.join();
  return 0;
}
