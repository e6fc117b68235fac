// Gzip - compresses test data with zlib directly, independent of the
// library under test.
#ifndef BRENNA_TESTS_GZIP_H
#define BRENNA_TESTS_GZIP_H

#include <zlib.h>

#include <cstdlib>
#include <string>

inline std::string Gzip(const std::string& data, int level = Z_DEFAULT_COMPRESSION) {
  z_stream s{};
  if (deflateInit2(&s, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
  std::string out(deflateBound(&s, data.size()) + 64, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  if (deflate(&s, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

#endif  // BRENNA_TESTS_GZIP_H
