// The exchange engine against the modem simulator on a pty:
//  - exchanges per second (write, read to the token) against a plain blocking
//    write/read loop on the same simulator (the floor);
//  - CPU time spent while a 3 s silence timeout runs out, against a plain poll()
//    that blocks for the same 3 s on the same pty;
//  - how long after the token's last byte was written the engine sees the reply end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

#include "engine/Exchange.h"
#include "engine/SerialLine.h"
#include "tests/support/PtyPair.h"
#include "tests/support/SimulatorThread.h"

namespace {

// One simulator for the whole run, echo off.
class Simulator {
 public:
  Simulator() {
    if (!sim_.ok()) std::abort();
    orvane::SerialLine line;
    line.Open(orvane::Utf8ToUtf16(sim_.path()), 115200);
    orvane::Exchange echoOff(line, u"ATE0<0D>", orvane::Framing{});
    orvane::RunToEnd(echoOff, line);
  }
  const std::string& path() const { return sim_.path(); }

 private:
  orvane::testing::SimulatorThread sim_;
};

Simulator& Sim() {
  static Simulator sim;
  return sim;
}

const char kCommand[] = "AT\r";
const char kOk[] = "\r\nOK\r\n";

void BM_PlainBlockingExchange(benchmark::State& state) {
  const int fd = open(Sim().path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &t);
  for (auto _ : state) {
    if (write(fd, kCommand, sizeof kCommand - 1) < 0) state.SkipWithError("write");
    std::string reply;
    char buf[256];
    while (reply.find(kOk) == std::string::npos) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) break;
      reply.append(buf, static_cast<size_t>(n));
    }
  }
  close(fd);
  state.counters["exchanges_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainBlockingExchange)->UseRealTime()->MinTime(2.0);

void BM_EngineExchange(benchmark::State& state) {
  orvane::SerialLine line;
  if (line.Open(orvane::Utf8ToUtf16(Sim().path()), 115200) != 0) state.SkipWithError("open");
  const orvane::Framing framing;
  for (auto _ : state) {
    orvane::Exchange exchange(line, u"AT<0D>", framing);
    orvane::RunToEnd(exchange, line);
    if (exchange.Result().end != orvane::ReplyEnd::kToken) state.SkipWithError("no token");
  }
  state.counters["exchanges_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EngineExchange)->UseRealTime()->MinTime(2.0);

double ThreadCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// 3 s with nobody sending: through the engine, or a bare poll() for as long.
void SilenceRun(benchmark::State& state, bool engine) {
  orvane::SerialLine line;
  if (line.Open(orvane::Utf8ToUtf16(Sim().path()), 115200) != 0) state.SkipWithError("open");
  double cpu = 0;
  double wall = 0;
  orvane::Framing framing;
  framing.timeoutMs = 3000;
  for (auto _ : state) {
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (engine) {
      orvane::Exchange exchange(line, u"", framing);
      orvane::RunToEnd(exchange, line);
    } else {
      pollfd p{line.Descriptor(), POLLIN, 0};
      poll(&p, 1, 3001);
    }
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    cpu += ThreadCpuSeconds() - cpu0;
  }
  state.counters["cpu_s"] = cpu;
  state.counters["cpu_percent_of_core"] = wall > 0 ? 100.0 * cpu / wall : 0;
}

void BM_SilencePlainPollBaseline(benchmark::State& state) { SilenceRun(state, false); }
BENCHMARK(BM_SilencePlainPollBaseline)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_SilenceEngine(benchmark::State& state) { SilenceRun(state, true); }
BENCHMARK(BM_SilenceEngine)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The device pauses, then writes "\r\nOK\r\n"; the time from that write's return to
// the engine's end of reply, median over the runs.
void BM_EndOfReplyAfterToken(benchmark::State& state) {
  orvane::testing::PtyPair pty;
  orvane::SerialLine line;
  if (!pty.ok() || line.Open(pty.path16(), 115200) != 0) state.SkipWithError("pty");
  std::vector<double> lagsMs;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    Clock::time_point written;
    std::thread device([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      pty.Send("\r\nOK\r\n");
      written = Clock::now();
    });
    orvane::Exchange exchange(line, u"", orvane::Framing{});
    orvane::RunToEnd(exchange, line);
    const Clock::time_point ended = Clock::now();
    device.join();
    lagsMs.push_back(std::chrono::duration<double, std::milli>(ended - written).count());
  }
  std::sort(lagsMs.begin(), lagsMs.end());
  state.counters["median_ms"] = lagsMs.empty() ? 0 : lagsMs[lagsMs.size() / 2];
  state.counters["p95_ms"] = lagsMs.empty() ? 0 : lagsMs[lagsMs.size() * 95 / 100];
}
BENCHMARK(BM_EndOfReplyAfterToken)->Iterations(200)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
