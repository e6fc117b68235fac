// The live panel's source: what the feed makes of the archive as the
// monitor writes it. The monitor counts as running only while its heartbeat
// is at most 5 s old and its run has no stop; the panel, the title and the
// counts per group follow every result; an archive that is missing, damaged
// or moved aside and begun anew is said and followed. And what a station
// sends stays text in every page, file and update made of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "WebTestArchive.h"
#include "archive/ArchiveReader.h"
#include "platform/Gbk.h"
#include "reports/ResultColumns.h"
#include "web/LiveFeed.h"
#include "web/Pages.h"

namespace fs = std::filesystem;
using web::LiveFeed;
using web::MonitorState;

namespace {

std::int64_t LastHeartbeat(const std::string& path) {
  archive::ArchiveReader reader;
  archive::RunRow run;
  std::string error;
  EXPECT_TRUE(reader.Open(path, &error)) << error;
  EXPECT_TRUE(reader.LastRun(&run, &error)) << error;
  return run.heartbeatUtcMs;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST(LiveFeed, TheMonitorRunsWhileItsHeartbeatIsAtMostFiveSecondsOldAndUntilItStops) {
  WebTestArchive archive;
  std::int64_t now = 0;
  LiveFeed feed({archive.path(), std::chrono::milliseconds(25), [&] { return now; }});
  const std::int64_t heartbeat = LastHeartbeat(archive.path());

  now = heartbeat + archive::kHeartbeatStaleMs;
  feed.LookOnce();
  web::FeedState s = feed.Current();
  EXPECT_EQ(MonitorState::Kind::kRunning, s.monitor.kind);
  EXPECT_TRUE(Has(*s.json, "\"running\":true")) << *s.json;
  EXPECT_TRUE(Has(*s.json, "监控程序运行中"));

  // One millisecond more and the values on the page are no longer live.
  now += 1;
  feed.LookOnce();
  const std::uint64_t before = s.version;
  s = feed.Current();
  EXPECT_GT(s.version, before) << "every live page is told";
  EXPECT_EQ(MonitorState::Kind::kSilent, s.monitor.kind);
  EXPECT_EQ(heartbeat, s.monitor.lastHeardUtcMs);
  EXPECT_TRUE(Has(*s.json, "\"running\":false")) << *s.json;
  EXPECT_TRUE(Has(*s.json, "监控程序未运行"));
  EXPECT_TRUE(Has(*s.json, "最后联系 " + archive::ToLocal(heartbeat).text.substr(0, 19)))
      << *s.json;

  // A monitor that quits says so at once, whatever the clock.
  archive.End("quit");
  now = heartbeat;
  feed.LookOnce();
  s = feed.Current();
  EXPECT_EQ(MonitorState::Kind::kStopped, s.monitor.kind);
  EXPECT_TRUE(Has(*s.json, "已退出")) << *s.json;
}

TEST(LiveFeed, ThePanelTitleAndCountsPerGroupFollowEveryResult) {
  WebTestArchive archive;
  // A run begins with the monitor's own writes, the idle state, before any
  // result.
  LiveFeed first({archive.path(), std::chrono::milliseconds(25), nullptr});
  first.LookOnce();
  archive.writer.RecordOwnWrites(archive::NowUtcMs(),
                                 {{1119, Gbk("设备空闲"), 0xFFFFFF, 0x0000FF}});
  archive.writer.Drain();
  first.LookOnce();
  ASSERT_TRUE(first.Current().values);
  ASSERT_EQ(1u, first.Current().values->count(1119));
  EXPECT_EQ(Gbk("设备空闲"), first.Current().values->at(1119).text);
  EXPECT_EQ(0x0000FFu, first.Current().values->at(1119).textColor);
  EXPECT_EQ("数据监控", first.Current().title) << "no result counted yet";

  archive.Add(BrakeResult("before", "0815", "1111", 1));
  LiveFeed feed({archive.path(), std::chrono::milliseconds(25), nullptr});
  feed.LookOnce();
  web::FeedState s = feed.Current();
  ASSERT_TRUE(s.values);
  EXPECT_EQ("1111", s.values->at(1126).text);
  EXPECT_EQ("数据监控(1)", s.title);
  EXPECT_EQ(1, s.groups.at("制动设备").results) << "the archive's results when the feed began";
  EXPECT_EQ(0, s.groups.at("速度设备").results) << "every group is listed";

  // A waiter on another thread is woken by the next result.
  feed.Start();
  web::FeedState next;
  std::thread waiter([&] { feed.WaitForChange(s.version, std::chrono::seconds(60), &next); });
  archive.Add(BrakeResult("after", "0816", "2222", 2, 0x00FF00));
  waiter.join();
  ASSERT_TRUE(next.values);
  EXPECT_EQ("2222", next.values->at(1126).text);
  EXPECT_EQ(0x00FF00u, next.values->at(1126).textColor);
  EXPECT_EQ("0816", next.values->at(1119).text);
  EXPECT_EQ("数据监控(2)", next.title);
  EXPECT_TRUE(Has(*next.json, "[1126,\"2222\",\"#00ff00\",\"#ffffff\",4]")) << *next.json;
  EXPECT_EQ(2, next.groups.at("制动设备").results);

  // Stopping lets every waiter go at once.
  std::thread late(
      [&] { EXPECT_FALSE(feed.WaitForChange(next.version, std::chrono::hours(1), &s)); });
  feed.Stop();
  late.join();
}

TEST(LiveFeed, AMissingDamagedOrReplacedArchiveIsSaidAndFollowed) {
  TempDir dir;
  const std::string path = dir.file("archive.sqlite");
  std::int64_t now = 1000000;
  LiveFeed feed({path, std::chrono::milliseconds(25), [&] { return now; }});
  feed.LookOnce();
  EXPECT_EQ(MonitorState::Kind::kNoArchive, feed.Current().monitor.kind);
  EXPECT_FALSE(feed.Current().archiveOpen);

  // The monitor starts: its archive appears, made in a few steps (an empty
  // file first), and is opened.
  std::ofstream(path).flush();
  now += 2000;
  feed.LookOnce();
  EXPECT_EQ(MonitorState::Kind::kNoArchive, feed.Current().monitor.kind) << "not yet an archive";
  archive::ArchiveWriter first;
  archive::WriterOptions options;
  options.path = path;
  first.Start(options);
  first.Record(BrakeResult("old", "0815", "1111"));
  first.Drain();
  now = archive::NowUtcMs();
  feed.LookOnce();
  EXPECT_TRUE(feed.Current().archiveOpen);
  EXPECT_EQ("1111", feed.Current().values->at(1126).text);
  first.Stop("quit");

  // The file is moved aside (as the monitor does with a damaged one) and a
  // new archive begun at the path: the feed reads the new one.
  fs::rename(path, path + ".20261207-101500.damaged");
  archive::ArchiveWriter second;
  second.Start(options);
  second.Record(BrakeResult("new", "0816", "2222"));
  second.Drain();
  now = archive::NowUtcMs();
  feed.LookOnce();
  web::FeedState s = feed.Current();
  EXPECT_EQ("2222", s.values->at(1126).text);
  EXPECT_EQ(MonitorState::Kind::kRunning, s.monitor.kind);
  EXPECT_EQ(1, s.groups.at("制动设备").results) << "counted from the new file";
  second.Stop("quit");

  // Something that is no archive at the path (the old one gone with its
  // WAL, as the monitor moves them).
  for (const char* part : {"", "-wal", "-shm"}) fs::remove(path + part);
  std::ofstream(path) << "this is no database, just text that happens to be here\n";
  now += 2000;
  feed.LookOnce();
  s = feed.Current();
  EXPECT_EQ(MonitorState::Kind::kUnreadable, s.monitor.kind);
  EXPECT_FALSE(s.archiveOpen);
  EXPECT_TRUE(Has(*s.json, "无法读取存档")) << *s.json;
  EXPECT_TRUE(s.values->empty()) << "nothing old is shown as if current";
}

TEST(Pages, WhatAStationSentIsTextInEveryPageFileAndUpdate) {
  WebTestArchive archive;
  const std::string transfer = "<script>alert('x')</script>\"&\xFF";
  const std::string op = "<img src=x onerror=alert(1)>";
  const std::string value = "</span><b>\x01";
  archive.Add(BrakeResult(transfer, op, value));
  LiveFeed feed({archive.path(), std::chrono::milliseconds(25), nullptr});
  feed.LookOnce();

  auto inert = [](const std::string& text, const char* where) {
    EXPECT_FALSE(Has(text, "<script>alert")) << where;
    EXPECT_FALSE(Has(text, "<img src")) << where;
    EXPECT_FALSE(Has(text, "</span><b>")) << where;
    EXPECT_FALSE(Has(text, "\x01")) << where;
    EXPECT_FALSE(Has(text, "\xFF")) << where << ": a byte that is no GBK";
  };
  const web::FeedState s = feed.Current();
  inert(*s.json, "the live update");
  EXPECT_TRUE(Has(*s.json, "\\u003cimg src=x onerror=alert(1)\\u003e")) << *s.json;
  EXPECT_TRUE(Has(*s.json, "\\u003c/span\\u003e\\u003cb\\u003e\xEF\xBF\xBD")) << *s.json;

  const std::string live = web::LivePage(s).html;
  inert(live, "the live page");
  EXPECT_TRUE(Has(live, "&lt;img src=x onerror=alert(1)&gt;"));

  archive::ArchiveReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(archive.path(), &error)) << error;
  const web::Page list = web::ResultsPage(reader, {}, archive::NowUtcMs());
  EXPECT_EQ(200, list.status);
  inert(list.html, "the list");
  EXPECT_TRUE(
      Has(list.html, "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&quot;&amp;\xEF\xBF\xBD"))
      << list.html;
  const web::Page one = web::ResultPage(reader, s.latestResultId);
  EXPECT_EQ(200, one.status);
  inert(one.html, "the result");

  // The CSV: one record, its cells text a spreadsheet shows as they are.
  archive::ResultRow row;
  ASSERT_TRUE(reader.LastResultOfRun(1, archive::NowUtcMs(), &row, &error)) << error;
  archive::ResultDetail detail;
  ASSERT_TRUE(reader.GetResult(row.id, &detail, &error)) << error;
  const std::string line = reports::CsvRows(row, detail.items);
  EXPECT_EQ(1, std::count(line.begin(), line.end(), '\n')) << "one value shown, one row";
  EXPECT_TRUE(Has(line, ",</span><b>\\x01,")) << line;
  EXPECT_TRUE(Has(line, ",\"<script>alert('x')</script>\"\"&\xEF\xBF\xBD\"\r\n")) << line;
  EXPECT_TRUE(Has(line, ",<img src=x onerror=alert(1)>,")) << line;
}

TEST(Pages, TheListTakesADayARangeAGroupAnOperatorAndANameAndNamesAFilterItCannotTake) {
  WebTestArchive archive;
  auto at = [](const char* local) {
    std::int64_t utc = 0;
    EXPECT_TRUE(archive::ParseLocalTime(local, &utc)) << local;
    return utc;
  };
  archive.Add(BrakeResult("early", "0815", "1", 1, 0xFF0000, at("2026-03-01 10:00:00")));
  archive.Add(BrakeResult("middle", "0816", "2", 2, 0xFF0000, at("2026-03-01 10:30:59.900")));
  archive::ArchivedResult speed =
      BrakeResult("late", "0815", "3", 3, 0xFF0000, at("2026-03-01 10:31:00"));
  speed.deviceCode = 3;
  speed.deviceGroup = "速度设备";
  archive.Add(speed);
  archive.Add(BrakeResult("next day", "0815", "4", 4, 0xFF0000, at("2026-03-02 10:30:00")));

  archive::ArchiveReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(archive.path(), &error)) << error;
  auto names = [&](const web::Query& q) {
    archive::ResultFilter f;
    std::string why;
    EXPECT_TRUE(web::ParseResultsQuery(q, at("2026-03-02 12:00"), &f, &why)) << why;
    std::string out;
    reader.ListResults(
        f, [&](const archive::ResultRow& r) { return out += r.transfer + ";", true; }, &error);
    return out;
  };
  EXPECT_EQ("next day;", names({})) << "today by default";
  EXPECT_EQ("early;middle;late;", names({{"day", "2026-03-01"}}));
  EXPECT_EQ("middle;", names({{"day", "2026-03-01"}, {"from", "10:30"}, {"to", "10:30"}}))
      << "'to' takes in the whole minute it names";
  EXPECT_EQ("middle;late;", names({{"day", "2026-03-01"}, {"from", "10:30:30"}}));
  EXPECT_EQ("late;", names({{"day", "2026-03-01"}, {"group", "速度设备"}}));
  EXPECT_EQ("middle;", names({{"day", "2026-03-01"}, {"operator", "0816"}}));
  EXPECT_EQ("late;", names({{"day", "2026-03-01"}, {"transfer", "late"}}));

  struct Bad {
    web::Query query;
    const char* says;
  };
  const Bad bad[] = {
      {{{"day", "2026-02-30"}}, "日期“2026-02-30”"},
      {{{"from", "25:00"}}, "起始时间“25:00”"},
      {{{"to", "10:3"}}, "截止时间“10:3”"},
      {{{"group", "kitchen"}}, "没有名为“kitchen”的设备组"},
      {{{"operator", "\xF0\x9F\x98\x80"}}, "工号"},
      {{{"after", "-1"}}, "after"},
      {{{"transfer", std::string(300, 'x')}}, "太长"},
  };
  for (const Bad& b : bad) {
    archive::ResultFilter f;
    std::string why;
    EXPECT_FALSE(web::ParseResultsQuery(b.query, at("2026-03-02 12:00"), &f, &why)) << b.says;
    EXPECT_TRUE(Has(why, b.says)) << why;
  }
  const web::Page page = web::ResultsPage(reader, {{"day", "2026-13-01"}}, at("2026-03-02 12:00"));
  EXPECT_EQ(400, page.status);
  EXPECT_TRUE(Has(page.html, "2026-13-01")) << page.html;
}
