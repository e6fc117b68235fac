// ChunkBuilder - file-chunk records as a station sends them.
#ifndef BRENNA_TESTS_CHUNKBUILDER_H
#define BRENNA_TESTS_CHUNKBUILDER_H

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "PallixByteOrder.h"
#include "PallixWire.h"

// One 2048-byte chunk record.
inline std::string ChunkRecord(const std::string& name, int total, int index, int count,
                               const std::string& payload) {
  std::string rec(FILE_CHUNK_SIZE, '\0');
  auto* p = reinterpret_cast<unsigned char*>(rec.data());
  PallixPutU16(p + FILE_CHUNK_TOTAL_OFFSET, static_cast<uint16_t>(total));
  PallixPutU16(p + FILE_CHUNK_INDEX_OFFSET, static_cast<uint16_t>(index));
  PallixPutU16(p + FILE_CHUNK_COUNT_OFFSET, static_cast<uint16_t>(count));
  std::memcpy(p + FILE_CHUNK_NAME_OFFSET, name.data(),
              std::min<size_t>(name.size(), FILE_CHUNK_NAME_SIZE));
  std::memcpy(p + FILE_CHUNK_DATA_OFFSET, payload.data(),
              std::min<size_t>(payload.size(), FILE_CHUNK_DATA_SIZE));
  return rec;
}

// The chunk records of a whole file, in index order.
inline std::vector<std::string> ChunkRecords(const std::string& name, const std::string& file) {
  std::vector<std::string> out;
  const int total = static_cast<int>(file.size());
  for (size_t off = 0, index = 0; off < file.size(); off += FILE_CHUNK_DATA_SIZE, ++index) {
    std::string part = file.substr(off, FILE_CHUNK_DATA_SIZE);
    out.push_back(
        ChunkRecord(name, total, static_cast<int>(index), static_cast<int>(part.size()), part));
  }
  return out;
}

#endif  // BRENNA_TESTS_CHUNKBUILDER_H
