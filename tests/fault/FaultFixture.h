// What the monitor's fault tests share: a started monitor in a private
// install tree, frames of results, the journal read back, and waiting for
// what a test asserts.
#ifndef BRENNA_TESTS_FAULT_FAULTFIXTURE_H
#define BRENNA_TESTS_FAULT_FAULTFIXTURE_H

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "MonitorProcess.h"
#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "Station.h"
#include "TempDir.h"

namespace fault_test {

namespace fs = std::filesystem;

constexpr auto kPatience = std::chrono::seconds(60);

inline std::string Join(const std::set<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out.empty() ? "(nothing)" : out;
}

// The decompressed file behind a result's frames.
inline std::string ResultRecord(const std::vector<std::string>& frames) {
  std::string gz;
  for (const std::string& f : frames)
    gz.append(f, NET_FRAME_DATA_OFFSET + FILE_CHUNK_DATA_OFFSET,
              static_cast<size_t>(PallixGetI16(reinterpret_cast<const unsigned char*>(f.data()) +
                                               NET_FRAME_DATA_OFFSET + FILE_CHUNK_COUNT_OFFSET)));
  z_stream s{};
  inflateInit2(&s, 15 + 32);
  std::string out(200000, '\0');
  s.next_in = reinterpret_cast<Bytef*>(gz.data());
  s.avail_in = static_cast<uInt>(gz.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  inflate(&s, Z_FINISH);
  out.resize(s.total_out);
  inflateEnd(&s);
  return out;
}

// The journal files of the run under the monitor's state directory, oldest
// first, and their names.
inline std::string ReadJournal(const std::string& dir, std::set<std::string>* names) {
  std::string text;
  for (const char* name : {"monitor.log.3", "monitor.log.2", "monitor.log.1", "monitor.log"})
    text += ReadFileBytes(dir + "/" + name);
  std::error_code ec;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator();
       it.increment(ec))
    names->insert(it->path().filename().string());
  return text;
}

inline std::vector<std::string> LinesWith(const std::string& text,
                                          const std::vector<std::string>& parts) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    bool all = true;
    for (const std::string& p : parts) all = all && line.find(p) != std::string::npos;
    if (all) out.push_back(line);
    start = end + 1;
  }
  return out;
}

// The journal's directory of a monitor's run.
inline std::string JournalDir(MonitorProcess& m) {
  return m.tree().work() + "/home/.local/state/brennacenter";
}

// Waits until a line of the run's journal holds every part; the line, or
// empty when none came in time.
inline std::string WaitForJournalLine(MonitorProcess& m, const std::vector<std::string>& parts) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  for (;;) {
    std::set<std::string> names;
    const std::vector<std::string> lines = LinesWith(ReadJournal(JournalDir(m), &names), parts);
    if (!lines.empty()) return lines.front();
    if (std::chrono::steady_clock::now() >= deadline) return std::string();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

class MonitorFault : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(m_monitor.Start(&error)) << error;
  }

  std::vector<std::string> Frames(const std::string& name, const std::string& description) {
    std::vector<std::string> frames;
    std::string error;
    EXPECT_TRUE(m_monitor.Frames(name, {description}, &frames, &error)) << error;
    return frames;
  }

  // Sends the bytes on one connection until the monitor has read them all.
  void Send(const std::string& bytes) {
    const StreamOutcome out = SendStream(m_monitor.tree().port(), bytes, kPatience);
    EXPECT_TRUE(out.closedByPeer && out.error.empty()) << out.error;
  }

  void ExpectShown(const std::set<std::string>& names) {
    EXPECT_TRUE(m_monitor.watch().WaitUntilShown(names, kPatience))
        << "not all of " << Join(names)
        << " shown; in the spool directory: " << Join(m_monitor.tree().SpoolNames())
        << "\nmonitor output:\n"
        << m_monitor.Log();
  }

  // The names of every result the window has shown so far.
  std::set<std::string> Shown() {
    std::set<std::string> out;
    for (const auto& [name, t] : m_monitor.watch().Snapshot())
      if (t.isShown) out.insert(name);
    return out;
  }

  std::string Spool(const std::string& name) { return m_monitor.tree().spool() + "/" + name; }

  // The journal file of the runs so far.
  std::string Journal() {
    return ReadFileBytes(m_monitor.tree().work() + "/home/.local/state/brennacenter/monitor.log");
  }
  // Whether a line holding every part has reached the journal file, waiting
  // for it (lines are written by a thread of the journal's own).
  bool JournalSays(const std::vector<std::string>& parts) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
      if (!LinesWith(Journal(), parts).empty()) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  MonitorProcess m_monitor;
};

}  // namespace fault_test

#endif  // BRENNA_TESTS_FAULT_FAULTFIXTURE_H
