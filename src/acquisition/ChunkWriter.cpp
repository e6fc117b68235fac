#include "acquisition/ChunkWriter.h"

#include <cstring>
#include <memory>
#include <new>

#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "acquisition/SpoolIo.h"
#include "acquisition/SpoolNames.h"
#include "app/Globals.h"
#include "platform/FileOps.h"

namespace {

// Paths are held to what a 260-byte buffer takes.
constexpr size_t kMaxPath = 259;

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
  const std::string chunkPath = Join(spoolDir, chunk.name + kChunkFileSuffix);
  if (spoolDir.empty() || chunkPath.size() > kMaxPath) return kChunkOutOfRange;

  // 4. A slot that ends beyond the announced total makes the file longer
  //    than total: the transfer is abandoned, as it would be after writing
  //    the slot, but without writing it first.
  const long slot = static_cast<long>(chunk.index) * FILE_CHUNK_DATA_SIZE;
  if (slot + chunk.count > chunk.total) {
    io.Remove(chunkPath);
    return kChunkStored;
  }

  // 5. A leftover this transfer cannot continue goes first, so the chunk
  //    starts a fresh file: one longer than the total (another file of the
  //    same name) or one nobody has written to for kAbandonedAfter.
  SpoolIo::FileInfo leftover;
  if (io.Inspect(chunkPath, &leftover) == SpoolIo::Result::kOk &&
      (leftover.size > chunk.total || IsAbandonedAge(leftover.age)))
    io.Remove(chunkPath);

  // 6. Write the slot and take the file's length. A spool directory that
  //    has gone is made again. A spool that cannot be written now keeps
  //    nothing of the chunk and asks for it again; anything else (a planted
  //    non-file under the name, no permission) loses this chunk.
  long fileLength = 0;
  SpoolIo::Result written =
      io.WriteAt(chunkPath, slot, chunk.data, static_cast<size_t>(chunk.count), &fileLength);
  if (written == SpoolIo::Result::kMissing) {
    if (io.MakeDirectory(spoolDir) != SpoolIo::Result::kOk) return kChunkSpoolUnwritable;
    written =
        io.WriteAt(chunkPath, slot, chunk.data, static_cast<size_t>(chunk.count), &fileLength);
  }
  if (written == SpoolIo::Result::kNoRoom || written == SpoolIo::Result::kMissing)
    return kChunkSpoolUnwritable;
  if (written != SpoolIo::Result::kOk) return kChunkStored;

  // 7. Complete only when the length equals total.
  if (fileLength > chunk.total) {
    io.Remove(chunkPath);
    return kChunkStored;
  }
  if (fileLength < chunk.total) return kChunkStored;

  // 8. Decompress. The complete chunk file stays until its result is
  //    published, so a spool that fills up on the way loses nothing: the
  //    same chunk, handed in again, completes it again.
  const int unpacked = io.UnCompress(chunkPath, spoolDir);
  if (unpacked == PALLIX_UNCOMPRESS_NO_ROOM) return kChunkSpoolUnwritable;
  if (unpacked == PALLIX_UNCOMPRESS_TOO_LARGE) {
    // More than a record: no later chunk can change that.
    io.Remove(chunkPath);
    return kChunkStored;
  }
  // A gap or damage: the file stays and every further chunk tries again.
  if (unpacked <= 0) return kChunkStored;

  // 9. Copy rtdata.dat through the result buffer.
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kResultMax]);
  if (!buffer) return kChunkStored;
  const std::string rtdata = Join(spoolDir, kUncompressedName);
  size_t n = 0;
  const SpoolIo::Result read = io.ReadAll(rtdata, buffer.get(), kResultMax, &n);
  if (read != SpoolIo::Result::kMissing && read != SpoolIo::Result::kNotRegular) io.Remove(rtdata);
  if (read == SpoolIo::Result::kNoRoom) return kChunkSpoolUnwritable;
  if (read != SpoolIo::Result::kOk) {
    // Lost: a result longer than the display can read is dropped whole,
    // never cut.
    io.Remove(chunkPath);
    return kChunkStored;
  }

  // 10. Publish in one step: write aside and flush, then rename over
  //     "<name>.DOING", so the scan never sees a half-written result, not
  //     even after a power loss.
  const std::string result = Join(spoolDir, chunk.name + kResultFileSuffix);
  const std::string part = result + kPartFileSuffix;
  SpoolIo::Result published = io.WriteAll(part, buffer.get(), n);
  const bool partIsOurs = published != SpoolIo::Result::kNotRegular;
  if (published == SpoolIo::Result::kOk) published = io.Rename(part, result);
  if (published != SpoolIo::Result::kOk) {
    if (partIsOurs) io.Remove(part);
    if (published == SpoolIo::Result::kNoRoom) return kChunkSpoolUnwritable;
    io.Remove(chunkPath);
    return kChunkStored;
  }
  io.Remove(chunkPath);
  return kChunkPublished;
}
