// Compressed files: our gzip writer, files made by the standard tools, and
// every kind of bad input, which must leave no rtdata.dat behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <string>

#include "Compression.h"
#include "PallixTestSupport.h"
#include "SmallFileSystem.h"

using namespace pallix::compression;
using namespace pallix_test;

namespace {

class CompressionTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = ScratchDir(); }

  // Text with structure plus some noise, so it compresses but not to nothing.
  static std::string SampleText(size_t n) {
    std::mt19937 rng(7);
    std::string s;
    while (s.size() < n) s += "item " + std::to_string(rng() % 1000) + " judge 1\n";
    s.resize(n);
    return s;
  }

  int Uncompress(const fs::path& src) {
    return UnCompressFile(src.string().c_str(), dir_.string().c_str());
  }
  bool HasOutput() const { return fs::exists(dir_ / kOutputName); }
  std::string Output() const { return ReadFile(dir_ / kOutputName); }
  // Only the named files are in the directory (no temporary left over).
  ::testing::AssertionResult OnlyFiles(std::initializer_list<std::string> names) const {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir_)) {
      ++n;
      if (std::find(names.begin(), names.end(), e.path().filename().string()) == names.end())
        return ::testing::AssertionFailure() << "unexpected " << e.path();
    }
    if (n != names.size()) return ::testing::AssertionFailure() << n << " files";
    return ::testing::AssertionSuccess();
  }
  // A stale result from an earlier file, which a failure must not leave.
  void PlantStaleOutput() { WriteFile(dir_ / kOutputName, "stale"); }

  fs::path dir_;
};

}  // namespace

TEST_F(CompressionTest, OurGzipRoundTrips) {
  const std::string text = SampleText(40000);
  WriteFile(dir_ / "result.txt", text);
  ASSERT_EQ(1, CompressFile((dir_ / "result.txt").string().c_str(),
                            (dir_ / "result.gz").string().c_str()));
  std::string packed = ReadFile(dir_ / "result.gz");
  ASSERT_GE(packed.size(), 18u);
  EXPECT_EQ('\x1f', packed[0]);  // gzip, not zlib
  EXPECT_EQ('\x8b', packed[1]);
  EXPECT_LT(packed.size(), text.size());

  ASSERT_EQ(1, Uncompress(dir_ / "result.gz"));
  EXPECT_EQ(text, Output());
  EXPECT_TRUE(OnlyFiles({"result.txt", "result.gz", "rtdata.dat"}));

  // The gzip of nothing is read as nothing.
  std::vector<unsigned char> packedEmpty;
  ASSERT_EQ(1, Gzip(nullptr, 0, &packedEmpty));
  WriteFile(dir_ / "empty.gz", std::string(packedEmpty.begin(), packedEmpty.end()));
  ASSERT_EQ(1, Uncompress(dir_ / "empty.gz"));
  EXPECT_EQ("", Output());
}

// CompressFile makes only what a station can send and the monitor show: an
// empty file is no result, and a gzip beyond 32,767 bytes fits no transfer.
// Each is refused with its own answer, and nothing is written.
TEST_F(CompressionTest, CompressFileRefusesWhatNoTransferCanCarry) {
  WriteFile(dir_ / "empty.txt", "");
  EXPECT_EQ(kEmptySource, CompressFile((dir_ / "empty.txt").string().c_str(),
                                       (dir_ / "empty.gz").string().c_str()));
  EXPECT_FALSE(fs::exists(dir_ / "empty.gz"));

  // Noise does not compress: well under 150,000 bytes, yet too long.
  std::mt19937 rng(11);
  std::string noise(40000, '\0');
  for (char& c : noise) c = static_cast<char>(rng() & 0xff);
  WriteFile(dir_ / "noise.bin", noise);
  WriteFile(dir_ / "noise.gz", "older");
  EXPECT_EQ(kPackedTooLarge, CompressFile((dir_ / "noise.bin").string().c_str(),
                                          (dir_ / "noise.gz").string().c_str()));
  EXPECT_EQ("older", ReadFile(dir_ / "noise.gz"));

  // Up to 32,700 bytes always fit, however little they compress.
  noise.resize(32700);
  WriteFile(dir_ / "fits.bin", noise);
  ASSERT_EQ(
      1, CompressFile((dir_ / "fits.bin").string().c_str(), (dir_ / "fits.gz").string().c_str()));
  EXPECT_LE(ReadFile(dir_ / "fits.gz").size(), kMaxCompressOutput);
  EXPECT_TRUE(OnlyFiles({"empty.txt", "noise.bin", "noise.gz", "fits.bin", "fits.gz"}));
}

TEST_F(CompressionTest, FilesOfTheStandardToolsAreRead) {
  const std::string text = SampleText(70000);
  WriteFile(dir_ / "a.txt", text);
  WriteFile(dir_ / "b.txt", "second member\n");
  const std::string d = dir_.string();
  // The gzip command (with a stored name), python3's gzip and zlib modules,
  // and two gzip files concatenated.
  ASSERT_EQ(0, std::system(("gzip -c -9 '" + d + "/a.txt' > '" + d + "/cmd.gz'").c_str()));
  ASSERT_EQ(0, std::system(("gzip -c '" + d + "/b.txt' > '" + d + "/b.gz' && cat '" + d +
                            "/cmd.gz' '" + d + "/b.gz' > '" + d + "/two.gz'")
                               .c_str()));
  ASSERT_EQ(0, std::system(("python3 -c \"import gzip,zlib,sys; t=open(sys.argv[1],'rb').read();"
                            " open(sys.argv[2],'wb').write(gzip.compress(t, mtime=1));"
                            " open(sys.argv[3],'wb').write(zlib.compress(t))\" '" +
                            d + "/a.txt' '" + d + "/py.gz' '" + d + "/py.zlib'")
                               .c_str()));
  for (const char* name : {"cmd.gz", "py.gz", "py.zlib"}) {
    fs::remove(dir_ / kOutputName);
    ASSERT_EQ(1, Uncompress(dir_ / name)) << name;
    EXPECT_EQ(text, Output()) << name;
  }
  ASSERT_EQ(1, Uncompress(dir_ / "two.gz"));
  EXPECT_EQ(text + "second member\n", Output());
}

TEST_F(CompressionTest, CorruptTruncatedOrForeignInputLeavesNoOutput) {
  const std::string text = SampleText(20000);
  std::vector<unsigned char> packed;
  ASSERT_EQ(1, Gzip(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &packed));
  const std::string gz(packed.begin(), packed.end());

  std::string flipped = gz;
  flipped[gz.size() / 2] ^= 0x5A;
  std::string badCrc = gz;
  badCrc[gz.size() - 6] ^= 0x01;  // inside the CRC-32 of the trailer
  const std::map<std::string, std::string> bad = {
      {"flipped", flipped},
      {"bad-crc", badCrc},
      {"no-trailer", gz.substr(0, gz.size() - 8)},
      {"half", gz.substr(0, gz.size() / 2)},
      {"header-only", gz.substr(0, 10)},
      {"trailing-garbage", gz + "garbage"},
      {"plain-text", text},
      {"empty", ""},
  };
  for (const auto& [name, bytes] : bad) {
    PlantStaleOutput();
    WriteFile(dir_ / "in.compress", bytes);
    EXPECT_EQ(kCorrupt, Uncompress(dir_ / "in.compress")) << name;
    EXPECT_TRUE(OnlyFiles({"in.compress"})) << name;
  }
}

// One bound for a result everywhere: what the monitor can show.
TEST_F(CompressionTest, OutputBeyondOneRecordIsRefused) {
  ASSERT_EQ(static_cast<size_t>(PALLIX_RECORD_MAX), kMaxOutput);
  std::vector<unsigned char> packed;
  std::vector<unsigned char> exact(kMaxOutput, 'z');
  ASSERT_EQ(1, Gzip(exact.data(), exact.size(), &packed));
  WriteFile(dir_ / "exact.gz", std::string(packed.begin(), packed.end()));
  ASSERT_EQ(1, Uncompress(dir_ / "exact.gz"));
  EXPECT_EQ(kMaxOutput, Output().size());

  // A few kilobytes that would unpack to far more than allowed.
  std::vector<unsigned char> bomb(64u << 20, 0);
  ASSERT_EQ(1, Gzip(bomb.data(), bomb.size(), &packed));
  ASSERT_LT(packed.size(), 100u * 1024);
  WriteFile(dir_ / "bomb.gz", std::string(packed.begin(), packed.end()));
  EXPECT_EQ(kRecordTooLarge, Uncompress(dir_ / "bomb.gz"));
  EXPECT_TRUE(OnlyFiles({"exact.gz", "bomb.gz"}));

  std::vector<unsigned char> oneMore(kMaxOutput + 1, 'z');
  ASSERT_EQ(1, Gzip(oneMore.data(), oneMore.size(), &packed));
  WriteFile(dir_ / "one-more.gz", std::string(packed.begin(), packed.end()));
  EXPECT_EQ(kRecordTooLarge, Uncompress(dir_ / "one-more.gz"));
  EXPECT_FALSE(HasOutput());

  WriteFile(dir_ / "huge.compress", std::string(kMaxInput + 1, 'x'));
  EXPECT_EQ(kTooLarge, Uncompress(dir_ / "huge.compress"));
  EXPECT_FALSE(HasOutput());
}

TEST_F(CompressionTest, PathAndFileProblemsAreReported) {
  EXPECT_EQ(kBadArgument, UnCompressFile(nullptr, dir_.string().c_str()));
  EXPECT_EQ(kBadArgument, UnCompressFile("x", ""));
  EXPECT_EQ(kCannotRead, Uncompress(dir_ / "missing.compress"));
  EXPECT_EQ(kPathTooLong, UnCompressFile("x", (dir_ / std::string(260, 'd')).string().c_str()));

  std::vector<unsigned char> packed;
  const unsigned char data[] = "abc";
  ASSERT_EQ(1, Gzip(data, 3, &packed));
  WriteFile(dir_ / "ok.gz", std::string(packed.begin(), packed.end()));
  const fs::path missingDir = dir_ / "no-such-dir";
  EXPECT_EQ(kCannotWrite,
            UnCompressFile((dir_ / "ok.gz").string().c_str(), missingDir.string().c_str()));
  EXPECT_TRUE(OnlyFiles({"ok.gz"}));

  WriteFile(dir_ / "big.txt", std::string(kMaxCompressInput + 1, 'b'));
  EXPECT_EQ(kTooLarge,
            CompressFile((dir_ / "big.txt").string().c_str(), (dir_ / "big.gz").string().c_str()));
  EXPECT_EQ(kCannotRead, CompressFile((dir_ / "none.txt").string().c_str(),
                                      (dir_ / "none.gz").string().c_str()));
  EXPECT_EQ(kCannotWrite, CompressFile((dir_ / "ok.gz").string().c_str(),
                                       (missingDir / "out.gz").string().c_str()));
  EXPECT_TRUE(OnlyFiles({"ok.gz", "big.txt"}));
}

// Only a regular file is read: a FIFO is not waited on.
TEST_F(CompressionTest, OnlyARegularFileIsRead) {
  ASSERT_TRUE(MakeFifo((dir_ / "fifo.compress").string()));
  EXPECT_EQ(kCannotRead, Uncompress(dir_ / "fifo.compress"));
  fs::remove(dir_ / "fifo.compress");
  EXPECT_FALSE(HasOutput());
}

#if defined(_WIN32)
// Windows has no FIFO in a folder, but a device answers to a file name in
// any folder (NUL.compress is the NUL device) and a folder cannot be read
// as a file: neither is read as an empty or a damaged file.
TEST_F(CompressionTest, OnWindowsOnlyARegularFileIsRead) {
  EXPECT_EQ(kCannotRead, Uncompress(dir_ / "NUL.compress"));
  fs::create_directory(dir_ / "folder.compress");
  EXPECT_EQ(kCannotRead, Uncompress(dir_ / "folder.compress"));
  EXPECT_TRUE(OnlyFiles({"folder.compress"}));
}
#endif

// A full file system is told apart from other write failures: the same call
// succeeds once there is room again.
TEST_F(CompressionTest, AFullDestinationIsReportedAsNoRoom) {
  const fs::path full = dir_ / "full";
  fs::create_directory(full);
  SmallFileSystem small(full.string(), 64 * 1024);
  if (!small.ok()) GTEST_SKIP() << "no small file system here: " << small.error();
  SmallFileSystem::Fill((full / "filler").string());
  std::vector<unsigned char> packed;
  const std::string text = SampleText(20000);
  ASSERT_EQ(1, Gzip(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &packed));
  WriteFile(dir_ / "ok.gz", std::string(packed.begin(), packed.end()));

  EXPECT_EQ(kNoRoom, UnCompressFile((dir_ / "ok.gz").string().c_str(), full.string().c_str()));
  EXPECT_EQ(std::vector<fs::path>{full / "filler"},
            std::vector<fs::path>(fs::directory_iterator(full), fs::directory_iterator()));
  fs::remove(full / "filler");
  EXPECT_EQ(1, UnCompressFile((dir_ / "ok.gz").string().c_str(), full.string().c_str()));
  EXPECT_EQ(text, ReadFile(full / kOutputName));
}
