// The monitor's own data path, without network or window: the chunk writer
// putting a transfer together in a spool directory, and the decoder turning
// a spool file into display updates. Prints figures only.
#include <benchmark/benchmark.h>

#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "acquisition/ChunkWriter.h"
#include "acquisition/SpoolIo.h"
#include "platform/PallixBinding.h"
#include "presentation/ResultDecoder.h"

namespace fs = std::filesystem;

namespace {

std::string GzipOf(const std::string& data) {
  z_stream s{};
  deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, data.size()) + 64, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

std::vector<std::string> Chunks(const std::string& name, const std::string& file) {
  std::vector<std::string> out;
  for (size_t off = 0, index = 0; off < file.size(); off += FILE_CHUNK_DATA_SIZE, ++index) {
    std::string rec(FILE_CHUNK_SIZE, '\0');
    auto* p = reinterpret_cast<unsigned char*>(rec.data());
    const std::string part = file.substr(off, FILE_CHUNK_DATA_SIZE);
    PallixPutU16(p + FILE_CHUNK_TOTAL_OFFSET, static_cast<uint16_t>(file.size()));
    PallixPutU16(p + FILE_CHUNK_INDEX_OFFSET, static_cast<uint16_t>(index));
    PallixPutU16(p + FILE_CHUNK_COUNT_OFFSET, static_cast<uint16_t>(part.size()));
    std::copy(name.begin(), name.end(), rec.begin() + FILE_CHUNK_NAME_OFFSET);
    std::copy(part.begin(), part.end(), rec.begin() + FILE_CHUNK_DATA_OFFSET);
    out.push_back(rec);
  }
  return out;
}

struct Spool {
  Spool() {
    dir = fs::temp_directory_path() / ("brenna-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  ~Spool() { fs::remove_all(dir); }
  fs::path dir;
};

// A whole transfer of `state.range(0)` result bytes: every chunk written,
// the file decompressed and published.
void BM_ChunkWriterTransfer(benchmark::State& state) {
  Spool spool;
  std::mt19937 rng(1);
  std::string result(static_cast<size_t>(state.range(0)), '\0');
  // About one bit per byte: a full-size result still fits one transfer.
  for (char& c : result) c = static_cast<char>('0' + rng() % 2);
  const std::vector<std::string> chunks = Chunks("bench", GzipOf(result));
  SpoolIo io;
  for (auto _ : state) {
    int last = 0;
    for (const std::string& c : chunks)
      last = SaveRecvChunkIn(io, spool.dir.string(), c.data(), FILE_CHUNK_SIZE);
    if (last != kChunkPublished) state.SkipWithError("not published");
  }
  state.counters["chunks"] = static_cast<double>(chunks.size());
  state.counters["transfers/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ChunkWriterTransfer)->Arg(2000)->Arg(30000)->Arg(150000)->Unit(benchmark::kMicrosecond);

class NullDisplay : public IValueDisplay {
 public:
  void SetColors(COLORREF, COLORREF) override {}
  void SetText(std::string text) override { benchmark::DoNotOptimize(text); }
};
class NullBoard : public IDisplayBoard {
 public:
  IValueDisplay* ValueDisplay(int) override { return &display; }
  NullDisplay display;
};

// A spool file holding every routed item `state.range(0)` times, read and
// routed onto displays that draw nothing.
void BM_DecodeSpoolFile(benchmark::State& state) {
  Spool spool;
  std::vector<unsigned char> record(PALLIX_RECORD_MAX, 0);
  int size = WriteStdHead(record.data(), nullptr);
  size = WriteStdHead_Result(record.data(), PALLIX_RECORD_MAX, 7700, "25", 0);
  size = WriteStdHead_Result(record.data(), PALLIX_RECORD_MAX, 7701, "0815", 0);
  for (int round = 0; round < state.range(0); ++round)
    for (int code = 5000; code <= 5185; ++code)
      size = WriteStdHead_Result(record.data(), PALLIX_RECORD_MAX, code, "1234", 1 + code % 4);
  const std::string path = (spool.dir / "r.DOING").string();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(record.data()), size);
  std::vector<unsigned char> buffer(kResultBufferSize);
  NullBoard board;
  for (auto _ : state) ShowResultFile(path, buffer.data(), board);
  state.counters["items"] = 2 + 186.0 * static_cast<double>(state.range(0));
  state.counters["bytes"] = size;
}
BENCHMARK(BM_DecodeSpoolFile)->Arg(1)->Arg(20)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  SetPallixSystemDirectory(BRENNA_PALLIX_DIR);
  if (LoadPallix(1) != 1) {
    std::fprintf(stderr, "bench: libPallix not found in %s\n", BRENNA_PALLIX_DIR);
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  UnloadPallix();
  return 0;
}
