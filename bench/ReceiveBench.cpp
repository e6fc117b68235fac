// The monitor's own data path, without network or window: the chunk writer
// putting a transfer together in a spool directory, the record parser
// walking a full record, and the decoder turning a spool file into display
// updates. Prints figures only; at the end, the time of a full record over
// that of a half one (2.0 means decoding is linear in the record's size).
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "acquisition/ChunkWriter.h"
#include "acquisition/SpoolIo.h"
#include "monitor/ResultDecoder.h"
#include "platform/PallixBinding.h"

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

// Every iteration writes all chunks of one transfer; the last one must
// publish the result.
void SendTransfers(benchmark::State& state, const Spool& spool,
                   const std::vector<std::string>& chunks) {
  SpoolIo io;
  for (auto _ : state) {
    int last = 0;
    for (const std::string& c : chunks)
      last = SaveRecvChunkIn(io, spool.dir.string(), c.data(), FILE_CHUNK_SIZE);
    if (last != kChunkPublished) state.SkipWithError("not published");
  }
}

// A whole transfer of `state.range(0)` result bytes: every chunk written,
// the file decompressed and published.
void BM_ChunkWriterTransfer(benchmark::State& state) {
  Spool spool;
  std::mt19937 rng(1);
  std::string result(static_cast<size_t>(state.range(0)), '\0');
  // About one bit per byte: a full-size result still fits one transfer.
  for (char& c : result) c = static_cast<char>('0' + rng() % 2);
  const std::vector<std::string> chunks = Chunks("bench", GzipOf(result));
  SendTransfers(state, spool, chunks);
  state.counters["chunks"] = static_cast<double>(chunks.size());
  state.counters["transfers/s"] =
      benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ChunkWriterTransfer)
    ->Arg(2000)
    ->Arg(30000)
    ->Arg(150000)
    ->Unit(benchmark::kMicrosecond);

// The compressed file of the largest transfer: random bytes do not shrink,
// so the gzip stream comes out just under 32,767 bytes, 17 chunks.
std::string LargestTransferFile() {
  std::mt19937 rng(7);
  std::string raw(32700, '\0');
  for (char& c : raw) c = static_cast<char>(rng());
  std::string file = GzipOf(raw);
  while (file.size() > 32767) {
    raw.resize(raw.size() - (file.size() - 32767));
    file = GzipOf(raw);
  }
  return file;
}

// One chunk into its slot: open, seek, write, close. The chunks go round
// slots 0 to 15 of a 17-chunk file, so it never completes.
void BM_ChunkWriterOneChunk(benchmark::State& state) {
  Spool spool;
  const std::vector<std::string> chunks = Chunks("one", LargestTransferFile());
  SpoolIo io;
  size_t k = 0;
  for (auto _ : state) {
    const int r = SaveRecvChunkIn(io, spool.dir.string(), chunks[k].data(), FILE_CHUNK_SIZE);
    if (r != kChunkHandled) state.SkipWithError("chunk not stored");
    k = (k + 1) % (chunks.size() - 1);
  }
  state.counters["chunks/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ChunkWriterOneChunk)->Unit(benchmark::kMicrosecond);

// A whole 17-chunk file: every chunk written, the file decompressed, the
// result published as "<name>.DOING" (written aside and renamed).
void BM_ChunkWriterLargestFile(benchmark::State& state) {
  Spool spool;
  const std::string file = LargestTransferFile();
  const std::vector<std::string> chunks = Chunks("largest", file);
  SendTransfers(state, spool, chunks);
  state.counters["chunks"] = static_cast<double>(chunks.size());
  state.counters["file_bytes"] = static_cast<double>(file.size());
  state.counters["files/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ChunkWriterLargestFile)->Unit(benchmark::kMicrosecond);

// A record of short values filled to 150,000 bytes, or holding half as many
// items: the item count goes in *items.
std::vector<unsigned char> RecordOfItems(bool half, int* items) {
  std::vector<unsigned char> record(PALLIX_RECORD_MAX, 0);
  WriteStdHead(record.data(), nullptr);
  std::vector<unsigned char> probe = record;
  int full = 0;
  for (int code = 5000;; code = code == 5185 ? 5000 : code + 1, ++full)
    if (WriteStdHead_Result(probe.data(), PALLIX_RECORD_MAX, code, "12.5", 1 + code % 4) <= 0)
      break;
  *items = half ? full / 2 : full;
  for (int i = 0, code = 5000; i < *items; ++i, code = code == 5185 ? 5000 : code + 1)
    WriteStdHead_Result(record.data(), PALLIX_RECORD_MAX, code, "12.5", 1 + code % 4);
  return record;
}

// What the decoder asks of the library for one record: the header, then
// every item by its position, through the monitor's binding.
void BM_ParseRecord(benchmark::State& state) {
  int items = 0;
  const std::vector<unsigned char> record = RecordOfItems(state.range(0) == 1, &items);
  char value[PALLIX_VALUE_SIZE];
  for (auto _ : state) {
    StdHead head;
    PallixStdHeadPreset(&head);
    ParseStdHead(record.data(), &head);
    const int count = PallixGetU16(head.bytes + PALLIX_STD_HEAD_COUNT_OFFSET);
    int code = 0, judge = 0;
    for (int i = 0; i < count; ++i)
      benchmark::DoNotOptimize(ParseStdHead_ResultAll_Idx(record.data(), i, &code, value, &judge));
    if (count != items) state.SkipWithError("header count differs from the items written");
  }
  state.counters["items"] = items;
  state.counters["items/s"] =
      benchmark::Counter(items, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ParseRecord)->ArgName("half")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

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
  std::vector<unsigned char> buffer(kResultBufferSize);
  std::mutex spoolLock;  // the lock the chunk writer publishes under
  NullBoard board;
  for (auto _ : state) {
    // The decoder takes the file out of the spool: publish it again, untimed.
    state.PauseTiming();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(record.data()), size);
    state.ResumeTiming();
    TakeAndShowResultFile(path, buffer.data(), board, spoolLock);
  }
  state.counters["items"] = 2 + 186.0 * static_cast<double>(state.range(0));
  state.counters["bytes"] = size;
}
BENCHMARK(BM_DecodeSpoolFile)->Arg(1)->Arg(20)->Unit(benchmark::kMicrosecond);

// The console report, plus the full-over-half ratio of BM_ParseRecord.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, as the library's own report does by default.
  RatioReporter() : ConsoleReporter(::isatty(1) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto full = m_times.find("BM_ParseRecord/half:0");
    const auto half = m_times.find("BM_ParseRecord/half:1");
    if (full != m_times.end() && half != m_times.end() && half->second > 0)
      std::printf("record parse, full over half: %.2f (2.00 is linear)\n",
                  full->second / half->second);
  }

 private:
  std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv) {
  SetPallixSystemDirectory(BRENNA_PALLIX_DIR);
  if (LoadPallix(1) != 1) {
    std::fprintf(stderr, "bench: libPallix not found in %s\n", BRENNA_PALLIX_DIR);
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  UnloadPallix();
  return 0;
}
