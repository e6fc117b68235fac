// Compression - the compressed files that travel from a station to the
// monitor: gzip (RFC 1952) or zlib (RFC 1950) streams, told apart by their
// header. The writer produces gzip. Output is bounded so that a small
// hostile file cannot fill the disk or the memory (no zip bombs).
#ifndef PALLIX_COMPRESSION_H
#define PALLIX_COMPRESSION_H

#include <cstddef>
#include <string>
#include <vector>

#include "Pallix.h"
#include "PallixWire.h"

namespace pallix::compression {

// The most bytes a decompressed file may have: one result record, the
// most the monitor can show.
inline constexpr std::size_t kMaxOutput = PALLIX_RECORD_MAX;
// The most bytes a compressed file may have (2 MiB).
inline constexpr std::size_t kMaxInput = 2u << 20;
// The most bytes CompressFile takes in: what UnCompressFile gives back.
inline constexpr std::size_t kMaxCompressInput = kMaxOutput;
// The most bytes CompressFile gives out: what one transfer carries.
inline constexpr std::size_t kMaxCompressOutput = FILE_CHUNK_MAX_TOTAL;
// Name of UnCompressFile's output in the destination directory.
inline constexpr const char* kOutputName = PALLIX_UNCOMPRESS_OUTPUT;
// Longest path built here (the system's 260-byte path buffers).
inline constexpr std::size_t kMaxPath = 259;

// Results: 1 done, or one of these.
inline constexpr int kBadArgument = -1;  // null or empty path
inline constexpr int kPathTooLong = -2;  // an output path beyond kMaxPath
inline constexpr int kCannotRead = -3;   // the source cannot be read
inline constexpr int kCorrupt = -4;      // not gzip/zlib, damaged, truncated, trailing bytes
inline constexpr int kTooLarge = -5;     // input or output beyond its bound
inline constexpr int kCannotWrite = -6;  // the output cannot be written
// UnCompressFile: the file would decompress to more than kMaxOutput.
inline constexpr int kRecordTooLarge = PALLIX_UNCOMPRESS_TOO_LARGE;
// CompressFile: an empty source, which is no result.
inline constexpr int kEmptySource = PALLIX_COMPRESS_EMPTY;
// CompressFile: the gzip would exceed kMaxCompressOutput.
inline constexpr int kPackedTooLarge = PALLIX_COMPRESS_TOO_LARGE;
// The output cannot be stored now (no space, over quota, read-only file
// system, I/O error); the same call may succeed later.
inline constexpr int kNoRoom = PALLIX_UNCOMPRESS_NO_ROOM;
// Short of file descriptors now; may work later.
inline constexpr int kNoDescriptors = PALLIX_UNCOMPRESS_NO_DESCRIPTORS;

// Decompresses a gzip or zlib stream (gzip may have several members, as
// concatenated .gz files do) into out, refusing more than maxOutput bytes.
int Inflate(const unsigned char* in, std::size_t inLength, std::size_t maxOutput,
            std::vector<unsigned char>* out);
// Compresses into a gzip stream.
int Gzip(const unsigned char* in, std::size_t inLength, std::vector<unsigned char>* out);

// UnCompressFile: decompresses src into <dir>/rtdata.dat. Only a regular
// file is read, and the output never goes through a link. The output
// appears whole or not at all (written beside, then renamed); after a
// failure there is no rtdata.dat in dir.
int UnCompressFile(const char* src, const char* dir);
// CompressFile: gzip of src into dst (replaced whole, or left alone). Only
// what one transfer can carry: src not empty, the gzip at most
// kMaxCompressOutput bytes.
int CompressFile(const char* src, const char* dst);

// Reads a whole regular file of at most maxLength bytes: 1, kCannotRead or
// kTooLarge.
int ReadWholeFile(const std::string& path, std::size_t maxLength, std::vector<unsigned char>* out);
// Writes data to path through a temporary file beside it and a rename:
// 1, kCannotWrite or kNoRoom.
int WriteFileAtomically(const std::string& path, const unsigned char* data, std::size_t length);

}  // namespace pallix::compression

#endif  // PALLIX_COMPRESSION_H
