// GuideBlocks - prints the generated parts of docs/station-integration.md,
// so that the guide says what the code does:
//
//   brenna-guide-blocks items        the item table, from the routing table
//   brenna-guide-blocks example DIR  the worked example, from the files the
//                                    C example wrote into DIR (--write DIR NAME)
//
// cmake/StationGuide.cmake compares them with the guide (a test) or writes
// them into it (the station-guide target).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Pallix.h"
#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "RecordReader.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "panel/Verdicts.h"
#include "platform/Gbk.h"
#include "util/Colors.h"

namespace {

// A value's colour in words, as the verdict table names it.
const char* ColourName(COLORREF c) {
  if (const VerdictLook* verdict = VerdictOfColour(c)) return verdict->colourName;
  return c == kNoVerdictColor ? "white (looks empty)" : "?";
}

const char* FormatName(ValueFormat f) {
  switch (f) {
    case ValueFormat::kAsReceived:
      return "as sent";
    case ValueFormat::kTenths:
      return "tenths";
    case ValueFormat::kThousandths:
      return "thousandths";
  }
  return "?";
}

// The device group whose frame holds the display, from the window's template.
std::string GroupOf(int displayId) {
  const std::string_view caption = GroupCaptionOf(displayId);
  return caption.empty() ? "?" : std::string(caption);
}

// The judge codes of the verdict table, in ascending order.
std::vector<int> JudgeCodes() {
  std::vector<int> codes;
  for (const VerdictLook& v : kVerdicts) codes.push_back(v.judgeCode);
  std::sort(codes.begin(), codes.end());
  return codes;
}

int PrintItems() {
  // One column per judge code a verdict has, then one for every other code.
  const std::vector<int> judges = JudgeCodes();
  std::printf("| Item | Group | Display | Shown |");
  for (int judge : judges) std::printf(" Judge %d |", judge);
  std::printf(" other |\n|---|---|---|---|");
  for (std::size_t k = 0; k <= judges.size(); ++k) std::printf("---|");
  std::printf("\n");
  int count = 0;
  const ResultRoute* routes = ResultRoutes(&count);
  for (int i = 0; i < count; ++i) {
    const ResultRoute& r = routes[i];
    std::printf("| %d | %s | %d | %s |", r.itemCode, GroupOf(r.displayId).c_str(), r.displayId,
                FormatName(r.format));
    for (int judge : judges) std::printf(" %s |", ColourName(JudgeColor(r.scheme, judge)));
    std::printf(" %s |\n", ColourName(JudgeColor(r.scheme, 0)));
  }
  std::printf("\nOperator displays (blue on white, the text of item %d, else %d):\n\n",
              kItemOperator, kItemOperatorAlt);
  std::printf("| Device code (item %d) | Group | Display |\n|---|---|---|\n", kItemDeviceCode);
  for (int device = 0; device <= 100; ++device) {
    const int display = OperatorDisplayForDevice(device);
    if (display != 0) std::printf("| %d | %s | %d |\n", device, GroupOf(display).c_str(), display);
  }
  return 0;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void HexDump(const std::string& bytes, size_t from, size_t to) {
  for (size_t row = from; row < to; row += 16) {
    std::printf("%04zx ", row);
    for (size_t i = row; i < row + 16 && i < to; ++i)
      std::printf(" %02x", static_cast<unsigned char>(bytes[i]));
    std::printf("\n");
  }
}

int PrintExample(const std::string& dir) {
  const std::string record = ReadAll(dir + "/record.bin");
  const std::string packed = ReadAll(dir + "/record.gz");
  const std::string frames = ReadAll(dir + "/frames.bin");
  if (record.empty() || packed.empty() || frames.size() != NET_FRAME_SIZE) {
    std::fprintf(stderr, "brenna-guide-blocks: no example files in %s\n", dir.c_str());
    return 1;
  }
  std::printf("The record, %zu bytes:\n\n```\n", record.size());
  HexDump(record, 0, record.size());
  std::printf("```\n\nIts gzip, %zu bytes (byte 9, the system byte, is %u here):\n\n```\n",
              packed.size(), static_cast<unsigned char>(packed[9]));
  HexDump(packed, 0, packed.size());
  const auto* f = reinterpret_cast<const unsigned char*>(frames.data());
  const unsigned char* chunk = f + NET_FRAME_DATA_OFFSET;
  std::printf(
      "```\n\nIts one frame, 2072 bytes: the frame header, the chunk header and name,\n"
      "the data, then zeros up to the trailer:\n\n```\n");
  HexDump(frames, 0,
          NET_FRAME_DATA_OFFSET + FILE_CHUNK_DATA_OFFSET +
              PallixGetU16(chunk + FILE_CHUNK_COUNT_OFFSET));
  std::printf("...  (zeros)\n");
  HexDump(frames, NET_FRAME_TRAILER_OFFSET, NET_FRAME_SIZE);
  std::printf(
      "```\n\nframe: magic %08x, command %u, length %u; chunk: total %d, index %d, "
      "count %d, name \"%s\"; trailer %08x\n",
      PallixGetU32(f), PallixGetU32(f + NET_FRAME_COMMAND_OFFSET),
      PallixGetU32(f + NET_FRAME_LENGTH_OFFSET), PallixGetI16(chunk + FILE_CHUNK_TOTAL_OFFSET),
      PallixGetI16(chunk + FILE_CHUNK_INDEX_OFFSET), PallixGetI16(chunk + FILE_CHUNK_COUNT_OFFSET),
      reinterpret_cast<const char*>(chunk + FILE_CHUNK_NAME_OFFSET),
      PallixGetU32(f + NET_FRAME_TRAILER_OFFSET));

  std::vector<unsigned char> buf(PALLIX_RECORD_MAX, 0);
  std::copy(record.begin(), record.end(), buf.begin());
  std::printf(
      "\nWhat the window shows for it:\n\n| Item | Value sent | Judge | Display | Shows |\n"
      "|---|---|---|---|---|\n");
  char value[PALLIX_VALUE_SIZE];
  int code = 0, judge = 0, device = 0;
  for (int i = 0; pallix::record::ItemAt(buf.data(), i, &code, value, &judge) > 0; ++i) {
    if (code == kItemDeviceCode) device = std::atoi(value);
    if (code == kItemOperator || code == kItemOperatorAlt) {
      std::printf("| %d | %s | %d | %d (operator) | \"%s\" in blue |\n", code, value, judge,
                  OperatorDisplayForDevice(device), value);
      continue;
    }
    const ResultRoute* route = FindRoute(code);
    if (route == nullptr) {
      std::printf("| %d | %s | %d | none | (device code: the %s group) |\n", code, value, judge,
                  GroupOf(OperatorDisplayForDevice(std::atoi(value))).c_str());
      continue;
    }
    std::printf("| %d | %s | %d | %d | \"%s\" in %s |\n", code, value, judge, route->displayId,
                FormatValue(route->format, value).c_str(),
                ColourName(JudgeColor(route->scheme, judge)));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "items" && argc == 2) return PrintItems();
  if (what == "example" && argc == 3) return PrintExample(argv[2]);
  std::fprintf(stderr, "usage: brenna-guide-blocks items | example DIR\n");
  return 2;
}
