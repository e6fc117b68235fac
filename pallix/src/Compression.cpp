#include "Compression.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <random>
#include <system_error>

#include "platform/Files.h"

namespace pallix::compression {

namespace {

// zlib's windowBits: 15 plus 32 lets inflate recognise a gzip or a zlib
// header by itself; plus 16 makes deflate write gzip.
constexpr int kAutoDetectWindow = 15 + 32;
constexpr int kGzipWindow = 15 + 16;

bool IsGzipMagic(const unsigned char* p, std::size_t n) {
  return n >= 2 && p[0] == 0x1f && p[1] == 0x8b;
}

std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  unsigned tag = 0;
  try {
    std::random_device rd;
    tag = rd();
  } catch (const std::exception&) {
    // No source of randomness (it may need a descriptor the process does
    // not have): the clock and the counter still keep names apart.
    tag = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  char suffix[40];
  std::snprintf(suffix, sizeof suffix, ".%08x%04x" PALLIX_TEMPORARY_SUFFIX, tag,
                counter.fetch_add(1) & 0xffffu);
  return path + suffix;
}

}  // namespace

int Inflate(const unsigned char* in, std::size_t inLength, std::size_t maxOutput,
            std::vector<unsigned char>* out) {
  out->clear();
  if (inLength == 0) return kCorrupt;
  z_stream zs{};
  if (inflateInit2(&zs, kAutoDetectWindow) != Z_OK) return kCorrupt;
  zs.next_in = const_cast<Bytef*>(in);
  zs.avail_in = static_cast<uInt>(inLength);

  // Grow the buffer as output comes, one byte beyond the bound so that an
  // oversize stream shows itself without being decoded any further.
  std::size_t produced = 0;
  std::size_t room = std::min<std::size_t>(64 * 1024, maxOutput + 1);
  out->resize(room);
  int result = kCorrupt;
  for (;;) {
    if (produced == out->size()) {
      if (out->size() > maxOutput) {
        result = kTooLarge;
        break;
      }
      out->resize(std::min<std::size_t>(out->size() * 2, maxOutput + 1));
    }
    zs.next_out = out->data() + produced;
    zs.avail_out = static_cast<uInt>(out->size() - produced);
    int rc = inflate(&zs, Z_NO_FLUSH);
    produced = out->size() - zs.avail_out;
    if (produced > maxOutput) {
      result = kTooLarge;
      break;
    }
    if (rc == Z_STREAM_END) {
      if (zs.avail_in == 0) {
        result = 1;
        break;
      }
      // Another gzip member may follow; anything else is trailing garbage.
      if (!IsGzipMagic(zs.next_in, zs.avail_in) || inflateReset(&zs) != Z_OK) break;
      continue;
    }
    if (rc == Z_OK) continue;
    if (rc == Z_BUF_ERROR && zs.avail_out == 0) continue;  // needs more room
    break;  // Z_DATA_ERROR, Z_NEED_DICT, Z_MEM_ERROR, or input ended early
  }
  inflateEnd(&zs);
  if (result == 1) {
    out->resize(produced);
  } else {
    out->clear();
  }
  return result;
}

int Gzip(const unsigned char* in, std::size_t inLength, std::vector<unsigned char>* out) {
  out->clear();
  z_stream zs{};
  if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, kGzipWindow, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return kCannotWrite;
  out->resize(deflateBound(&zs, static_cast<uLong>(inLength)) + 32);
  zs.next_in = const_cast<Bytef*>(in);
  zs.avail_in = static_cast<uInt>(inLength);
  zs.next_out = out->data();
  zs.avail_out = static_cast<uInt>(out->size());
  int rc = deflate(&zs, Z_FINISH);
  std::size_t produced = out->size() - zs.avail_out;
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) {
    out->clear();
    return kCannotWrite;
  }
  out->resize(produced);
  return 1;
}

int ReadWholeFile(const std::string& path, std::size_t maxLength, std::vector<unsigned char>* out) {
  switch (sys::ReadRegularFile(path, maxLength, out)) {
    case sys::FileStatus::kOk:
      return 1;
    case sys::FileStatus::kTooLarge:
      return kTooLarge;
    case sys::FileStatus::kNoDescriptors:
      return kNoDescriptors;
    default:
      return kCannotRead;
  }
}

int WriteFileAtomically(const std::string& path, const unsigned char* data, std::size_t length) {
  const std::string temp = TemporaryNameFor(path);
  sys::FileStatus status = sys::WriteNewFile(temp, data, length);
  if (status == sys::FileStatus::kOk) {
    status = sys::MoveFileOver(temp, path);
    if (status != sys::FileStatus::kOk) sys::RemoveFile(temp);
  }
  if (status == sys::FileStatus::kOk) return 1;
  if (status == sys::FileStatus::kNoDescriptors) return kNoDescriptors;
  return status == sys::FileStatus::kNoRoom ? kNoRoom : kCannotWrite;
}

int UnCompressFile(const char* src, const char* dir) {
  if (src == nullptr || dir == nullptr || *src == '\0' || *dir == '\0') return kBadArgument;
  std::string output = std::string(dir);
  if (!sys::EndsWithSeparator(output)) output += sys::PathSeparator();
  output += kOutputName;
  if (output.size() > kMaxPath) return kPathTooLong;

  std::vector<unsigned char> input, plain;
  int rc = ReadWholeFile(src, kMaxInput, &input);
  if (rc == 1) {
    rc = Inflate(input.data(), input.size(), kMaxOutput, &plain);
    // Final for this file: output only grows as the stream goes on, so no
    // byte written later brings it back under the bound.
    if (rc == kTooLarge) rc = kRecordTooLarge;
  }
  if (rc == 1) rc = WriteFileAtomically(output, plain.data(), plain.size());
  if (rc != 1) {
    // Whatever rtdata.dat was there before belongs to an older file; after a
    // failure none may be mistaken for this one's content.
    sys::RemoveFile(output);
  }
  return rc;
}

int CompressFile(const char* src, const char* dst) {
  if (src == nullptr || dst == nullptr || *src == '\0' || *dst == '\0') return kBadArgument;
  if (std::strlen(dst) > kMaxPath) return kPathTooLong;
  std::vector<unsigned char> input, packed;
  int rc = ReadWholeFile(src, kMaxCompressInput, &input);
  // A station sends what it compressed: what could never be a shown result,
  // or never travel, is refused here, where the station still hears it.
  if (rc == 1 && input.empty()) rc = kEmptySource;
  if (rc == 1) rc = Gzip(input.data(), input.size(), &packed);
  if (rc == 1 && packed.size() > kMaxCompressOutput) rc = kPackedTooLarge;
  if (rc == 1) rc = WriteFileAtomically(dst, packed.data(), packed.size());
  return rc;
}

}  // namespace pallix::compression
