// Any sequence of frames at the chunk writer: each frame is a 32-bit length
// (as the wire carries it) and up to 2048 bytes of data field. The spool
// directory is the only entry of a private parent; after every input nothing
// may exist beside it, nothing inside it may be a directory or a link, and
// no file may outgrow what the writer allows.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "Compression.h"
#include "FuzzScratch.h"
#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "acquisition/ChunkWriter.h"
#include "acquisition/SpoolIo.h"

namespace fs = std::filesystem;

namespace {

// The writer's file layer with libPallix's decompression called directly,
// so completed files are really decompressed and published.
class DirectSpoolIo : public SpoolIo {
 public:
  int UnCompress(const std::string& path, const std::string& dir) override {
    return pallix::compression::UnCompressFile(path.c_str(), dir.c_str());
  }
};

// Frames per input; enough for a whole 17-chunk transfer and some more.
constexpr int kMaxFrames = 24;

void CheckSpool(const fs::path& parent, const fs::path& spool) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(parent, ec)) {
    if (e.path() != spool) FuzzScratch::Fail("a file appeared beside the spool directory");
  }
  if (ec) FuzzScratch::Fail("cannot list the parent directory");
  if (!fs::is_directory(fs::symlink_status(spool)))
    FuzzScratch::Fail("the spool directory is gone or replaced");
  for (const auto& e : fs::directory_iterator(spool, ec)) {
    const fs::file_status st = fs::symlink_status(e.path());
    if (!fs::is_regular_file(st)) FuzzScratch::Fail("a directory or link inside the spool");
    const std::string name = e.path().filename().string();
    const auto size = fs::file_size(e.path());
    const bool chunkFile = name.size() > 9 && name.compare(name.size() - 9, 9, ".compress") == 0;
    if (chunkFile && size > FILE_CHUNK_MAX_TOTAL)
      FuzzScratch::Fail("a chunk file beyond 32767 bytes");
    if (!chunkFile && size > static_cast<std::uintmax_t>(kResultMax))
      FuzzScratch::Fail("a spool file beyond the result limit");
  }
  if (ec) FuzzScratch::Fail("cannot list the spool directory");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzScratch scratch;
  const fs::path spool = scratch.root() / "spool";
  std::error_code ec;
  fs::create_directory(spool, ec);
  if (ec) FuzzScratch::Fail("cannot make the spool directory");

  DirectSpoolIo io;
  size_t pos = 0;
  for (int frame = 0; frame < kMaxFrames && pos + 4 <= size; ++frame) {
    const int length = static_cast<int>(PallixGetU32(data + pos));
    pos += 4;
    // The frame's data field as the reader delivers it: 2048 bytes, zero
    // where the input runs out.
    unsigned char field[NET_FRAME_DATA_SIZE] = {};
    const size_t n = size - pos < sizeof field ? size - pos : sizeof field;
    std::memcpy(field, data + pos, n);
    pos += n;

    const int rc = SaveRecvChunkIn(io, spool.string(), field, length);
    if ((rc < kChunkSpoolUnwritable && rc != kChunkTooLarge) || rc > kChunkPublished)
      FuzzScratch::Fail("unknown result");
    if (rc == kChunkSpoolUnwritable) FuzzScratch::Fail("a writable spool reported unwritable");
    if (rc == kChunkPublished) {
      // The published name is the chunk's own, and its file is in the spool.
      const char* name = reinterpret_cast<const char*>(field + FILE_CHUNK_NAME_OFFSET);
      const void* nul = std::memchr(name, 0, FILE_CHUNK_NAME_SIZE);
      if (nul == nullptr) FuzzScratch::Fail("published an unterminated name");
      const std::string doing = std::string(name, static_cast<const char*>(nul)) + ".DOING";
      if (!fs::is_regular_file(spool / doing)) FuzzScratch::Fail("published without a .DOING file");
      if (fs::exists(spool / "rtdata.dat")) FuzzScratch::Fail("rtdata.dat left after publishing");
    }
    CheckSpool(scratch.root(), spool);
  }
  scratch.Empty();
  return 0;
}
