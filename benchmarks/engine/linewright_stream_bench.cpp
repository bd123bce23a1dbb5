// linewright as a process, beside plain loops on the same pty in the same run:
//  - a 20 MB reply (counting lines, then "\r\nOK\r\n"): rate, bytes lost and peak RSS,
//    against a plain 64 KiB read() loop in a child process, with and without --journal;
//  - CPU used while linewright waits out a 3 s silence (with and without --journal),
//    against a child that blocks in poll() for as long.
// Every side runs as a freshly started process (the baselines are this program started
// again in a plain mode), so each pays the same start-up; each is started by a small
// "--measure" copy of this program, so its peak memory is its own and not this
// program's (a child's peak counts the memory of the process it was started from).
// With --listen, only this instead: CPU used by "linewright --listen SECONDS" on a quiet
// line, against a child that blocks in poll() on the same line for as long.
// Usage: linewright_stream_bench PATH-TO-LINEWRIGHT [MEGABYTES]
//        linewright_stream_bench PATH-TO-LINEWRIGHT --listen [SECONDS]
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/BinaryTextCodec.h"
#include "tests/support/PtyPair.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using orvane::testing::PtyPair;

struct ChildRun {
  double wallS = 0;
  double cpuS = 0;
  long maxRssKb = 0;
  int status = -1;
};

// Runs argv[0] with |argv| (standard output already set) in a child of this small
// process and prints what it used: wall s, CPU s, peak RSS kB, exit status.
int Measure(char** argv) {
  const auto t0 = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::fprintf(stderr, "%f %f %ld %d\n", wall, cpu, usage.ru_maxrss,
               WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return 0;
}

std::string SelfPath() {
  char path[4096] = {};
  return readlink("/proc/self/exe", path, sizeof path - 1) > 0 ? path : "";
}

// Starts |argv| through "--measure" with its standard output to |outPath|.
ChildRun Spawn(std::vector<std::string> argv, const char* outPath) {
  argv.insert(argv.begin(), {SelfPath(), "--measure"});
  const char* report = "/tmp/linewright_stream_bench.measure";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, report, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  const auto t0 = Clock::now();
  pid_t pid = -1;
  posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  waitpid(pid, &status, 0);
  ChildRun run;
  std::ifstream in(report);
  in >> run.wallS >> run.cpuS >> run.maxRssKb >> run.status;
  std::remove(report);
  (void)t0;
  return run;
}

std::string CountingReply(size_t bytes) {
  std::string reply;
  reply.reserve(bytes + 16);
  char line[16];
  for (unsigned i = 0; reply.size() + 10 <= bytes; ++i) {
    std::snprintf(line, sizeof line, "%08u\r\n", i);
    reply += line;
  }
  reply.resize(bytes, 'x');
  return reply + "\r\nOK\r\n";
}

// Plays the device: once the reader's command arrives, sends |reply|.
std::thread Device(PtyPair& pty, const std::string& reply) {
  return std::thread([&pty, &reply] {
    pty.Receive(1, 10000);
    pty.Send(reply);
  });
}

// The baselines, run as "--plain-read PATH" and "--plain-poll PATH".
int PlainReadLoop(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  if (write(fd, "\r", 1) != 1) return 1;
  static char buf[65536];
  std::string tail;
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return 1;
    tail.append(buf, static_cast<size_t>(n));
    if (tail.size() > 16) tail.erase(0, tail.size() - 16);
    if (tail.size() >= 6 && tail.compare(tail.size() - 6, 6, "\r\nOK\r\n") == 0) return 0;
  }
}

int PlainPoll(const std::string& path, int ms) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  pollfd p{fd, POLLIN, 0};
  poll(&p, 1, ms);
  return 0;
}

void PrintIdle(const char* what, const ChildRun& run) {
  std::printf("  %-28s %8.2f   %10.4f\n", what, run.cpuS * 1e3, 100.0 * run.cpuS / run.wallS);
}

// A quiet line held open for |seconds| by linewright --listen and by a plain poll().
int ListenBench(const std::string& linewright, const std::string& selfPath, double seconds) {
  PtyPair pty;
  if (!pty.ok()) return 1;
  const std::string path = pty.path();
  const int ms = static_cast<int>(seconds * 1000);
  char listen[32];
  std::snprintf(listen, sizeof listen, "%.3f", seconds);
  const ChildRun plain = Spawn({selfPath, "--plain-poll", path, std::to_string(ms)}, "/dev/null");
  const ChildRun lw = Spawn({linewright, "--listen", listen, path, "115200"}, "/dev/null");
  const char* journalPath = "/tmp/linewright_stream_bench.journal";
  const ChildRun journaled =
      Spawn({linewright, "--journal", journalPath, "--listen", listen, path, "115200"}, "/dev/null");
  std::remove(journalPath);
  // Start-up and exit alone, to tell them from the wait.
  const ChildRun start = Spawn({linewright, "--listen", "0", path, "115200"}, "/dev/null");
  const ChildRun plainStart = Spawn({selfPath, "--plain-poll", path, "0"}, "/dev/null");
  std::printf("%.1f s on a quiet line           CPU ms   %% of a core\n", seconds);
  PrintIdle("plain poll() child", plain);
  PrintIdle("linewright --listen", lw);
  PrintIdle("linewright --listen --journal", journaled);
  PrintIdle("plain poll() child, no wait", plainStart);
  PrintIdle("linewright --listen 0", start);
  const double waitPlain = std::max(plain.cpuS - plainStart.cpuS, 0.0);
  const double waitLw = std::max(lw.cpuS - start.cpuS, 0.0);
  std::printf("  whole runs: linewright / plain = %.2f; the wait alone: %.3f ms vs %.3f ms, %.4f%% of a"
              " core (exit %d)\n",
              plain.cpuS > 0 ? lw.cpuS / plain.cpuS : 0.0, waitLw * 1e3, waitPlain * 1e3,
              100.0 * waitLw / lw.wallS, lw.status);
  return lw.status == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--measure") return Measure(argv + 2);
  if (argc == 3 && std::string(argv[1]) == "--plain-read") return PlainReadLoop(argv[2]);
  if (argc == 4 && std::string(argv[1]) == "--plain-poll") return PlainPoll(argv[2], std::atoi(argv[3]));
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PATH-TO-LINEWRIGHT [MEGABYTES]\n", argv[0]);
    return 2;
  }
  const std::string linewright = argv[1];
  if (argc > 2 && std::string(argv[2]) == "--listen") {
    return ListenBench(linewright, SelfPath(), argc > 3 ? std::strtod(argv[3], nullptr) : 10.0);
  }
  const size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 20;
  const std::string reply = CountingReply(megabytes * 1000 * 1000);
  const char* outPath = "/tmp/linewright_stream_bench.out";

  PtyPair pty;
  if (!pty.ok()) return 1;
  const std::string path = pty.path();

  const std::string selfPath = SelfPath();

  std::thread device = Device(pty, reply);
  const ChildRun plain = Spawn({selfPath, "--plain-read", path}, "/dev/null");
  device.join();

  // linewright alone, and with its journal (a file on this machine's disk).
  const char* journalPath = "/tmp/linewright_stream_bench.journal";
  bool same = true;
  const auto runLinewright = [&](std::vector<std::string> extra) {
    std::remove(journalPath);
    device = Device(pty, reply);
    extra.insert(extra.end(), {"--max-bytes", std::to_string(reply.size() * 2), path, "115200", "<0D>"});
    extra.insert(extra.begin(), linewright);
    const ChildRun run = Spawn(extra, outPath);
    device.join();
    // Nothing lost: the printed reply decodes to exactly the bytes sent.
    std::ifstream in(outPath, std::ios::binary);
    std::stringstream printed;
    printed << in.rdbuf();
    std::string text = printed.str();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const orvane::Bytes got = orvane::DecodeBinaryText(orvane::Utf8ToUtf16(text));
    same = same && got.size() == reply.size() && std::equal(got.begin(), got.end(), reply.begin());
    std::remove(outPath);
    return run;
  };
  const ChildRun lw = runLinewright({});
  const ChildRun journaled = runLinewright({"--journal", journalPath});
  std::ifstream journalFile(journalPath, std::ios::binary | std::ios::ate);
  const double journalMb = static_cast<double>(journalFile.tellg()) / 1e6;
  std::remove(journalPath);

  const double mb = static_cast<double>(reply.size()) / 1e6;
  std::printf("%zu MB reply               rate MB/s   CPU s   peak RSS MB   exit\n", megabytes);
  std::printf("  plain 64 KiB read loop  %9.1f   %5.2f   %11.1f   %4d\n", mb / plain.wallS, plain.cpuS,
              plain.maxRssKb / 1024.0, plain.status);
  std::printf("  linewright              %9.1f   %5.2f   %11.1f   %4d\n", mb / lw.wallS, lw.cpuS,
              lw.maxRssKb / 1024.0, lw.status);
  std::printf("  linewright --journal    %9.1f   %5.2f   %11.1f   %4d   (journal %.1f MB)\n",
              mb / journaled.wallS, journaled.cpuS, journaled.maxRssKb / 1024.0, journaled.status, journalMb);
  std::printf("  ratio %.2f, with the journal %.2f (%.2f of linewright alone); bytes lost or changed: %s;"
              " RSS per reply byte above 10 MB: %.3f\n",
              plain.wallS / lw.wallS, plain.wallS / journaled.wallS, lw.wallS / journaled.wallS, same ? "none" : "YES",
              (lw.maxRssKb * 1024.0 - 10e6) / static_cast<double>(reply.size()));

  // 3 s of silence: linewright waits out its timeout; the baseline blocks in poll().
  const ChildRun idlePlain = Spawn({selfPath, "--plain-poll", path, "3000"}, "/dev/null");
  const ChildRun idleLw = Spawn({linewright, "--timeout", "3000", path, "115200", ""}, "/dev/null");
  const ChildRun idleJournal =
      Spawn({linewright, "--journal", journalPath, "--timeout", "3000", path, "115200", ""}, "/dev/null");
  std::remove(journalPath);
  // The same run with no wait at all: what start-up and exit cost by themselves.
  const ChildRun startLw = Spawn({linewright, "--timeout", "0", path, "115200", ""}, "/dev/null");
  pty.Receive(1, 100);  // drop the empty command's nothing
  std::printf("3 s silent wait            CPU ms   %% of a core\n");
  std::printf("  plain poll() child     %7.2f   %10.3f\n", idlePlain.cpuS * 1e3,
              100.0 * idlePlain.cpuS / idlePlain.wallS);
  std::printf("  linewright             %7.2f   %10.3f\n", idleLw.cpuS * 1e3,
              100.0 * idleLw.cpuS / idleLw.wallS);
  std::printf("  linewright --journal   %7.2f   %10.3f\n", idleJournal.cpuS * 1e3,
              100.0 * idleJournal.cpuS / idleJournal.wallS);
  std::printf("  linewright, no wait    %7.2f   (start-up and exit alone; the wait's own cost is\n"
              "                                  the difference: %.3f%% of a core)\n",
              startLw.cpuS * 1e3, 100.0 * (idleLw.cpuS - startLw.cpuS) / idleLw.wallS);
  return same ? 0 : 1;
}
