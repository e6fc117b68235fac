#include "ChunkFrames.h"

#include <algorithm>
#include <cstring>

#include "PallixByteOrder.h"

namespace brenna_send {

bool CutIntoFrames(const std::vector<unsigned char>& compressed, const std::string& gbkName,
                   std::vector<Frame>* frames, std::string* error) {
  frames->clear();
  if (compressed.empty() || compressed.size() > FILE_CHUNK_MAX_TOTAL) {
    *error = "the compressed file has " + std::to_string(compressed.size()) +
             " bytes; a transfer carries 1 to " + std::to_string(FILE_CHUNK_MAX_TOTAL);
    return false;
  }
  // The monitor uses the name in file names as it is and drops a transfer
  // whose name breaks its rule; refuse it here, where the station can say so.
  if (!PallixIsUsableTransferName(gbkName.data(), gbkName.size())) {
    *error = std::string("the transfer name is refused by the monitor: ") + kTransferNameRule;
    return false;
  }
  const size_t total = compressed.size();
  for (size_t index = 0, offset = 0; offset < total; ++index, offset += FILE_CHUNK_DATA_SIZE) {
    const size_t count = std::min<size_t>(FILE_CHUNK_DATA_SIZE, total - offset);
    Frame f{};
    unsigned char* d = f.data() + NET_FRAME_DATA_OFFSET;
    PallixPutU16(d + FILE_CHUNK_TOTAL_OFFSET, static_cast<uint16_t>(total));
    PallixPutU16(d + FILE_CHUNK_INDEX_OFFSET, static_cast<uint16_t>(index));
    PallixPutU16(d + FILE_CHUNK_COUNT_OFFSET, static_cast<uint16_t>(count));
    std::memcpy(d + FILE_CHUNK_NAME_OFFSET, gbkName.data(), gbkName.size());
    std::memcpy(d + FILE_CHUNK_DATA_OFFSET, compressed.data() + offset, count);

    PallixPutU32(f.data() + NET_FRAME_MAGIC_OFFSET, NET_FRAME_MAGIC);
    PallixPutU32(f.data() + NET_FRAME_COMMAND_OFFSET, NET_CMD_FILE_CHUNK);
    PallixPutU32(f.data() + NET_FRAME_LENGTH_OFFSET,
                 static_cast<uint32_t>(FILE_CHUNK_DATA_OFFSET + count));
    PallixPutU32(f.data() + NET_FRAME_TRAILER_OFFSET, NET_FRAME_TRAILER);
    frames->push_back(f);
  }
  return true;
}

}  // namespace brenna_send
