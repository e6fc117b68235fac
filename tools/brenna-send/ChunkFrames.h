// ChunkFrames - cuts a compressed file into the frames a station sends:
// one FileChunk of at most 1942 payload bytes per command-994 frame.
#ifndef BRENNA_TOOLS_CHUNKFRAMES_H
#define BRENNA_TOOLS_CHUNKFRAMES_H

#include <array>
#include <string>
#include <vector>

#include "PallixWire.h"

namespace brenna_send {

using Frame = std::array<unsigned char, NET_FRAME_SIZE>;

// The monitor's rule for transfer names (PallixIsUsableTransferName), as
// the messages of a refusal say it.
inline constexpr const char* kTransferNameRule =
    "it must have 1 to 99 GBK bytes, not be \".\" or \"..\", and hold no '/', '\\', "
    "control character, nor any of ? * \" < > | (no Windows file name may)";

// The frames of one transfer, chunk 0 first. gbkName is the transfer name
// (kTransferNameRule); the file must hold 1 to 32767 bytes.
bool CutIntoFrames(const std::vector<unsigned char>& compressed, const std::string& gbkName,
                   std::vector<Frame>* frames, std::string* error);

}  // namespace brenna_send

#endif  // BRENNA_TOOLS_CHUNKFRAMES_H
