// The serial line against the modem simulator on a pty:
//  - exchanges per second through SerialLine (write, read to the token) against a
//    plain blocking write/read loop on the same simulator (the floor);
//  - CPU time spent while a 3 s silence timeout runs out, against the same read
//    polling without waiting between polls.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "engine/SerialLine.h"
#include "tools/modemsim/ModemSim.h"

namespace {

// One simulator for the whole run, echo off.
class Simulator {
 public:
  Simulator() {
    std::string error;
    if (!sim_.Start(&error) || pipe2(wake_, O_CLOEXEC) != 0) std::abort();
    runner_ = std::thread([this] { sim_.Run(-1, wake_[0]); });
    orvane::SerialLine line;
    line.Open(orvane::Utf8ToUtf16(sim_.DevicePath()), 115200);
    const char cmd[] = "ATE0\r";
    line.Write(reinterpret_cast<const uint8_t*>(cmd), sizeof cmd - 1);
    std::u16string reply;
    line.ReadResponseText(1000, nullptr, 0, &reply);
  }
  ~Simulator() {
    [[maybe_unused]] ssize_t n = write(wake_[1], "x", 1);
    runner_.join();
  }
  const std::string& path() const { return sim_.DevicePath(); }

 private:
  orvane::modemsim::ModemSim sim_;
  int wake_[2] = {-1, -1};
  std::thread runner_;
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

void BM_SerialLineExchange(benchmark::State& state) {
  orvane::SerialLine line;
  if (line.Open(orvane::Utf8ToUtf16(Sim().path()), 115200) != 0) state.SkipWithError("open");
  const orvane::Bytes command = orvane::DecodeBinaryText(u"AT<0D>");
  for (auto _ : state) {
    line.Write(command.data(), command.size());
    std::u16string reply;
    line.ReadResponseText(3000, nullptr, 0, &reply);
  }
  state.counters["exchanges_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SerialLineExchange)->UseRealTime()->MinTime(2.0);

double ThreadCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void SilenceRun(benchmark::State& state, bool spinning) {
  orvane::SerialLine line;
  if (line.Open(orvane::Utf8ToUtf16(Sim().path()), 115200) != 0) state.SkipWithError("open");
  if (spinning) line.SetIdleWait([](int, int) { return 0; });  // poll again at once
  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::u16string reply;
    line.ReadResponseText(3000, nullptr, 0, &reply);  // nobody sends: 3 s of silence
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    cpu += ThreadCpuSeconds() - cpu0;
  }
  state.counters["cpu_s"] = cpu;
  state.counters["cpu_percent_of_core"] = wall > 0 ? 100.0 * cpu / wall : 0;
}

void BM_SilenceTimeoutSpinningBaseline(benchmark::State& state) { SilenceRun(state, true); }
BENCHMARK(BM_SilenceTimeoutSpinningBaseline)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_SilenceTimeoutWaiting(benchmark::State& state) { SilenceRun(state, false); }
BENCHMARK(BM_SilenceTimeoutWaiting)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
