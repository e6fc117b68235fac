// The journal's entry point and writer: what reaches a line, what the
// hourly line counts, and that a stuck disk, a full disk or a standard
// error nobody reads never holds up a caller nor tears a line.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "SmallFileSystem.h"
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
  // A keep-alive frame is a valid frame: ignored, never a refusal.
  BRENNA_EVENT(kDebug, kNet, kFrameIgnored, "10.1.2.3", "not a chunk", "keep-alive");

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

// A byte of a name that is not GBK shows as \xNN, as the station tool
// writes it, also where it would make UTF-8 with the bytes around it, and
// also after the trip through Qt's logging (which takes UTF-8 only).
TEST(JournalLine, ANameByteThatIsNotGbkIsWrittenAsItsHexCode) {
  const auto shown = [](const std::string& text) {
    const std::string line =
        journal::FormatLine(std::chrono::system_clock::now(), Level::kInfo, "brenna.spool", text);
    return line.substr(line.find(": ") + 2);
  };
  const std::string name = journal::JournalName("\xff\x80name\xb2\xe2\x81");
  EXPECT_EQ(shown("result '" + name + "' published"),
            "result '\\xff\\x80name\xe6\xb5\x8b\\x81' published");
  EXPECT_EQ(shown(journal::CarryStrayBytes("result '" + name + "' \xc3")),
            "result '\\xff\\x80name\xe6\xb5\x8b\\x81' \\xc3");
#if !defined(_WIN32)
  // Pairs GBK leaves undefined (code page 936 gives them private-use
  // characters): \xd0\x80 would be UTF-8 were it written as it came.
  EXPECT_EQ(shown(journal::JournalName("\xff\xfe\x80name\xaa\xd0\x80")),
            "\\xff\\xfe\\x80name\\xaa\\xd0\\x80");
#endif
}

TEST_F(JournalTest, FoldedLinesKeepTheNamesTheyFold) {
  for (int i = 1; i <= 5; ++i) {
    const std::string name = "a/" + std::to_string(i);
    const journal::EventName named(name);
    BRENNA_EVENT(kWarning, kSpool, kTransferRefused, "127.0.0.7", "name",
                 "chunk of transfer 'a/%d' from 127.0.0.7:4000 refused", i);
  }
  {
    const journal::EventName outer("outer");
    { const journal::EventName inner("inner"); }
    BRENNA_EVENT(kWarning, kSpool, kTransferRefused, "127.0.0.7", "name", "refused again");
  }
  journal::FlushAll();
  ASSERT_EQ(g_lines.size(), 2u);
  EXPECT_EQ(g_lines[0], "WARN brenna.spool: chunk of transfer 'a/1' from 127.0.0.7:4000 refused");
  EXPECT_EQ(g_lines[1].substr(0, g_lines[1].find(", last ")),
            "WARN brenna.spool: 5 more transfers refused from 127.0.0.7: name");
  EXPECT_EQ(g_lines[1].substr(g_lines[1].find("; ")), "; names 'a/2', 'a/3', 'a/4' and 2 more");
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
  bool Truncate(int handle, std::uint64_t size) override { return real().Truncate(handle, size); }
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

namespace {

// A line of the test's own: "line <n> xxx...", 100 bytes.
std::string NumberedLine(int n) {
  std::string line = "line " + std::to_string(n) + " ";
  line.resize(100, 'x');
  return line;
}

// The numbers of the test's own lines in text; every other line must be
// one of the writer's own, whole ("<timestamp> WARN  brenna.journal: ...").
std::vector<int> NumbersOfLines(const std::string& text) {
  std::vector<int> numbers;
  const std::regex own(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (INFO |WARN ) brenna\.journal: .*)");
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    EXPECT_NE(end, std::string::npos) << "the file ends in half a line";
    if (end == std::string::npos) break;
    const std::string line = text.substr(start, end - start);
    const std::size_t space = line.find(' ', 5);
    if (line.rfind("line ", 0) == 0 && space != std::string::npos &&
        line == NumberedLine(std::stoi(line.substr(5, space - 5)))) {
      numbers.push_back(std::stoi(line.substr(5, space - 5)));
    } else {
      EXPECT_TRUE(std::regex_match(line, own)) << "a torn or foreign line: " << line;
    }
    start = end + 1;
  }
  return numbers;
}

// Submits the next `count` numbered lines and waits until they are
// written; next() is how many were submitted in all.
class NumberedLines {
 public:
  explicit NumberedLines(journal::JournalWriter& writer) : m_writer(writer) {}
  void operator()(int count) {
    for (int end = m_next + count; m_next < end; ++m_next)
      m_writer.Submit(Level::kInfo, NumberedLine(m_next), journal::kStampLength);
    m_writer.Drain();
  }
  int next() const { return m_next; }

 private:
  journal::JournalWriter& m_writer;
  int m_next = 0;
};

// The number in "<prefix>N<suffix>" somewhere in text; -1 when absent.
long long CountIn(const std::string& text, const std::string& prefix, const std::string& suffix) {
  const std::regex note(prefix + "([0-9,]+)" + suffix);
  std::smatch m;
  if (!std::regex_search(text, m, note)) return -1;
  std::string digits = m[1];
  digits.erase(std::remove(digits.begin(), digits.end(), ','), digits.end());
  return std::stoll(digits);
}

}  // namespace

// The journal's disk fills up in the middle of a write: the file keeps
// whole lines only (no "published: 112 byt2026-..."), and once there is room
// again a line says how many were lost meanwhile.
TEST(JournalWriter, ADiskThatFillsUpLeavesNoHalfLineAndTheLossIsSaid) {
  TempDir tmp;
  const std::string dir = (tmp.path() / "state").string();
  std::filesystem::create_directories(dir);
  SmallFileSystem small(dir, 64 * 1024);
  if (!small.ok()) GTEST_SKIP() << "no small file system here: " << small.error();
  journal::JournalWriter writer;
  journal::JournalWriter::Options options;
  options.directory = dir;
  options.toStderr = false;
  ASSERT_TRUE(writer.Start(options));
  NumberedLines submit(writer);
  submit(10);
  // Full, but for the rest of the journal file's last page: the next batch
  // goes in only in part.
  SmallFileSystem::Fill(dir + "/filler");
  submit(400);
  std::filesystem::remove(dir + "/filler");
  submit(10);
  writer.Stop();

  const std::string text = ReadFileBytes(dir + "/monitor.log");
  const std::vector<int> kept = NumbersOfLines(text);
  const long long lost =
      static_cast<long long>(submit.next()) - static_cast<long long>(kept.size());
  EXPECT_GT(lost, 0) << "the disk never filled";
  for (int n : {0, 9, 410, 419}) EXPECT_NE(std::find(kept.begin(), kept.end(), n), kept.end()) << n;
  // The lost ones, and the writer's own line saying the disk was full,
  // which could not be written either.
  const bool fullSaid = text.find("(disk full?)") != std::string::npos;
  EXPECT_EQ(CountIn(text, "writing to .*monitor\\.log again: ",
                    " lines could not be written to it meanwhile"),
            lost + (fullSaid ? 0 : 1))
      << text.substr(text.size() > 3000 ? text.size() - 3000 : 0);
}

#if !defined(_WIN32)
// Standard error is a pipe nobody reads (a terminal held with Ctrl+S is the
// same): the journal file still gets every line, nothing waits, and the
// lines standard error missed are counted and said; a reader that goes
// away for good (a closed pipe) does not end the process.
TEST(JournalWriter, AStandardErrorNobodyReadsNeverHoldsTheJournal) {
  TempDir tmp;
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const int savedStderr = ::dup(STDERR_FILENO);
  ASSERT_GE(savedStderr, 0);
  ASSERT_GE(::dup2(pipeFds[1], STDERR_FILENO), 0);
  ::close(pipeFds[1]);
  journal::JournalWriter writer;
  journal::JournalWriter::Options options;
  options.directory = tmp.path().string();
  ASSERT_TRUE(writer.Start(options));
  // Had standard error held the writer, Drain would never return.
  NumberedLines submit(writer);
  submit(2000);  // 200 KB: far more than a pipe holds
  const std::uint64_t missed = writer.StderrLostLines();
  // The reader comes back and takes what is there.
  ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
  std::string seen;
  char buf[65536];
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) seen.append(buf, n);
  submit(10);
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) seen.append(buf, n);
  // And goes away for good: a write to the pipe now would raise SIGPIPE.
  ::close(pipeFds[0]);
  submit(10);
  writer.Stop();
  ::dup2(savedStderr, STDERR_FILENO);
  ::close(savedStderr);

  EXPECT_GT(missed, 0u);
  EXPECT_GT(writer.StderrLostLines(), missed);
  // What standard error got are whole lines, in order.
  std::vector<int> onStderr = NumbersOfLines(seen);
  EXPECT_TRUE(std::is_sorted(onStderr.begin(), onStderr.end()));
  EXPECT_EQ(onStderr.back(), 2009);
  const std::string text = ReadFileBytes(tmp.file("monitor.log"));
  std::vector<int> inFile = NumbersOfLines(text);
  ASSERT_EQ(inFile.size(), 2020u);
  for (int i = 0; i < 2020; ++i) EXPECT_EQ(inFile[static_cast<std::size_t>(i)], i);
  EXPECT_NE(text.find("WARN  brenna.journal: standard error takes no more lines"),
            std::string::npos);
  EXPECT_EQ(CountIn(text, "INFO  brenna.journal: standard error takes lines again: ",
                    " journal lines were left out of it meanwhile"),
            static_cast<long long>(missed))
      << text.substr(text.size() > 3000 ? text.size() - 3000 : 0);
}
#endif
