// Decompressing a transfer of the largest size (a 32 KB compressed file),
// in memory and through UnCompressFile with its file writes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "Compression.h"

using namespace pallix::compression;
namespace fs = std::filesystem;

namespace {

// Record-like text whose gzip form is just under the largest transfer
// (32,767 bytes).
std::vector<unsigned char> Compressed32K(std::vector<unsigned char>* plain) {
  std::mt19937 rng(11);
  std::string text;
  std::vector<unsigned char> packed;
  while (packed.size() < 32000) {
    for (int i = 0; i < 40; ++i)
      text += std::to_string(5000 + rng() % 186) + " " + std::to_string(rng() % 5) + " " +
              std::to_string(rng() % 100000) + "\n";
    Gzip(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &packed);
  }
  plain->assign(text.begin(), text.end());
  return packed;
}

void BM_Inflate32K(benchmark::State& state) {
  std::vector<unsigned char> plain;
  const std::vector<unsigned char> packed = Compressed32K(&plain);
  std::vector<unsigned char> out;
  for (auto _ : state)
    benchmark::DoNotOptimize(Inflate(packed.data(), packed.size(), kMaxOutput, &out));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain.size()));
  state.counters["compressed_bytes"] = static_cast<double>(packed.size());
  state.counters["plain_bytes"] = static_cast<double>(plain.size());
}
BENCHMARK(BM_Inflate32K)->Unit(benchmark::kMicrosecond);

void BM_UnCompressFile32K(benchmark::State& state) {
  std::vector<unsigned char> plain;
  const std::vector<unsigned char> packed = Compressed32K(&plain);
  const fs::path dir =
      fs::temp_directory_path() / ("pallix-bench-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  const fs::path src = dir / "t.compress";
  WriteFileAtomically(src.string(), packed.data(), packed.size());
  for (auto _ : state) benchmark::DoNotOptimize(UnCompressFile(src.c_str(), dir.c_str()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain.size()));
  fs::remove_all(dir);
}
BENCHMARK(BM_UnCompressFile32K)->Unit(benchmark::kMicrosecond);

}  // namespace
