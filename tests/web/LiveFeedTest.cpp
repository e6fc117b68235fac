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
#include "archive/ArchiveTime.h"
#include "archive/HeartbeatNote.h"
#include "panel/IdleLook.h"
#include "platform/Gbk.h"
#include "reports/ResultColumns.h"
#include "reports/VehicleKey.h"
#include "web/LineSummary.h"
#include "web/LiveFeed.h"
#include "web/Pages.h"
#include "web/VehiclePage.h"
#include "web/WebText.h"

namespace fs = std::filesystem;
using web::LiveFeed;
using web::MonitorState;

namespace {

archive::RunRow LastRun(const std::string& path) {
  archive::ArchiveReader reader;
  archive::RunRow run;
  std::string error;
  EXPECT_TRUE(reader.Open(path, &error)) << error;
  EXPECT_TRUE(reader.LastRun(&run, &error)) << error;
  return run;
}

std::int64_t LastHeartbeat(const std::string& path) { return LastRun(path).heartbeatUtcMs; }

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

  // While another program holds the archive, the monitor notes its
  // heartbeat beside it: it runs on for the page.
  const archive::RunRow run = LastRun(archive.path());
  std::string error;
  ASSERT_TRUE(archive::WriteHeartbeatNote(archive.path(),
                                          {run.id, run.startedUtcMs, run.processId, now}, &error))
      << error;
  feed.LookOnce();
  EXPECT_EQ(MonitorState::Kind::kRunning, feed.Current().monitor.kind);
  archive::RemoveHeartbeatNote(archive.path());
  now += archive::kHeartbeatStaleMs + 1;
  feed.LookOnce();
  EXPECT_EQ(MonitorState::Kind::kSilent, feed.Current().monitor.kind);

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
  const std::string line =
      reports::CsvRows(row, detail.items, reports::VehicleRule().KeyOf(row.transfer));
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
  EXPECT_EQ("middle;", names({{"day", "2026-03-01"}, {"transfer", "dd"}})) << "part of a name";

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
      {{{"vehicle", "car"}, {"from", "10:00"}}, "起始时间只在给出日期时可用"},
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

TEST(LiveFeed, AQuietLineIsIdleSaysWhenItLastShowedAResultAndKeepsTheIdleLook) {
  WebTestArchive archive;
  const std::int64_t now = archive::NowUtcMs();
  LiveFeed feed({archive.path(), std::chrono::milliseconds(25), [&] { return now; }},
                {"一号线", std::chrono::minutes(10)});
  // A run begun 20 minutes ago that has shown nothing yet: the operator
  // displays show the idle look, which keeps its colour on an idle panel.
  archive.writer.RecordOwnWrites(now - 20 * 60 * 1000,
                                 {{1018, IdleStateText(), kIdleBackground, kIdleTextColor},
                                  {1119, IdleStateText(), kIdleBackground, kIdleTextColor}});
  archive.writer.Drain();
  feed.LookOnce();
  web::FeedState s = feed.Current();
  EXPECT_TRUE(s.line.idle);
  EXPECT_EQ("尚无结果", s.line.idleHead);
  EXPECT_TRUE(Has(*s.json, "\"idle\":{\"head\":\"尚无结果\",\"detail\":\"线路空闲：监控程序启动后"))
      << *s.json;
  EXPECT_TRUE(Has(*s.json, "\"keep\":[1018,1119]")) << *s.json;
  EXPECT_TRUE(Has(*s.json, "\"name\":\"一号线\"")) << *s.json;
  const std::string page = web::LivePage(s, true).html;
  EXPECT_TRUE(Has(page, "class=\"panel fill idle\"")) << page;
  EXPECT_TRUE(Has(page, "<div class=\"vd keep\" id=\"d1119\"")) << page;

  // Its first car was shown twelve minutes ago: idle since then.
  const std::int64_t first = now - 12 * 60 * 1000;
  archive.Add(BrakeResult("truck", "0815", "1234", 1, 0x0000FF, first));
  feed.LookOnce();
  s = feed.Current();
  EXPECT_TRUE(s.line.idle);
  EXPECT_EQ(0u, s.line.idleHead.rfind("最后结果 ", 0)) << s.line.idleHead;
  EXPECT_TRUE(Has(s.line.idleHead, archive::ToLocal(first).text.substr(11, 5))) << s.line.idleHead;
  EXPECT_EQ("线路空闲：10 分钟以上没有新的结果", s.line.idleDetail);
  EXPECT_TRUE(Has(*s.json, "\"keep\":[1018]")) << "1119 shows an operator now: " << *s.json;

  // The next, three minutes ago: the line works; each group tells its
  // newest result.
  const std::int64_t second = now - 3 * 60 * 1000;
  archive.Add(BrakeResult("car", "4711", "1000", 2, 0xFF0000, second));
  feed.LookOnce();
  s = feed.Current();
  EXPECT_FALSE(s.line.idle);
  EXPECT_TRUE(Has(*s.json, "\"idle\":null")) << *s.json;
  EXPECT_EQ(second, s.line.lastResultUtcMs);
  ASSERT_EQ(7u, s.line.groups.size());
  EXPECT_EQ("制动设备", s.line.groups[6].group);
  EXPECT_EQ("4711", s.line.groups[6].operatorText);
  EXPECT_EQ(1, s.line.groups[6].judge) << "its value shown blue: passed";
  EXPECT_EQ(2, s.line.groups[6].resultId);
  EXPECT_TRUE(Has(*s.json, "{\"g\":\"制动设备\",\"id\":2,\"t\":" + std::to_string(second) +
                               ",\"op\":\"4711\",\"v\":1,\"n\":0,\"k\":\"car\"}"))
      << *s.json;
  EXPECT_TRUE(Has(*s.json, "{\"g\":\"速度设备\",\"id\":0,")) << "none yet: " << *s.json;

  // When it was, told against the day it is.
  auto at = [](const char* local) {
    std::int64_t utc = 0;
    EXPECT_TRUE(archive::ParseLocalTime(local, &utc)) << local;
    return utc;
  };
  const std::int64_t day = at("2026-12-07 10:00:00");
  EXPECT_EQ("最后结果 09:42", web::LastResultText(at("2026-12-07 09:42:59"), day));
  EXPECT_EQ("最后结果 12-06 17:31", web::LastResultText(at("2026-12-06 17:31:00"), day));
  EXPECT_EQ("最后结果 2025-12-31 23:59", web::LastResultText(at("2025-12-31 23:59:00"), day));
  EXPECT_EQ("尚无结果", web::LastResultText(0, day));
}

TEST(Pages, APanelAtAMomentAndAResultTellWhichResultWroteEachValueAndWhatAnEarlierVehicleLeft) {
  WebTestArchive archive;
  const std::int64_t now = archive::NowUtcMs();
  // A three-axle truck, then a two-axle car: the truck's third axle stays.
  archive::ArchivedResult truck = BrakeResult("truck", "0815", "x", 1, 0xFF0000, now + 1000);
  truck.writes = {{1119, "0815", 0xFFFFFF, 0xFF0000},
                  {1120, "1500", 0xFFFFFF, 0},
                  {1121, "1600", 0xFFFFFF, 0},
                  {1122, "1700", 0xFFFFFF, 0x0000FF}};
  archive::ArchivedResult car = BrakeResult("car", "4711", "x", 2, 0xFF0000, now + 2000);
  car.writes = {
      {1119, "4711", 0xFFFFFF, 0xFF0000}, {1120, "800", 0xFFFFFF, 0}, {1121, "750", 0xFFFFFF, 0}};
  archive.Add(truck);
  archive.Add(car);
  archive::ArchiveReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(archive.path(), &error)) << error;

  const web::Page panel =
      web::PanelAtPage(reader, {{"at", archive::ToLocal(now + 3000).text.substr(0, 19)}});
  ASSERT_EQ(200, panel.status) << panel.html;
  const std::string& p = panel.html;
  EXPECT_TRUE(
      Has(p, "<div class=\"vd earlier\" id=\"d1122\" title=\"轴(轮)荷(kg) 左 三 轴：结果 1 于 "))
      << p;
  EXPECT_TRUE(Has(p, "<div class=\"vd\" id=\"d1120\" title=\"轴(轮)荷(kg) 左 一 轴：结果 2 于 "))
      << p;
  EXPECT_TRUE(Has(p, "制动设备 · 最新结果 <a href=\"/results/2\">结果 2</a>")) << p;
  EXPECT_TRUE(Has(p, "<tr class=\"earlier\" data-display=\"1122\"><td>轴(轮)荷(kg) 左 三 轴</td>"))
      << p;
  EXPECT_TRUE(Has(p, "<td><a href=\"/results/1\">结果 1</a></td>")) << p;
  EXPECT_TRUE(Has(p, "前车遗留")) << p;
  EXPECT_TRUE(Has(p, "<tr class=\"unwritten\"><td>工号</td><td class=\"none\">（未写入）</td>"))
      << "another group: " << p;
  // One step back: the panel as the truck left it; none forward.
  EXPECT_TRUE(Has(p, "rel=\"prev\" href=\"/panel?at=" +
                         web::UrlEncode(archive::ToLocal(truck.shownUtcMs).text) + "\""))
      << p;
  EXPECT_TRUE(Has(p, "<span class=\"step none\">下一条结果 ▶</span>")) << p;

  // The car's own page: its values, and the truck's third axle beside
  // them, marked; the other groups empty; a step to the truck.
  const web::Page carPage = web::ResultPage(reader, 2);
  ASSERT_EQ(200, carPage.status);
  const std::string& c = carPage.html;
  EXPECT_TRUE(Has(c, "<div class=\"vd earlier\" id=\"d1122\"")) << c;
  EXPECT_TRUE(Has(c, "data-n=\"4\"><span>1700</span>")) << c;
  EXPECT_TRUE(Has(c,
                  "<div class=\"vd\" id=\"d1018\" data-fg=\"#ffffff\" data-bg=\"#ffffff\" "
                  "data-n=\"0\"><span></span>"))
      << "another group's display, empty: " << c;
  EXPECT_TRUE(Has(c, "rel=\"prev\" href=\"/results/1\"")) << c;
  EXPECT_TRUE(Has(c, "<span class=\"step none\">下一条结果 ▶</span>")) << c;
  // The truck's: nothing earlier; a step on to the car.
  const web::Page truckPage = web::ResultPage(reader, 1);
  EXPECT_FALSE(Has(truckPage.html, "vd earlier")) << truckPage.html;
  EXPECT_TRUE(Has(truckPage.html, "rel=\"next\" href=\"/results/2\"")) << truckPage.html;
}

// A vehicle, by its plate (the transfer name up to its last '-'): every
// result of it on any day in the list, and its page with each group's
// latest result as drawn; another car's results are in neither.
TEST(Pages, AVehicleIsFoundOnEveryDayAndItsPageShowsEachGroupsLatestResult) {
  WebTestArchive archive;
  auto at = [](const char* local) {
    std::int64_t utc = 0;
    EXPECT_TRUE(archive::ParseLocalTime(local, &utc)) << local;
    return utc;
  };
  const std::string car = Gbk("粤B27K315");
  archive.Add(BrakeResult(car + "-brake", "0815", "31.5", 1, 0x0000FF, at("2026-03-01 10:00:00")));
  archive.Add(BrakeResult(car + "-brake", "0815", "12.5", 2, 0xFF0000, at("2026-03-01 10:40:00")));
  archive.Add(
      BrakeResult(Gbk("粤B27K316-brake"), "0815", "9.9", 3, 0xFF0000, at("2026-03-01 10:41:00")));
  archive::ArchivedResult speed =
      BrakeResult(car + "-speed", "1024", "40", 4, 0xFF0000, at("2026-03-02 09:00:00"));
  speed.deviceCode = 3;
  speed.deviceGroup = "速度设备";
  speed.items = {{0, 7700, 0, "3"}, {1, 7701, 0, "1024"}, {2, 5000, 1, "40"}};
  speed.writes = {{1018, "1024", 0xFFFFFF, 0xFF0000}, {1019, "40", 0xFFFFFF, 0xFF0000}};
  archive.Add(speed);

  archive::ArchiveReader reader;
  reports::TellVehiclesBy(reports::VehicleRule(), &reader);
  std::string error;
  ASSERT_TRUE(reader.Open(archive.path(), &error)) << error;
  const web::Page list =
      web::ResultsPage(reader, {{"vehicle", "粤B27K315"}}, at("2026-03-02 12:00"));
  ASSERT_EQ(200, list.status);
  EXPECT_TRUE(Has(list.html, "共 3 条结果")) << list.html;
  EXPECT_FALSE(Has(list.html, "粤B27K316")) << "another car";

  const web::Page page = web::VehiclePage(reader, {{"key", "粤B27K315"}});
  ASSERT_EQ(200, page.status);
  const std::string& p = page.html;
  EXPECT_TRUE(Has(p, "<h3>制动设备")) << p;
  EXPECT_TRUE(Has(p, "<h3>速度设备")) << p;
  EXPECT_TRUE(Has(p, "<a href=\"/results/2\">结果 2</a>")) << "the brake's latest: " << p;
  EXPECT_FALSE(Has(p, "<a href=\"/results/1\">结果 1</a></p>")) << "not its first: " << p;
  EXPECT_TRUE(Has(p, "data-fg=\"#0000ff\" data-bg=\"#ffffff\">12.5</span>")) << p;
  const web::Page nobody = web::VehiclePage(reader, {{"key", "nobody"}});
  EXPECT_TRUE(Has(nobody.html, "没有这辆车的结果")) << nobody.html;
  EXPECT_EQ(400, web::VehiclePage(reader, {}).status);
}

// /panel?at= of a minute lists every moment the screen changed in it, each
// a link to the panel then: three results and the monitor's idle state at
// a start, none of the minute after.
TEST(Pages, APanelOfAMinuteListsEveryScreenChangeInIt) {
  WebTestArchive archive;
  const std::int64_t minute = (archive::NowUtcMs() / 60000 + 1) * 60000;
  archive.writer.RecordOwnWrites(minute + 1000, {{1119, Gbk("设备空闲"), 0xFFFFFF, 0x0000FF}});
  for (int s : {5, 20, 41, 61})
    archive.Add(
        BrakeResult("car" + std::to_string(s), "0815", "1", s, 0xFF0000, minute + s * 1000));
  archive::ArchiveReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(archive.path(), &error)) << error;
  const std::string named = archive::ToLocal(minute).text.substr(0, 16);
  const web::Page page = web::PanelAtPage(reader, {{"at", named}});
  ASSERT_EQ(200, page.status) << page.html;
  EXPECT_TRUE(Has(page.html, "这一分钟内屏幕变化 4 次")) << page.html;
  for (int s : {5, 20, 41})
    EXPECT_TRUE(Has(
        page.html,
        "<a href=\"/panel?at=" + web::UrlEncode(archive::ToLocal(minute + s * 1000).text) + "\">"))
        << s << ": " << page.html;
  EXPECT_FALSE(Has(page.html, "car61")) << "the next minute's";
  // The same minute as a time of its day.
  const web::Page clock = web::PanelAtPage(
      reader, {{"at", named.substr(11)}, {"day", named.substr(0, 10)}}, archive::NowUtcMs());
  EXPECT_TRUE(Has(clock.html, "这一分钟内屏幕变化 4 次")) << clock.html;
  // A moment to the second lists nothing.
  EXPECT_FALSE(Has(web::PanelAtPage(reader, {{"at", named + ":30"}}).html, "这一分钟"));
}
