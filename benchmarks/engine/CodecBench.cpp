// Binary text codec throughput against memcpy of the same bytes (the baseline).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "engine/BinaryTextCodec.h"

namespace {

constexpr size_t kSize = 1 << 20;

// A modem-like reply: mostly printable text, CR LF line ends, the odd control byte.
orvane::Bytes TypicalReply() {
  const char line[] = "+CSQ: 23,99\r\n+COPS: 0,0,\"Orvane <Net>\"\r\nOK\r\n\x1A";
  orvane::Bytes bytes(kSize);
  for (size_t i = 0; i < kSize; ++i) bytes[i] = static_cast<uint8_t>(line[i % (sizeof line - 1)]);
  return bytes;
}

orvane::Bytes RandomBytes() {
  std::mt19937 rng(7);
  orvane::Bytes bytes(kSize);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

void BM_MemcpyBaseline(benchmark::State& state) {
  const orvane::Bytes in = TypicalReply();
  orvane::Bytes out(kSize);
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), kSize);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_MemcpyBaseline);

void BM_EncodeTypical(benchmark::State& state) {
  const orvane::Bytes in = TypicalReply();
  for (auto _ : state) benchmark::DoNotOptimize(orvane::EncodeBinaryText(in));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_EncodeTypical);

void BM_EncodeRandom(benchmark::State& state) {
  const orvane::Bytes in = RandomBytes();
  for (auto _ : state) benchmark::DoNotOptimize(orvane::EncodeBinaryText(in));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_EncodeRandom);

// Decoding is measured in bytes produced, so the figures compare with memcpy.
void BM_DecodeTypical(benchmark::State& state) {
  const std::u16string text = orvane::EncodeBinaryText(TypicalReply());
  for (auto _ : state) benchmark::DoNotOptimize(orvane::DecodeBinaryText(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_DecodeTypical);

void BM_DecodeRandom(benchmark::State& state) {
  const std::u16string text = orvane::EncodeBinaryText(RandomBytes());
  for (auto _ : state) benchmark::DoNotOptimize(orvane::DecodeBinaryText(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_DecodeRandom);

}  // namespace

BENCHMARK_MAIN();
