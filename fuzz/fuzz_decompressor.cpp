// Any bytes as a compressed file, in memory and through files: a bounded
// answer, never more output than allowed, whatever decodes survives our own
// gzip round trip, and UnCompressFile leaves either exactly the decoded
// bytes in rtdata.dat or no rtdata.dat at all, and nothing else behind.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Compression.h"
#include "FuzzScratch.h"

namespace fs = std::filesystem;
using namespace pallix::compression;

namespace {

void InMemory(const uint8_t* data, size_t size) {
  // A small bound keeps runs fast; the code paths are those of a record.
  constexpr size_t kBound = 64 * 1024;
  std::vector<unsigned char> out;
  const int rc = Inflate(data, size, kBound, &out);
  if (rc != 1 && rc != kCorrupt && rc != kTooLarge) FuzzScratch::Fail("unknown Inflate result");
  if (out.size() > kBound) FuzzScratch::Fail("output beyond the bound");
  if (rc != 1 && !out.empty()) FuzzScratch::Fail("output kept after a failure");
  if (rc == 1) {
    std::vector<unsigned char> packed, again;
    if (Gzip(out.data(), out.size(), &packed) != 1) FuzzScratch::Fail("Gzip failed");
    if (Inflate(packed.data(), packed.size(), kBound, &again) != 1 || again != out)
      FuzzScratch::Fail("gzip round trip changed the bytes");
  }
}

void ThroughFiles(const uint8_t* data, size_t size) {
  static FuzzScratch scratch;
  const fs::path src = scratch.root() / "in.compress";
  const fs::path out = scratch.root() / "rtdata.dat";
  FuzzScratch::WriteBytes(src, data, size);
  // A stale output from an earlier file must never pass for this one's.
  const uint8_t stale[] = {'s', 't', 'a', 'l', 'e'};
  FuzzScratch::WriteBytes(out, stale, sizeof stale);

  std::vector<unsigned char> expected;
  int inMemory = Inflate(data, size, kMaxOutput, &expected);
  // Through a file, output beyond one record has a result of its own.
  if (inMemory == kTooLarge) inMemory = kRecordTooLarge;
  const int rc = UnCompressFile(src.c_str(), scratch.root().c_str());
  if (rc != inMemory) FuzzScratch::Fail("file and memory decoding disagree");
  if (rc == 1) {
    const std::string got = FuzzScratch::ReadBytes(out);
    if (got.size() != expected.size() ||
        (!got.empty() && std::memcmp(got.data(), expected.data(), got.size()) != 0))
      FuzzScratch::Fail("rtdata.dat differs from the decoded bytes");
  } else if (fs::exists(out)) {
    FuzzScratch::Fail("rtdata.dat left after a failure");
  }
  // Only the source and the output: no temporary left behind.
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(scratch.root(), ec))
    if (e.path() != src && e.path() != out) FuzzScratch::Fail("a temporary file was left behind");
  scratch.Empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InMemory(data, size);
  ThroughFiles(data, size);
  return 0;
}
