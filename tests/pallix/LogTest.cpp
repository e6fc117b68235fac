// How the library reports: to the program's sink with the event's peer and
// reason, safely while the sink is replaced, and by default to stderr.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"

using namespace pallix;

namespace {

struct Probe {
  std::atomic<bool> removed{false};
  std::atomic<long> calls{0};
  std::atomic<long> late{0};
};

// Slow enough that a call is in flight whenever the sink is removed.
void SlowSink(const PallixLogRecord*, void* context) {
  auto* probe = static_cast<Probe*>(context);
  ++probe->calls;
  std::this_thread::sleep_for(std::chrono::microseconds(200));
  if (probe->removed) ++probe->late;
}

struct Recorded {
  std::vector<std::string> lines;
  int nestedSetSink = 0;
};

void RecordingSink(const PallixLogRecord* r, void* context) {
  auto* recorded = static_cast<Recorded*>(context);
  recorded->lines.push_back(std::to_string(r->level) + "|" + r->category + "|" + r->text + "|" +
                            std::to_string(r->event) + "|" + (r->peer ? r->peer : "-") + "|" +
                            (r->reason ? r->reason : "-"));
  // Neither may reach the sink again, nor wait for it to end.
  PALLIX_LOG(PALLIX_LOG_ERROR, PALLIX_LOG_NET, "from inside the sink");
  recorded->nestedSetSink = log::SetSink(nullptr, nullptr, PALLIX_LOG_WARNING);
}

}  // namespace

TEST(PallixLog, RemovingTheSinkWaitsForCallsInFlightAndNoneFollow) {
  Probe probe;
  ASSERT_EQ(1, log::SetSink(&SlowSink, &probe, PALLIX_LOG_INFO));
  std::atomic<bool> stop{false};
  std::vector<std::thread> reporters;
  for (int t = 0; t < 4; ++t) {
    reporters.emplace_back([&stop] {
      while (!stop) PALLIX_LOG(PALLIX_LOG_INFO, PALLIX_LOG_NET, "frame from %s", "10.1.2.3");
    });
  }
  while (probe.calls < 200) std::this_thread::yield();
  ASSERT_EQ(1, log::SetSink(nullptr, nullptr, PALLIX_LOG_WARNING));
  probe.removed = true;
  const long callsAtRemoval = probe.calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // they go on reporting
  stop = true;
  for (std::thread& t : reporters) t.join();
  EXPECT_EQ(probe.late, 0);
  EXPECT_EQ(probe.calls, callsAtRemoval);
}

TEST(PallixLog, ASinkGetsEventPeerAndReasonAndCannotLoopIntoItself) {
  Recorded recorded;
  ASSERT_EQ(1, log::SetSink(&RecordingSink, &recorded, PALLIX_LOG_INFO));
  PALLIX_LOG(PALLIX_LOG_DEBUG, PALLIX_LOG_NET, "below the sink's level");
  PALLIX_LOG_EVENT(PALLIX_LOG_WARNING, PALLIX_LOG_NET, PALLIX_EVENT_FRAME_REFUSED, "10.1.2.3",
                   "bad trailer", "frame refused from %s:%d\r\n: bad trailer", "10.1.2.3", 4711);
  EXPECT_EQ(-1, log::SetSink(&RecordingSink, &recorded, 7));
  ASSERT_EQ(1, log::SetSink(nullptr, nullptr, PALLIX_LOG_WARNING));
  ASSERT_EQ(recorded.lines.size(), 2u);
  EXPECT_EQ(recorded.lines[0].substr(0, 18), "1|start|libPallix ");  // who reports here
  EXPECT_NE(recorded.lines[0].find(") reports here|0|-|-"), std::string::npos);
  EXPECT_EQ(recorded.lines[1],
            "2|net|frame refused from 10.1.2.3:4711??: bad trailer|4|10.1.2.3|bad trailer");
  EXPECT_EQ(recorded.nestedSetSink, -2);
}

TEST(PallixLog, WithoutASinkWarningsAndErrorsGoToStderrWithALocalTimestamp) {
  ::testing::internal::CaptureStderr();
  PALLIX_LOG(PALLIX_LOG_INFO, PALLIX_LOG_NET, "not shown");
  PALLIX_LOG(PALLIX_LOG_WARNING, PALLIX_LOG_NET, "port %d in use", 10004);
  PALLIX_LOG(PALLIX_LOG_ERROR, PALLIX_LOG_SPOOL, "%s", std::string(600, 'x').c_str());
  const std::string out = ::testing::internal::GetCapturedStderr();
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} libPallix )";
  EXPECT_TRUE(std::regex_match(out, std::regex(stamp + "WARN net: port 10004 in use\n" + stamp +
                                               "ERROR spool: x{508}\\.\\.\\.\n")))
      << out;
}
