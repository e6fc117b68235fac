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

// The frames of one transfer, chunk 0 first. gbkName is the transfer name
// (1 to 99 bytes, no '/' or '\\'); the file must hold 1 to 32767 bytes.
bool CutIntoFrames(const std::vector<unsigned char>& compressed, const std::string& gbkName,
                   std::vector<Frame>* frames, std::string* error);

}  // namespace brenna_send

#endif  // BRENNA_TOOLS_CHUNKFRAMES_H
