// An exchange through the port service against the same exchange on the line directly,
// in the same run: a session on one simulator's pty, and a session whose port is served
// by orvane-portd's core (on a thread) on another's. Rounds alternate between the two,
// so a busy machine weighs on both alike; the medians and their ratio are printed. Once
// with the simulator answering at once (the pty's own cost is a few microseconds, so the
// service's hops weigh the most there), once with it answering after 1 ms, about what
// "AT" and "OK" take on the wire at 115200 baud.
// Usage: orvane_portd_bench [EXCHANGES_PER_ROUND [ROUNDS]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/Session.h"
#include "benchmarks/engine/BenchMedian.h"
#include "tests/support/PortServiceThread.h"
#include "tests/support/SimulatorThread.h"

namespace {

using Clock = std::chrono::steady_clock;

// Counts the exchanges that ended on their token.
struct Ends : orvane::SessionObserver {
  int token = 0;
  int other = 0;
  orvane::ReplyEnd last = orvane::ReplyEnd::kNone;
  void OnRowEnded(const orvane::Row& row) override {
    if (row.Unsolicited()) return;
    last = row.end;
    ++(row.end == orvane::ReplyEnd::kToken ? token : other);
  }
};

using orvane::bench::Median;

}  // namespace

int main(int argc, char** argv) {
  const int perRound = argc > 1 ? std::atoi(argv[1]) : 300;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  orvane::testing::SimulatorThread direct, served;
  if (!direct.ok() || !served.ok()) {
    std::fprintf(stderr, "the simulator did not start\n");
    return 1;
  }
  orvane::service::PortServiceOptions options;
  options.name = served.path();
  options.baud = 115200;
  orvane::testing::PortServiceThread service(options);
  if (!service.ok()) {
    std::fprintf(stderr, "the port service did not start: %s\n", service.error().c_str());
    return 1;
  }

  orvane::Framing framing;  // default tokens: "\r\nOK\r\n" ends each reply
  framing.suffix = u"<0D>";
  for (const int delayMs : {0, 1}) {
    struct Way {
      const char* label;
      std::string device;
      std::vector<double> rates;  // exchanges per second, one per round
    };
    Way ways[] = {{"line directly", direct.path(), {}}, {"through orvane-portd", served.path(), {}}};
    const std::u16string delay = u"AT+SIMDELAY=" + orvane::Utf8ToUtf16(std::to_string(delayMs));
    for (int round = 0; round < rounds; ++round) {
      for (Way& way : ways) {
        orvane::SessionOptions sessionOptions;
        sessionOptions.keepReplies = false;
        orvane::Session session(sessionOptions);
        Ends ends;
        session.AddObserver(&ends);
        if (session.Open(way.device, 115200) != 0) {
          std::fprintf(stderr, "%s: %s\n", way.label, session.Reason().c_str());
          return 1;
        }
        if (round == 0 && way.device == served.path() && session.SharedClients() == 0) {
          std::fprintf(stderr, "the served port was opened directly\n");
          return 1;
        }
        if (!session.Send(delay, framing) ||
            orvane::RunUntil(session, [&] { return !session.Busy(); }) != orvane::RunEnd::kDone) {
          std::fprintf(stderr, "%s: %s failed\n", way.label, orvane::Utf16ToUtf8(delay).c_str());
          return 1;
        }
        ends.token = 0;
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < perRound; ++i) {
          if (!session.Send(u"AT", framing) ||
              orvane::RunUntil(session, [&] { return !session.Busy(); }) != orvane::RunEnd::kDone) {
            std::fprintf(stderr, "%s: exchange %d failed\n", way.label, i);
            return 1;
          }
        }
        way.rates.push_back(perRound / std::chrono::duration<double>(Clock::now() - t0).count());
        session.Close();
        if (ends.token != perRound) {
          std::fprintf(stderr, "%s: %d of %d exchanges ended on their token (the last: %s)\n", way.label, ends.token,
                       perRound, orvane::ReplyEndName(ends.last));
          return 1;
        }
      }
    }
    const double base = Median(ways[0].rates);
    std::printf("%d rounds of %d exchanges (AT<0D> -> OK, echo on), the device answering after %d ms, medians:\n",
                rounds, perRound, delayMs);
    for (const Way& way : ways) {
      const double rate = Median(way.rates);
      std::printf("  %-22s %8.0f exchanges/s  %6.3f ms each  time ratio to the line %.2f\n", way.label, rate,
                  1000.0 / rate, base / rate);
    }
  }
  return 0;
}
