// Exchanges through ser2net on localhost (RFC 2217 and raw TCP) against the same
// exchanges on a simulator's pty directly, in the same run. Rounds alternate between
// the ways, so a busy machine weighs on all alike; the medians and their ratios are
// printed. Usage: orvane_remote_line_bench [EXCHANGES_PER_ROUND [ROUNDS]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/Exchange.h"
#include "engine/LineFactory.h"
#include "benchmarks/engine/BenchMedian.h"
#include "tests/support/NetServers.h"
#include "tests/support/SimulatorThread.h"

namespace {

using Clock = std::chrono::steady_clock;

using Simulator = orvane::testing::SimulatorThread;

using orvane::bench::Median;

}  // namespace

int main(int argc, char** argv) {
  const int perRound = argc > 1 ? std::atoi(argv[1]) : 300;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  // One simulator per way: a server that has just let go of a connection may still
  // hold its device for a moment, and two readers of one pty would take each other's
  // replies.
  Simulator direct, telnetSim, rawSim, quickSim;
  if (!direct.ok() || !telnetSim.ok() || !rawSim.ok() || !quickSim.ok()) {
    std::fprintf(stderr, "the simulator did not start\n");
    return 1;
  }
  // ser2net gathers device input for a few character times before it sends it on
  // (its "chardelay"); the last way turns that off, leaving the network line's own cost.
  orvane::testing::Ser2net telnet, raw, quick;
  if (!telnet.Start(telnetSim.path(), true) || !raw.Start(rawSim.path(), false) ||
      !quick.Start(quickSim.path(), true, "chardelay: false")) {
    std::fprintf(stderr, "ser2net did not start:\n%s%s", telnet.Log().c_str(), raw.Log().c_str());
    return 1;
  }

  struct Way {
    const char* label;
    std::string name;
    std::vector<double> rates;  // exchanges per second, one per round
    std::vector<double> openMs;
  };
  Way ways[] = {{"pty directly", direct.path(), {}, {}},
                {"ser2net rfc2217://", telnet.Url("rfc2217"), {}, {}},
                {"ser2net tcp://", raw.Url("tcp"), {}, {}},
                {"rfc2217, no chardelay", quick.Url("rfc2217"), {}, {}}};

  const orvane::Framing framing;  // default tokens: "\r\nOK\r\n" ends each reply
  bool failed = false;
  for (int round = 0; round < rounds && !failed; ++round) {
    for (Way& way : ways) {
      orvane::NamedLine line;
      const Clock::time_point opening = Clock::now();
      if (line.Open(std::string_view(way.name), 115200) != 0) {
        std::fprintf(stderr, "%s: %s\n", way.name.c_str(), line.Reason().c_str());
        failed = true;
        break;
      }
      way.openMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - opening).count());
      orvane::Exchange echoOff(line, u"ATE0<0D>", framing);
      orvane::RunToEnd(echoOff, line);
      const Clock::time_point t0 = Clock::now();
      for (int i = 0; i < perRound; ++i) {
        orvane::Exchange exchange(line, u"AT<0D>", framing);
        orvane::RunToEnd(exchange, line);
        if (exchange.Result().end != orvane::ReplyEnd::kToken) {
          const std::string reply = orvane::Utf16ToUtf8(orvane::EncodeBinaryText(exchange.Result().reply));
          std::fprintf(stderr, "%s: exchange %d did not end on its token (end %d): %s\n", way.label, i,
                       static_cast<int>(exchange.Result().end), reply.c_str());
          failed = true;
          break;
        }
      }
      way.rates.push_back(perRound / std::chrono::duration<double>(Clock::now() - t0).count());
    }
  }

  if (failed) return 1;
  const double base = Median(ways[0].rates);
  std::printf("%d rounds of %d exchanges (AT -> OK) at 115200 baud, medians:\n", rounds, perRound);
  for (const Way& way : ways) {
    std::printf("  %-22s %8.0f exchanges/s  %6.2f ms each  ratio to pty %.2f  open %.1f ms\n", way.label,
                Median(way.rates), 1000.0 / Median(way.rates), Median(way.rates) / base, Median(way.openMs));
  }
  return 0;
}
