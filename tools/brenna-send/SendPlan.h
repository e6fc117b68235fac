// SendPlan - in which order, how often and under which name a station sends
// the chunks of its transfers. Kept apart from the sending so that the
// order a seed gives can be reproduced and checked.
#ifndef BRENNA_TOOLS_SENDPLAN_H
#define BRENNA_TOOLS_SENDPLAN_H

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace brenna_send {

enum class ChunkOrder { kInOrder, kReversed, kShuffled };

// The generator of one station's shuffles: the same seed and station give
// the same orders on every machine.
std::mt19937 StationShuffler(std::uint32_t seed, int station);

// A number in [0, bound) from the generator, with no bias (bound > 0). The
// standard distributions differ between libraries; this does not.
std::size_t DrawBelow(std::mt19937& rng, std::size_t bound);

// The chunk numbers of a transfer of frameCount chunks, in sending order.
// With `duplicate` each chunk goes out twice, the copy right after it. Only
// a shuffle draws from rng.
std::vector<std::size_t> FrameSequence(std::size_t frameCount, ChunkOrder order, bool duplicate,
                                       std::mt19937& rng);

// The transfer name of one send: the file's base name, "-s<station>" when
// several stations send (so that their transfers do not mix on the
// monitor), and "-<round>" when the files are sent several times (so that a
// round does not replace the previous one before it is shown). station and
// round count from 1.
std::string TransferName(const std::string& base, int station, int stations, int round,
                         int repeats);

}  // namespace brenna_send

#endif  // BRENNA_TOOLS_SENDPLAN_H
