// Writing the response list beside writing the same number of bytes with plain
// fwrite, in the same run: 1000 exchanges with 1 KB replies, all six layouts.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/ResponseListWriter.h"

namespace {

std::vector<orvane::ExportRow> Rows() {
  std::vector<orvane::ExportRow> rows;
  rows.reserve(1000);
  uint32_t seed = 12345;
  for (int i = 0; i < 1000; ++i) {
    orvane::Bytes reply(1024);
    for (auto& b : reply) {
      seed = seed * 1103515245u + 12345u;
      b = static_cast<uint8_t>(seed >> 16);
    }
    rows.push_back({u"AT+READ=" + std::u16string(1, u'0' + i % 10) + u"<0D>", std::move(reply)});
  }
  return rows;
}

orvane::ExportOptions AllLayouts() {
  orvane::ExportOptions o;
  o.bytesPerLine = 16;
  o.exportCommandText = o.exportCommandBinary = o.exportCommandBinaryText = true;
  o.exportResponseText = o.exportResponseBinary = o.exportResponseBinaryText = true;
  return o;
}

const std::vector<orvane::ExportRow>& SharedRows() {
  static const auto rows = Rows();
  return rows;
}

size_t FileBytes() {
  static const size_t n = orvane::FormatResponseList(SharedRows(), AllLayouts()).size();
  return n;
}

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/orvane-bench-" + name + "-" + std::to_string(::getpid());
}

// The writer into an open descriptor, no flush to the disk.
void BM_ExportToDescriptor(benchmark::State& state) {
  const auto& rows = SharedRows();
  const auto options = AllLayouts();
  const std::string path = TempPath("fd");
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || !orvane::WriteResponseListToFd(fd, rows, options)) state.SkipWithError("write failed");
    ::close(fd);
  }
  ::unlink(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FileBytes()));
  state.counters["file_bytes"] = static_cast<double>(FileBytes());
}

// Baseline: the same number of bytes, already formatted, through fwrite.
void BM_PlainFwrite(benchmark::State& state) {
  const std::string bytes(FileBytes(), 'x');
  const std::string path = TempPath("fwrite");
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) state.SkipWithError("fwrite failed");
    if (f) std::fclose(f);
  }
  ::unlink(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// The whole safe export (temporary file, flush to the disk, rename) ...
void BM_ExportFileSafely(benchmark::State& state) {
  const auto& rows = SharedRows();
  const auto options = AllLayouts();
  const std::string path = TempPath("safe");
  for (auto _ : state) {
    if (!orvane::ExportResponseListToFile(path, rows, options)) state.SkipWithError("export failed");
  }
  ::unlink(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FileBytes()));
}

// ... beside fwrite of the same bytes followed by the same flush to the disk.
void BM_PlainFwriteAndSync(benchmark::State& state) {
  const std::string bytes(FileBytes(), 'x');
  const std::string path = TempPath("fwrite-sync");
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) state.SkipWithError("fwrite failed");
    if (f) {
      std::fflush(f);
      ::fsync(::fileno(f));
      std::fclose(f);
    }
  }
  ::unlink(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

}  // namespace

BENCHMARK(BM_PlainFwrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportToDescriptor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainFwriteAndSync)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportFileSafely)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
