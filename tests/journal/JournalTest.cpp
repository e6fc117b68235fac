// The journal's entry point and writer: what reaches a line, what the
// hourly line counts, and that a stuck disk never holds up a caller.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "TempDir.h"
#include "journal/Journal.h"
#include "journal/JournalLine.h"
#include "journal/JournalWriter.h"

using journal::Category;
using journal::Level;

namespace {

std::mutex g_linesLock;
std::vector<std::string> g_lines;

void Capture(Level level, Category category, const char* text) {
  std::lock_guard<std::mutex> guard(g_linesLock);
  g_lines.push_back(std::string(journal::LevelName(level)) + journal::CategoryName(category) +
                    ": " + text);
}

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    journal::Reset();
    journal::SetRouter(&Capture);
    for (int c = 0; c < journal::kCategoryCount; ++c) {
      journal::SetThreshold(static_cast<Category>(c), Level::kInfo);
    }
    g_lines.clear();
  }
  void TearDown() override {
    journal::SetRouter(nullptr);
    for (int c = 0; c < journal::kCategoryCount; ++c) {
      journal::SetThreshold(static_cast<Category>(c), Level::kWarning);
    }
    journal::Reset();
  }
};

}  // namespace

TEST_F(JournalTest, EventsAreCountedEvenWhenFoldedOrNotWrittenAndMakeTheHourlyLine) {
  for (int i = 0; i < 3; ++i) {
    BRENNA_EVENT(kWarning, kNet, kFrameRefused, "10.1.2.3", "bad trailer",
                 "frame refused from 10.1.2.3:4711: bad trailer");
  }
  for (int i = 0; i < 5; ++i) journal::CountFrame();
  BRENNA_EVENT(kInfo, kSpool, kTransferPublished, "10.1.2.3", nullptr, "published %s", "a");
  BRENNA_EVENT(kInfo, kSpool, kTransferPublished, "10.1.2.3", nullptr, "published %s", "b");
  BRENNA_EVENT(kInfo, kDisplay, kResultShown, nullptr, nullptr, "shown a");
  // Detail not wanted: nothing formatted, still counted.
  BRENNA_EVENT(kDebug, kNet, kConnectionOpened, "10.1.2.3", nullptr, "opened");
  BRENNA_EVENT(kWarning, kSpool, kTransferRefused, "10.4.4.4", "name", "refused");
  BRENNA_LOG(kDebug, kNet, "not wanted");

  EXPECT_EQ(g_lines, (std::vector<std::string>{
                         "WARN brenna.net: frame refused from 10.1.2.3:4711: bad trailer",
                         "INFO brenna.spool: published a", "INFO brenna.spool: published b",
                         "INFO brenna.display: shown a", "WARN brenna.spool: refused"}));
  const auto counts = [](const std::string& line) { return line.substr(line.find(": ") + 2); };
  const std::string summary = journal::WriteSummary();
  EXPECT_EQ(summary.substr(0, 5), "last ");
  EXPECT_EQ(counts(summary),
            "5 frames, 2 results published, 1 shown, 1 connection, 4 refused "
            "(bad trailer 3, name 1)");
  EXPECT_EQ(g_lines.back(), "INFO brenna.journal: " + summary);
  // Counting starts afresh.
  EXPECT_EQ(counts(journal::WriteSummary()),
            "0 frames, 0 results published, 0 shown, 0 connections, 0 refused");
}

TEST(JournalLine, ANameFromTheWireCannotBreakOrForgeALine) {
  const std::string name = journal::JournalName("\xb2\xe2\xca\xd4\n2024-01-01 00:00:00.000 INFO ");
  const std::string line =
      journal::FormatLine(std::chrono::system_clock::now(), Level::kWarning, "brenna.spool",
                          "transfer " + name + " \xff\\ refused");
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.substr(journal::kStampLength),
            " WARN  brenna.spool: transfer \xe6\xb5\x8b\xe8\xaf\x95\\x0a2024-01-01 00:00:00.000 "
            "INFO  \\xff\\\\ refused");
}

namespace {

// Files whose writes hang until released: a stuck disk.
class StuckFileSystem : public journal::JournalFileSystem {
 public:
  void Release() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_released = true;
    m_wake.notify_all();
  }
  bool CreateDirectory(const std::string& dir) override { return real().CreateDirectory(dir); }
  int OpenAppend(const std::string& path) override { return real().OpenAppend(path); }
  long long FileSize(int handle) override { return real().FileSize(handle); }
  bool WriteAll(int handle, const char* data, std::size_t size) override {
    std::unique_lock<std::mutex> guard(m_lock);
    m_wake.wait(guard, [this] { return m_released; });
    return real().WriteAll(handle, data, size);
  }
  bool IsFileAt(int handle, const std::string& path) override {
    return real().IsFileAt(handle, path);
  }
  bool Truncate(int handle) override { return real().Truncate(handle); }
  void Close(int handle) override { real().Close(handle); }
  journal_io::FileResult Rename(const std::string& from, const std::string& to) override {
    return real().Rename(from, to);
  }
  journal_io::FileResult Remove(const std::string& path) override { return real().Remove(path); }

 private:
  static JournalFileSystem& real() { return journal::RealJournalFileSystem(); }
  std::mutex m_lock;
  std::condition_variable m_wake;
  bool m_released = false;
};

}  // namespace

TEST(JournalWriter, AStuckDiskNeverHoldsUpACallerAndTheLossIsWritten) {
  TempDir tmp;
  StuckFileSystem stuck;
  journal::JournalWriter writer;
  journal::JournalWriter::Options options;
  options.directory = tmp.path().string();
  options.toStderr = false;
  options.maxQueuedLines = 100;
  options.fileSystem = &stuck;
  ASSERT_TRUE(writer.Start(options));
  // Were a caller to wait for the disk, this would never return.
  for (int i = 0; i < 10000; ++i) {
    writer.Submit(Level::kInfo, "line " + std::to_string(i), journal::kStampLength);
  }
  // The queue holds 100, and the batch the writer took before it got stuck at most as many.
  EXPECT_GE(writer.DroppedLines(), 10000u - 200);
  stuck.Release();
  writer.Drain();
  writer.Stop();
  const std::string text = ReadFileBytes((tmp.path() / "monitor.log").string());
  EXPECT_EQ(text.substr(0, 7), "line 0\n");
  // Every loss is told, in one line or a few (one per batch the writer took).
  std::uint64_t told = 0;
  const std::regex note("([0-9,]+) journal lines dropped: more came than could be written");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), note); it != std::sregex_iterator();
       ++it) {
    std::string digits = (*it)[1];
    digits.erase(std::remove(digits.begin(), digits.end(), ','), digits.end());
    told += std::stoull(digits);
  }
  EXPECT_EQ(told, writer.DroppedLines()) << text;
}
