// The station tool: the records it builds parse, its frames put together
// give back the compressed file, and a real run reaches a listening
// channel as transfers the monitor side can rebuild.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

#include "ChildProcess.h"
#include "ChunkFrames.h"
#include "Pallix.h"
#include "PallixTestSupport.h"
#include "StationRecord.h"

using namespace brenna_send;
using namespace pallix_test;

namespace {

struct Parsed {
  int code;
  int judge;
  std::string value;
};

std::vector<Parsed> ParseAll(const std::vector<unsigned char>& record) {
  std::vector<unsigned char> buf(PALLIX_RECORD_MAX, 0);
  std::copy(record.begin(), record.end(), buf.begin());
  StdHead head;
  PallixStdHeadPreset(&head);
  std::vector<Parsed> items;
  if (ParseStdHead(buf.data(), &head) != 1) return items;
  for (int i = 0; i < PallixGetU16(head.bytes + PALLIX_STD_HEAD_COUNT_OFFSET); ++i) {
    Parsed p{};
    char value[PALLIX_VALUE_SIZE];
    if (ParseStdHead_ResultAll_Idx(buf.data(), i, &p.code, value, &p.judge) == 1) {
      p.value = value;
      items.push_back(p);
    }
  }
  return items;
}

// Puts the chunks of frames back at their offsets, as the monitor does.
std::string Reassemble(const std::vector<Frame>& frames, std::string* name) {
  std::string file;
  for (const Frame& f : frames) {
    const unsigned char* d = f.data() + NET_FRAME_DATA_OFFSET;
    size_t total = PallixGetU16(d + FILE_CHUNK_TOTAL_OFFSET);
    size_t index = PallixGetU16(d + FILE_CHUNK_INDEX_OFFSET);
    size_t count = PallixGetU16(d + FILE_CHUNK_COUNT_OFFSET);
    file.resize(total);
    file.replace(index * FILE_CHUNK_DATA_SIZE, count,
                 reinterpret_cast<const char*>(d + FILE_CHUNK_DATA_OFFSET), count);
    *name = reinterpret_cast<const char*>(d + FILE_CHUNK_NAME_OFFSET);
  }
  return file;
}

const char kDescription[] =
    "# speed station\n"
    "7700 0 3\n"
    "7701 0 0815\n"
    "5000 1 40.2\n"
    "5001 2   \xe5\x90\x88\xe6\xa0\xbc \xe5\xa5\xbd\n"  // "合格 好", UTF-8
    "5002 4\n";

}  // namespace

TEST(BrennaSend, TextDescriptionBecomesARecordTheParserReads) {
  std::vector<unsigned char> record;
  std::string error;
  ASSERT_TRUE(BuildRecordFromText(kDescription, &record, &error)) << error;
  std::vector<Parsed> items = ParseAll(record);
  ASSERT_EQ(5u, items.size());
  EXPECT_EQ(7700, items[0].code);
  EXPECT_EQ("3", items[0].value);
  EXPECT_EQ(5000, items[2].code);
  EXPECT_EQ(1, items[2].judge);
  EXPECT_EQ("40.2", items[2].value);
  EXPECT_EQ("\xba\xcf\xb8\xf1 \xba\xc3", items[3].value);  // GBK
  EXPECT_EQ(2, items[3].judge);
  EXPECT_EQ("", items[4].value);
}

TEST(BrennaSend, BadDescriptionsNameTheirLine) {
  std::vector<unsigned char> record;
  std::string error;
  EXPECT_FALSE(BuildRecordFromText("7700 0 3\nfifty 1 2\n", &record, &error));
  EXPECT_NE(std::string::npos, error.find("line 2")) << error;
  EXPECT_FALSE(BuildRecordFromText("5000\n", &record, &error));
  EXPECT_NE(std::string::npos, error.find("line 1")) << error;
  EXPECT_FALSE(BuildRecordFromText("5000 1 " + std::string(300, '\xe5') + "\n", &record, &error));
  // 256 Chinese characters: 512 GBK bytes, one too many.
  std::string longValue;
  for (int i = 0; i < 256; ++i) longValue += "\xe5\x90\x88";
  EXPECT_FALSE(BuildRecordFromText("5000 1 " + longValue + "\n", &record, &error));
  EXPECT_NE(std::string::npos, error.find("511")) << error;
  EXPECT_FALSE(BuildRecordFromText("5000 1 \xf0\x9f\x98\x80\n", &record, &error));  // an emoji
  EXPECT_NE(std::string::npos, error.find("GBK")) << error;
}

TEST(BrennaSend, FramesOfTheLargestFileReassembleToIt) {
  std::vector<unsigned char> file(FILE_CHUNK_MAX_TOTAL);
  std::mt19937 rng(3);
  for (auto& b : file) b = static_cast<unsigned char>(rng());
  std::vector<Frame> frames;
  std::string error;
  ASSERT_TRUE(CutIntoFrames(file,
                            "\xcb\xd5"
                            "A-1",
                            &frames, &error))
      << error;
  ASSERT_EQ(17u, frames.size());
  for (size_t k = 0; k < frames.size(); ++k) {
    const unsigned char* f = frames[k].data();
    EXPECT_EQ(NET_FRAME_MAGIC, PallixGetU32(f + NET_FRAME_MAGIC_OFFSET));
    EXPECT_EQ(NET_FRAME_TRAILER, PallixGetU32(f + NET_FRAME_TRAILER_OFFSET));
    EXPECT_EQ(static_cast<uint32_t>(NET_CMD_FILE_CHUNK),
              PallixGetU32(f + NET_FRAME_COMMAND_OFFSET));
    const unsigned char* d = f + NET_FRAME_DATA_OFFSET;
    EXPECT_EQ(k, PallixGetU16(d + FILE_CHUNK_INDEX_OFFSET));
    const size_t count = PallixGetU16(d + FILE_CHUNK_COUNT_OFFSET);
    EXPECT_EQ(k + 1 < frames.size() ? 1942u : 1695u, count);
    EXPECT_EQ(FILE_CHUNK_DATA_OFFSET + count, PallixGetU32(f + NET_FRAME_LENGTH_OFFSET));
  }
  std::string name;
  EXPECT_EQ(std::string(file.begin(), file.end()), Reassemble(frames, &name));
  EXPECT_EQ(
      "\xcb\xd5"
      "A-1",
      name);

  file.push_back(0);  // 32768 bytes
  EXPECT_FALSE(CutIntoFrames(file, "a", &frames, &error));
  EXPECT_FALSE(CutIntoFrames({}, "a", &frames, &error));
  EXPECT_FALSE(CutIntoFrames({1}, "", &frames, &error));
  EXPECT_FALSE(CutIntoFrames({1}, std::string(100, 'n'), &frames, &error));
  EXPECT_FALSE(CutIntoFrames({1}, "../x", &frames, &error));
  EXPECT_FALSE(CutIntoFrames({1}, "lane\t2", &frames, &error));
  EXPECT_FALSE(CutIntoFrames({1}, "..", &frames, &error));
  // 0xE5 0x5C is one character (錦), not a backslash.
  EXPECT_TRUE(CutIntoFrames({1}, "\xE5\x5C-0815", &frames, &error)) << error;
}

TEST(BrennaSend, ARunDeliversEachFileAsATransferTheMonitorCanRebuild) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "a.txt", kDescription);
  std::string big;
  for (int i = 0; i < 400; ++i)  // compresses to several chunks
    big += std::to_string(5000 + i % 186) + " " + std::to_string(i % 5) + " " +
           std::to_string(i * 7919 % 100003) + "\n";
  WriteFile(dir / "b.txt", big);

  int port = 0, rc = -5;
  for (int tries = 0; tries < 20 && rc == -5; ++tries) rc = OpenNet(11, 0, port = FreePort(), 9898);
  ASSERT_EQ(1, rc);
  ChildProcess tool;
  ChildProcess::Options options;
  options.logPath = (dir / "out.log").string();
  std::string error;
  if (!tool.Start(
          {BRENNA_SEND_PATH, "-t", "-n",
           "\xe8\x8b\x8f"
           "A",
           "127.0.0.1:" + std::to_string(port), (dir / "a.txt").string(), (dir / "b.txt").string()},
          options, &error)) {
    CloseNet(11);
    FAIL() << error;
  }

  std::map<std::string, std::vector<Frame>> transfers;  // name -> frames
  size_t frames = 0;
  WaitUntil([&] {
    Frame f;
    while (ReadNetData(11, f.data(), NET_FRAME_SIZE) > 0) {
      std::string name(
          reinterpret_cast<const char*>(f.data() + NET_FRAME_DATA_OFFSET + FILE_CHUNK_NAME_OFFSET));
      transfers[name].push_back(f);
      ++frames;
    }
    return !tool.Running() && ReadNetData(11, f.data(), NET_FRAME_SIZE) == 0 && frames > 2;
  });
  if (!tool.WaitExit(std::chrono::seconds(60))) tool.Stop();
  CloseNet(11);
  ASSERT_EQ(0, tool.ExitStatus()) << tool.Describe() << "\n" << ReadFile(dir / "out.log");
  ASSERT_EQ(2u, transfers.size());

  const std::map<std::string, std::string> expected = {{"\xcb\xd5"
                                                        "A-1",
                                                        "a.txt"},
                                                       {"\xcb\xd5"
                                                        "A-2",
                                                        "b.txt"}};
  for (const auto& [name, source] : expected) {
    ASSERT_EQ(1u, transfers.count(name));
    std::string got;
    const std::string compressed = Reassemble(transfers[name], &got);
    WriteFile(dir / "t.compress", compressed);
    ASSERT_EQ(1, UnCompressFile((dir / "t.compress").c_str(), dir.c_str()));
    std::string rebuilt = ReadFile(dir / "rtdata.dat");
    std::vector<unsigned char> expectedRecord;
    std::string error;
    ASSERT_TRUE(BuildRecordFromText(ReadFile(dir / source), &expectedRecord, &error));
    EXPECT_EQ(std::string(expectedRecord.begin(), expectedRecord.end()), rebuilt) << source;
  }
  EXPECT_GT(transfers["\xcb\xd5"
                      "A-2"]
                .size(),
            1u);
}
