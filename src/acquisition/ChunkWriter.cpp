#include "acquisition/ChunkWriter.h"

#include <cstring>
#include <memory>
#include <new>

#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "acquisition/SpoolIo.h"
#include "app/Globals.h"
#include "platform/FileOps.h"

namespace {

// Paths are held to what a 260-byte buffer takes.
constexpr size_t kMaxPath = 259;

const char kChunkSuffix[] = ".compress";
const char kResultSuffix[] = ".DOING";
// Publication goes through this name first; the scan never matches it.
const char kPartSuffix[] = ".DOING.part";
const char kUncompressedName[] = "rtdata.dat";

struct FileChunk {
  int total;
  int index;
  int count;
  std::string name;
  bool nameTerminated;
  const unsigned char* data;
};

FileChunk Decode(const unsigned char* record) {
  FileChunk c;
  c.total = PallixGetI16(record + FILE_CHUNK_TOTAL_OFFSET);
  c.index = PallixGetI16(record + FILE_CHUNK_INDEX_OFFSET);
  c.count = PallixGetI16(record + FILE_CHUNK_COUNT_OFFSET);
  const char* name = reinterpret_cast<const char*>(record + FILE_CHUNK_NAME_OFFSET);
  const void* nul = std::memchr(name, 0, FILE_CHUNK_NAME_SIZE);
  c.nameTerminated = nul != nullptr;
  c.name.assign(name, c.nameTerminated ? static_cast<const char*>(nul) - name : 0);
  c.data = record + FILE_CHUNK_DATA_OFFSET;
  return c;
}

std::string Join(const std::string& dir, const std::string& name) { return JoinPath(dir, name); }

}  // namespace

bool IsUsableTransferName(const std::string& name) {
  return PallixIsUsableTransferName(name.data(), name.size()) != 0;
}

int SaveRecvChunk(const void* data, int length) {
  SpoolIo io;
  return SaveRecvChunkIn(io, SiteSpoolDirectory(), data, length);
}

int SaveRecvChunkIn(SpoolIo& io, const std::string& spoolDir, const void* data, int length) {
  // 1. A zeroed record with the frame's bytes over its start. Nothing beyond
  //    the record is ever read or written.
  if (length < 0 || length > FILE_CHUNK_SIZE) return kChunkOutOfRange;
  unsigned char record[FILE_CHUNK_SIZE] = {};
  if (length > 0) std::memcpy(record, data, static_cast<size_t>(length));
  const FileChunk chunk = Decode(record);

  // 2. The name first, then the total.
  if (chunk.name.empty()) return kChunkBadName;
  if (!chunk.nameTerminated || !IsUsableTransferName(chunk.name)) return kChunkBadName;
  if (chunk.total <= 0) return kChunkBadTotal;
  if (chunk.index < 0 || chunk.count < 0 || chunk.count > FILE_CHUNK_DATA_SIZE)
    return kChunkOutOfRange;

  // 3. The chunk file path.
  const std::string chunkPath = Join(spoolDir, chunk.name + kChunkSuffix);
  if (spoolDir.empty() || chunkPath.size() > kMaxPath) return kChunkOutOfRange;

  // 4. A slot that ends beyond the announced total makes the file longer
  //    than total: the transfer is abandoned, as it would be after writing
  //    the slot, but without writing it first.
  const long slot = static_cast<long>(chunk.index) * FILE_CHUNK_DATA_SIZE;
  if (slot + chunk.count > chunk.total) {
    io.Remove(chunkPath);
    return kChunkStored;
  }

  // 5. Write the slot and take the file's length. A file that cannot be
  //    opened or written (no spool directory, disk full) loses this chunk.
  long fileLength = 0;
  if (!io.WriteAt(chunkPath, slot, chunk.data, static_cast<size_t>(chunk.count), &fileLength))
    return kChunkStored;

  // 6. Complete only when the length equals total.
  if (fileLength > chunk.total) {
    io.Remove(chunkPath);
    return kChunkStored;
  }
  if (fileLength < chunk.total) return kChunkStored;

  // 7. Decompress; on failure the complete file stays and every further
  //    chunk of the name tries again.
  if (io.UnCompress(chunkPath, spoolDir) <= 0) return kChunkStored;
  io.Remove(chunkPath);

  // 8. Copy rtdata.dat through the result buffer.
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kResultMax]);
  if (!buffer) return kChunkStored;
  const std::string rtdata = Join(spoolDir, kUncompressedName);
  size_t n = 0;
  SpoolIo::ReadResult read = io.ReadAll(rtdata, buffer.get(), kResultMax, &n);
  if (read == SpoolIo::ReadResult::kMissing) return kChunkStored;
  io.Remove(rtdata);
  // A result longer than the display can read is dropped whole, never cut.
  if (read != SpoolIo::ReadResult::kOk) return kChunkStored;

  // 9. Publish in one step: write aside, then rename over "<name>.DOING",
  //    so the scan never sees a half-written result.
  const std::string part = Join(spoolDir, chunk.name + kPartSuffix);
  const std::string result = Join(spoolDir, chunk.name + kResultSuffix);
  if (!io.WriteAll(part, buffer.get(), n)) {
    io.Remove(part);
    return kChunkStored;
  }
  if (!io.Rename(part, result)) {
    io.Remove(part);
    return kChunkStored;
  }
  return kChunkPublished;
}
