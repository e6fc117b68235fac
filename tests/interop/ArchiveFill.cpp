// Writes the sample archive (ArchiveSample.h) with the Windows build's
// archive writer, for the Linux build's cross-platform tests
// (tests/history/HistoryAcrossSystemsTest.cpp). Usage: ArchiveFill FILE.
// Exit status 0 when every result was kept.
#include <cstdio>

#include "ArchiveSample.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: ArchiveFill FILE\n", stderr);
    return 2;
  }
  const std::uint64_t kept = WriteArchiveSample(argv[1]);
  std::printf("%llu results archived\n", static_cast<unsigned long long>(kept));
  return kept == 3 ? 0 : 1;
}
