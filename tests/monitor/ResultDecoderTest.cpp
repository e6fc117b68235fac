#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <mutex>

#include "PallixForTests.h"
#include "RecordBuilder.h"
#include "RecordingBoard.h"
#include "SmallFileSystem.h"
#include "TempDir.h"
#include "monitor/ResultDecoder.h"
#include "platform/Gbk.h"

namespace fs = std::filesystem;

namespace {

const COLORREF kBlue = RGB(0, 0, 255), kRed = RGB(255, 0, 0), kBlack = RGB(0, 0, 0),
               kWhite = RGB(255, 255, 255);

class ResultDecoderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadBuiltPallix()); }
  static void TearDownTestSuite() { UnloadPallix(); }

  // The lock the chunk writer would publish under.
  std::mutex spoolLock;

  // Shows a record the way the scan does: from a spool file.
  void Show(const RecordBuilder& record) {
    const std::string path = dir.file("r.DOING");
    WriteFileBytes(path, record.Bytes());
    TakeAndShowResultFile(path, buffer.data(), board, spoolLock);
  }
  // The calls the board received, as "id:text:background:textcolour" for
  // texts and "id:colours" for colour changes.
  std::vector<std::string> Calls() {
    std::vector<std::string> out;
    for (const auto& c : board.log()) {
      out.push_back(c.isText ? std::to_string(c.displayId) + ":" + GbkToUtf8(c.text) + ":" +
                                   std::to_string(c.background) + ":" + std::to_string(c.textColor)
                             : std::to_string(c.displayId) + ":colours");
    }
    return out;
  }
  static std::string Text(int id, const std::string& text, COLORREF color) {
    return std::to_string(id) + ":" + text + ":" + std::to_string(kWhite) + ":" +
           std::to_string(color);
  }

  TempDir dir;
  std::vector<unsigned char> buffer = std::vector<unsigned char>(kResultBufferSize, 0xEE);
  RecordingBoard board;
};

TEST_F(ResultDecoderTest, TheOperatorGoesToItsDevicesDisplayInBlue) {
  Show(RecordBuilder().Item(7700, 0, "25").Item(7701, 0, "0815"));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"1119:colours", Text(1119, "0815", kBlue)}));
}

TEST_F(ResultDecoderTest, TheAlternativeOperatorItemStandsInAndTheFirstWins) {
  Show(RecordBuilder().Item(7700, 0, "11").Item(7708, 0, "0422"));
  Show(RecordBuilder().Item(7700, 0, "7").Item(7708, 0, "alt").Item(7701, 0, Gbk("张三")));
  EXPECT_EQ(board.at(1157).text(), "0422");
  EXPECT_EQ(board.at(1073).text(), Gbk("张三"));
}

TEST_F(ResultDecoderTest, AnUnknownDeviceChangesNoOperatorButItsItemsStillRoute) {
  Show(RecordBuilder().Item(7700, 0, "4").Item(7701, 0, "9").Item(5000, 1, "40.0"));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"1019:colours", Text(1019, "40.0", kBlue)}));
}

TEST_F(ResultDecoderTest, ADeviceWithoutOperatorEmptiesItsDisplay) {
  board.at(1018).SetText(Gbk("设备空闲"));
  board.ClearLog();
  Show(RecordBuilder().Item(7700, 0, "3"));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"1018:colours", Text(1018, "", kBlue)}));
}

TEST_F(ResultDecoderTest, FormatsAndColoursFollowTheRoute) {
  Show(RecordBuilder()
           .Item(5071, 1, "1234")  // brake force, tenths, presence
           .Item(5072, 1, "-7")
           .Item(5073, 2, "no digits")
           .Item(5157, 2, "15300")  // headlamp intensity, thousandths
           .Item(5008, 0, "0.82")   // presence with judge 0
           .Item(5075, 3, "65.2")   // two-colour knows only 1 and 2
           .Item(5001, 7, "12.5")   // four-colour, unknown judge
           .Item(5012, 3, "0.82")   // four-colour advisory
           .Item(5185, 4, "3"));    // four-colour not judged
  EXPECT_EQ(
      Calls(),
      (std::vector<std::string>{
          "1126:colours", Text(1126, "123", kBlack), "1129:colours", Text(1129, "0", kBlack),
          "1132:colours", Text(1132, "0", kBlack), "1082:colours", Text(1082, "15", kRed),
          "1024:colours", Text(1024, "0.82", kWhite), "1138:colours", Text(1138, "65.2", kWhite),
          "1020:colours", Text(1020, "12.5", kWhite), "1064:colours",
          Text(1064, "0.82", RGB(0, 255, 0)), "1110:colours", Text(1110, "3", kBlack)}));
}

TEST_F(ResultDecoderTest, LaterDuplicatesWinAndUnknownCodesAreIgnored) {
  Show(RecordBuilder()
           .Item(5139, 1, "86")
           .Item(5002, 1, "x")
           .Item(9999, 1, "y")
           .Item(5139, 2, "91"));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"1081:colours", Text(1081, "86", kBlue),
                                               "1081:colours", Text(1081, "91", kRed)}));
}

TEST_F(ResultDecoderTest, ACountOfZeroShowsNoMeasurement) {
  Show(RecordBuilder().Item(7700, 0, "8").Item(7701, 0, "7").Item(5142, 1, "3.2").SetCount(0));
  // The information items are still looked up; the record itself is now
  // inconsistent, so what the library answers for them decides the rest.
  for (const auto& c : board.log()) EXPECT_NE(c.displayId, 1077);
}

// A file read that shows nothing says why, at warning level, instead of
// "0 items": no record at all, a count of 0, or no end mark where the
// items it counts end.
TEST_F(ResultDecoderTest, AFileThatShowsNothingSaysWhy) {
  const std::string two = RecordBuilder().Item(5000, 1, "1").Item(5001, 1, "2").Bytes();
  const struct {
    std::string bytes;
    std::string why;
  } cases[] = {
      {"", "not a record: the file is empty"},
      {"hello", "not a record: its first 21 bytes are no result record's header (5 bytes)"},
      {RecordBuilder().Bytes(), "its count is 0: a record of no items"},
      {RecordBuilder().Bytes().substr(0, 21), "its count is 0, and no end mark follows its header"},
      {two.substr(0, two.size() - 3),
       "no end mark where its 2 items end (" + std::to_string(two.size() - 3) +
           " bytes): cut short, or a count that does not match its items"},
      {RecordBuilder().Item(5000, 1, "1").Item(5001, 1, "2").SetCount(1).Bytes(),
       "no end mark where its 1 item ends (" + std::to_string(two.size()) +
           " bytes): cut short, or a count that does not match its items"},
      {two, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    WriteFileBytes(dir.file("r.DOING"), c.bytes);
    ShownResult shown;
    TakeAndShowResultFile(dir.file("r.DOING"), buffer.data(), board, spoolLock, &shown);
    EXPECT_TRUE(shown.read);
    EXPECT_EQ(shown.fault, c.why);
    if (!c.why.empty()) {
      EXPECT_EQ(DescribeShownResult(shown),
                "nothing shown, it is no result record to show (see above)");
    }
  }
}

TEST_F(ResultDecoderTest, AVanishedFileChangesNothing) {
  TakeAndShowResultFile(dir.file("gone.DOING"), buffer.data(), board, spoolLock);
  EXPECT_TRUE(board.log().empty());
}

TEST_F(ResultDecoderTest, AnUnreadableFileDecodesAsAnEmptyRecord) {
  fs::create_directory(dir.file("dir.DOING"));
  TakeAndShowResultFile(dir.file("dir.DOING"), buffer.data(), board, spoolLock);
  EXPECT_TRUE(board.log().empty());
  EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0), kResultBufferSize) << "zeroed first";
  // A FIFO is not waited on, a link not followed; neither is removed.
  ASSERT_TRUE(MakeFifo(dir.file("fifo.DOING")));
  TakeAndShowResultFile(dir.file("fifo.DOING"), buffer.data(), board, spoolLock);
  WriteFileBytes(dir.file("elsewhere"), RecordBuilder().Item(5000, 1, "1").Bytes());
  fs::create_symlink(dir.file("elsewhere"), dir.file("link.DOING"));
  TakeAndShowResultFile(dir.file("link.DOING"), buffer.data(), board, spoolLock);
  EXPECT_TRUE(board.log().empty());
  EXPECT_TRUE(fs::exists(dir.file("fifo.DOING")));
  EXPECT_TRUE(fs::is_symlink(dir.file("link.DOING")));
}

TEST_F(ResultDecoderTest, OnlyTheFirst150000BytesOfALongerFileAreRead) {
  const std::string record = RecordBuilder().Item(5000, 1, "1").Bytes();
  WriteFileBytes(dir.file("long.DOING"), record + std::string(kResultBufferSize, 'z'));
  std::vector<unsigned char> exact(kResultBufferSize + 16, 0xEE);
  TakeAndShowResultFile(dir.file("long.DOING"), exact.data(), board, spoolLock);
  EXPECT_EQ(exact[kResultBufferSize], 0xEE) << "nothing beyond the buffer";
  EXPECT_EQ(board.at(1019).text(), "1");
}

TEST_F(ResultDecoderTest, TheSpoolLockIsHeldOnlyForReading) {
  // While the displays change, another thread can take the spool lock.
  class LockProbe : public RecordingBoard {
   public:
    IValueDisplay* ValueDisplay(int id) override {
      free.push_back(std::async(std::launch::async, [this] {
                       if (!lock->try_lock()) return false;
                       lock->unlock();
                       return true;
                     }).get());
      gone.push_back(!fs::exists(path));
      return RecordingBoard::ValueDisplay(id);
    }
    std::vector<bool> free, gone;
    std::string path;
    std::mutex* lock = nullptr;
  } probe;
  probe.lock = &spoolLock;
  const std::string path = dir.file("p.DOING");
  probe.path = path;
  WriteFileBytes(path, RecordBuilder().Item(7700, 0, "25").Item(5000, 1, "1").Bytes());
  TakeAndShowResultFile(path, buffer.data(), probe, spoolLock);
  EXPECT_EQ(probe.free, (std::vector<bool>{true, true}));
  EXPECT_EQ(probe.gone, (std::vector<bool>{true, true}))
      << "out of the spool before the displays change";
}

TEST_F(ResultDecoderTest, WithoutTheLibraryNothingIsShown) {
  const std::string bytes = RecordBuilder().Item(7700, 0, "25").Item(5000, 1, "1").Bytes();
  UnloadPallix();
  WriteFileBytes(dir.file("n.DOING"), bytes);
  TakeAndShowResultFile(dir.file("n.DOING"), buffer.data(), board, spoolLock);
  EXPECT_TRUE(board.log().empty());
  ASSERT_TRUE(LoadBuiltPallix());
}

}  // namespace
