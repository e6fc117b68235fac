// Decoding a full 150,000-byte record the way the monitor does: the header,
// then every item by index. The figure to watch is bytes per second staying
// flat whatever the item count (indexed access is constant time).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "Pallix.h"
#include "RecordFormat.h"
#include "RecordReader.h"
#include "RecordWriter.h"

using namespace pallix::record;

namespace {

// A record filled up to kRecordMax with values of `valueLength` bytes.
std::vector<unsigned char> FullRecord(size_t valueLength) {
  std::vector<unsigned char> rec(kRecordMax, 0);
  StartRecord(rec.data(), nullptr);
  const std::string value(valueLength, '7');
  int code = 5000;
  while (AppendItem(rec.data(), static_cast<int>(rec.size()), code, value.c_str(), 1) > 0)
    code = code == 5185 ? 5000 : code + 1;
  return rec;
}

void BM_DecodeFullRecordByIndex(benchmark::State& state) {
  const std::vector<unsigned char> rec = FullRecord(static_cast<size_t>(state.range(0)));
  StdHead head;
  size_t items = 0;
  for (auto _ : state) {
    PallixStdHeadPreset(&head);
    ParseHead(rec.data(), &head);
    const int count = head.bytes[12] | head.bytes[13] << 8;
    char value[PALLIX_VALUE_SIZE];
    int code = 0, judge = 0;
    for (int i = 0; i < count; ++i) {
      benchmark::DoNotOptimize(ItemAt(rec.data(), i, &code, value, &judge));
    }
    items += static_cast<size_t>(count);
  }
  state.SetItemsProcessed(static_cast<int64_t>(items));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRecordMax));
  state.counters["items_per_record"] = static_cast<double>(items) / state.iterations();
}
// Value lengths: empty (10,712 items), typical short values, the longest.
BENCHMARK(BM_DecodeFullRecordByIndex)->Arg(0)->Arg(8)->Arg(511)->Unit(benchmark::kMicrosecond);

void BM_FindItemByCode(benchmark::State& state) {
  const std::vector<unsigned char> rec = FullRecord(8);
  char value[PALLIX_VALUE_SIZE];
  int judge = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FindByCode(rec.data(), 7700, value, &judge));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRecordMax));
}
// The worst case: an absent code means checking the whole record.
BENCHMARK(BM_FindItemByCode)->Unit(benchmark::kMicrosecond);

}  // namespace
