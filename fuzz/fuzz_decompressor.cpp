// Any bytes as a compressed file: a bounded answer, never more output than
// allowed, and whatever decodes survives our own gzip round trip.
#include <cstdint>
#include <vector>

#include "Compression.h"

using namespace pallix::compression;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A small bound keeps runs fast; the code paths are those of 1 MiB.
  constexpr size_t kBound = 64 * 1024;
  std::vector<unsigned char> out;
  const int rc = Inflate(data, size, kBound, &out);
  if (rc != 1 && rc != kCorrupt && rc != kTooLarge) __builtin_trap();
  if (out.size() > kBound) __builtin_trap();
  if (rc != 1 && !out.empty()) __builtin_trap();
  if (rc == 1) {
    std::vector<unsigned char> packed, again;
    if (Gzip(out.data(), out.size(), &packed) != 1) __builtin_trap();
    if (Inflate(packed.data(), packed.size(), kBound, &again) != 1 || again != out)
      __builtin_trap();
  }
  return 0;
}
