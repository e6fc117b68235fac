#include "SendPlan.h"

#include <limits>
#include <utility>

namespace brenna_send {

std::mt19937 StationShuffler(std::uint32_t seed, int station) {
  std::seed_seq seq{seed, static_cast<std::uint32_t>(station)};
  return std::mt19937(seq);
}

std::size_t DrawBelow(std::mt19937& rng, std::size_t bound) {
  // mt19937 gives 32 bits; a transfer has at most 17 chunks.
  const std::uint64_t range = std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + 1;
  const std::uint64_t b = bound;
  const std::uint64_t limit = range - range % b;  // draws at or above it would favour low numbers
  std::uint64_t x;
  do {
    x = rng();
  } while (x >= limit);
  return static_cast<std::size_t>(x % b);
}

std::vector<std::size_t> FrameSequence(std::size_t frameCount, ChunkOrder order, bool duplicate,
                                       std::mt19937& rng) {
  std::vector<std::size_t> chunks(frameCount);
  for (std::size_t i = 0; i < frameCount; ++i) {
    chunks[i] = order == ChunkOrder::kReversed ? frameCount - 1 - i : i;
  }
  if (order == ChunkOrder::kShuffled) {
    for (std::size_t i = frameCount; i > 1; --i)
      std::swap(chunks[i - 1], chunks[DrawBelow(rng, i)]);
  }
  if (!duplicate) return chunks;
  std::vector<std::size_t> twice;
  twice.reserve(2 * frameCount);
  for (std::size_t c : chunks) {
    twice.push_back(c);
    twice.push_back(c);
  }
  return twice;
}

std::string TransferName(const std::string& base, int station, int stations, int round,
                         int repeats) {
  std::string name = base;
  if (stations > 1) name += "-s" + std::to_string(station);
  if (repeats > 1) name += "-" + std::to_string(round);
  return name;
}

}  // namespace brenna_send
