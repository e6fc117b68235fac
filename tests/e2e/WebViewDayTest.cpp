// brenna-web in a real browser, the TV and the day: the waiting room's TV
// (only the panel, readable from across the room: each digit's ink
// measured on screen at 1366 x 768 and 1920 x 1080, an idle group calm,
// each group's vehicle), a day made from known records (the list narrowed
// to a verdict counted against the day, the CSV files from both programs,
// the report read by its columns and on paper, a vehicle on one A4 sheet),
// and the supervisor's alert by webhook when the monitor stops and when it
// is back.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "Afternoon.h"
#include "ArchiveDay.h"
#include "CsvTable.h"
#include "ScreenImage.h"
#include "WebViewFixture.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveTime.h"
#include "platform/Gbk.h"

namespace fs = std::filesystem;

namespace {

// The TV's page of a brenna-web of its own (line 二号线, its live
// connection renewed every 5 s) beside the fixture's monitor, at 1366 x 768.
class Tv : public WebView {
 protected:
  void OpenTv() {
    std::string error;
    const int port = FreePort();
    ASSERT_NE(0, port);
    ChildProcess::Options options;
    options.env = m_session.Environment();
    options.logPath = m_session.tree().work() + "/brenna-web-tv.log";
    const std::string settings =
        WriteSettings(m_session.tree().work() + "/tv.ini",
                      "[brenna-web]\nListen=127.0.0.1:" + std::to_string(port) +
                          "\nLineName=二号线\nLiveReconnect=5\n");
    ASSERT_TRUE(StartListening(&m_tv, {BRENNA_WEB_PATH, "--config", settings}, options, port,
                               kPatience, &error))
        << error;
    ASSERT_TRUE(m_browser.Resize(1366, 768, false, &error)) << error;
    ASSERT_TRUE(m_browser.Navigate("http://127.0.0.1:" + std::to_string(port) + "/?tv", &error))
        << error;
  }
  void TearDown() override {
    m_tv.Stop();
    WebView::TearDown();
  }

  ChildProcess m_tv;
};

}  // namespace

// The waiting room's TV: only the panel, no pointer once it rests; idle, it
// says since when; and the live connection brenna-web renews every few
// seconds (every 10 minutes by default) never shows as a loss.
TEST_F(Tv, ThePanelAloneSaysSinceWhenItIsIdleAndRidesOutEveryReconnect) {
  OpenTv();
  std::string error;
  // The monitor has shown nothing yet: idle, and the idle look keeps its
  // look while the panel is dimmed.
  WaitFor(
      "document.getElementById('d1119').textContent === '设备空闲' && "
      "document.getElementById('panel').classList.contains('idle')");
  EXPECT_EQ(json("尚无结果"), Eval("document.getElementById('idle-head').textContent"));
  EXPECT_EQ(json("flex"), Eval("getComputedStyle(document.getElementById('idle')).display"));
  EXPECT_EQ(json("1"), Eval("getComputedStyle(document.getElementById('d1119')).opacity"));
  EXPECT_EQ(json("二号线 · 数据监控"), Eval("document.title"));
  EXPECT_EQ(json("二号线"), Eval("document.getElementById('line-name').textContent"));
  EXPECT_EQ(json(true),
            Eval("!document.querySelector('header, a') && "
                 "getComputedStyle(document.getElementById('state')).display === 'none'"))
      << "no bar, no link, no state box";
  EXPECT_EQ(json("no"), Eval("document.documentElement.getAttribute('translate')"));
  // The pointer goes once it rests.
  WaitFor("getComputedStyle(document.body).cursor === 'none'");
  ASSERT_TRUE(m_browser.Screenshot(ArtefactPath("e2e-web-tv-idle.png"), &error)) << error;

  // A car: the line works.
  std::string output;
  ASSERT_EQ(0, m_session.SendResults({"tv-1"}, {"7700 0 25\n7701 0 0815\n5075 2 12\n"}, &output))
      << output;
  WaitFor(
      "document.getElementById('d1119').textContent === '0815' && "
      "!document.getElementById('panel').classList.contains('idle')");

  // Three renewals of the live connection: never a loss, and the page
  // follows the line throughout.
  EXPECT_EQ(json(true), Eval(kCountLosses));
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(16);
  ASSERT_EQ(0, m_session.SendResults({"tv-2"}, {"7700 0 25\n7701 0 4711\n5075 1 5\n"}, &output))
      << output;
  WaitFor("document.getElementById('d1119').textContent === '4711'");
  std::this_thread::sleep_until(until);
  EXPECT_EQ(json(0), Eval("window.__losses"));
  EXPECT_GE(Eval("performance.getEntriesByType('resource').filter(e => "
                 "e.name.endsWith('/events')).length")
                .get<int>(),
            3)
      << "the live connection was renewed";
  ASSERT_EQ(0, m_session.SendResults({"tv-3"}, {"7700 0 25\n7701 0 0816\n5075 1 5\n"}, &output))
      << output;
  WaitFor("document.getElementById('d1119').textContent === '0816'");
  EXPECT_EQ(json(0), Eval("window.__losses"));
  ASSERT_TRUE(m_browser.Screenshot(ArtefactPath("e2e-web-tv.png"), &error)) << error;

  // The monitor starts anew: the line is idle since its last car, and
  // says when that was.
  archive::ArchiveReader reader;
  archive::ResultRow last;
  ASSERT_TRUE(reader.Open(
      m_session.tree().work() + "/home/.local/state/brennacenter/archive.sqlite", &error))
      << error;
  ASSERT_TRUE(reader.ResultShownBy(archive::NowUtcMs(), &last, &error)) << error;
  m_session.Stop();
  ASSERT_TRUE(static_cast<MonitorProcess&>(m_session).Start(&error)) << error;
  WaitFor(
      "document.getElementById('d1119').textContent === '设备空闲' && "
      "document.getElementById('panel').classList.contains('idle') && "
      "!document.getElementById('panel').classList.contains('down')");
  const std::string head = Eval("document.getElementById('idle-head').textContent");
  EXPECT_EQ(0u, head.rfind("最后结果 ", 0)) << head;
  EXPECT_NE(std::string::npos, head.find(last.shownLocal.substr(11, 5))) << head;
  EXPECT_EQ(json("1"), Eval("getComputedStyle(document.getElementById('d1119')).opacity"));
  EXPECT_EQ(json("0.3"), Eval("getComputedStyle(document.getElementById('d1138')).opacity"))
      << "every display but the idle look is dimmed";
  ASSERT_TRUE(m_browser.Screenshot(ArtefactPath("e2e-web-tv-since.png"), &error)) << error;
}

// Read from across the waiting room: an idle group calm in grey (the
// window's red would read as a veto); each group's car named above its
// values; every digit and caption at least 10 mm high on a 32" TV, its ink
// measured on screen at 1366 x 768 (19 px) and 1920 x 1080 (27 px).
TEST_F(Tv, IsReadableFromThreeMetresNamesEachGroupsCarAndShowsAnIdleGroupCalmly) {
  OpenTv();
  std::string error;
  WaitFor("document.getElementById('d1119').textContent === '设备空闲'");
  EXPECT_EQ("rgb(110, 110, 110)",
            Eval("getComputedStyle(document.querySelector('#d1119 span')).color"));
  // A car: the line works, and the brake group says whose car it is.
  std::string output;
  ASSERT_EQ(
      0, m_session.SendResults({"B27K315-brake"}, {"7700 0 25\n7701 0 0815\n5075 2 12\n"}, &output))
      << output;
  WaitFor(
      "document.getElementById('d1119').textContent === '0815' && "
      "!document.getElementById('panel').classList.contains('idle')");
  EXPECT_EQ(json("B27K315"), Eval("document.getElementById('vk6-key').textContent"));
  // The ink on screen: the operator's digits (blue), the veto's (red), the
  // group's caption (black), as tall as a reader 3 m away needs.
  for (const auto& [width, height, least] :
       {std::array<int, 3>{1366, 768, 19}, std::array<int, 3>{1920, 1080, 27}}) {
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    ASSERT_TRUE(m_browser.Resize(width, height, false, &error)) << error;
    WaitFor("Math.abs(document.getElementById('panel').clientWidth - " + std::to_string(width) +
            ") < 2 && parseFloat(document.querySelector('#d1138 span').style.fontSize) > "
            "document.getElementById('d1138').clientHeight");
    const std::string shot = ArtefactPath("e2e-web-tv-" + std::to_string(width) + ".png");
    ASSERT_TRUE(m_browser.Screenshot(shot, &error)) << error;
    ScreenImage image;
    ASSERT_TRUE(image.Load(shot, m_session.tree().work(), &error)) << error;
    for (const auto& [selector, colour] : {std::pair<std::string, Rgb>{"#d1119", Rgb{0, 0, 255}},
                                           {"#d1138", Rgb{255, 0, 0}},
                                           {"#tc6", Rgb{0, 0, 0}}}) {
      const json r = Eval("(() => { const b = document.querySelector('" + selector +
                          "').getBoundingClientRect(); return [b.left, b.top, b.width, "
                          "b.height].map(Math.round); })()");
      const ScreenBox box{r[0].get<int>(), r[1].get<int>(), r[2].get<int>(), r[3].get<int>()};
      EXPECT_GE(image.Extent(box, colour).height, least) << selector;
    }
  }
}

namespace {

// A day of 1,236 results made from known records (ArchiveDay) after an
// afternoon of known vehicles the day before (Afternoon.h), in an archive
// brenna-web serves for the line 四号线, and a headless chromium.
class ADay : public ::testing::Test {
 protected:
  void SetUp() override {
    m_env = {"HOME=" + m_home.file("home"), "XDG_STATE_HOME=" + m_home.file("home/state"),
             "XDG_CONFIG_HOME=" + m_home.file("home/config")};
    m_day = archive::ToLocal(archive::NowUtcMs() - 24LL * 3600 * 1000).day;
    m_made = MakeDay(m_day, 1236);
    m_afternoon = MakeAfternoon(archive::ToLocal(archive::NowUtcMs() - 48LL * 3600 * 1000).day);
    m_path = m_home.file("archive.sqlite");
    ASSERT_TRUE(WriteDay(m_path, AfternoonResults(m_afternoon)));
    ASSERT_TRUE(WriteDay(m_path, m_made));
    fs::create_directories(m_home.file("home/config/brennacenter"));
    WriteSettings(m_home.file("home/config/brennacenter/brenna-web.ini"),
                  "[brenna-web]\nLineName=四号线\n");
    const int port = FreePort();
    ASSERT_NE(0, port);
    ChildProcess::Options options;
    options.env = m_env;
    options.logPath = m_home.file("brenna-web.log");
    std::string error;
    ASSERT_TRUE(StartListening(
        &m_web,
        {BRENNA_WEB_PATH, "--archive", m_path, "--listen", "127.0.0.1:" + std::to_string(port)},
        options, port, kPatience, &error))
        << error;
    ASSERT_TRUE(
        m_browser.Start(m_env, m_home.file("chromium.log"), kPageWidth, kPageHeight, &error))
        << error;
    m_base = "http://127.0.0.1:" + std::to_string(port);
  }
  void TearDown() override {
    m_browser.Stop();
    m_web.Stop();
  }
  json Eval(const std::string& expression) {
    std::string value, error;
    EXPECT_TRUE(m_browser.Evaluate(expression, &value, &error)) << error;
    return json::parse(value, nullptr, false);
  }
  // brenna-history run on the same archive, its errors aside.
  ChildProcess::Options Quiet() {
    ChildProcess::Options quiet;
    quiet.env = m_env;
    quiet.errorPath = m_home.file("history.err");
    return quiet;
  }

  TempDir m_home;
  std::vector<std::string> m_env;
  std::string m_day, m_path, m_base;
  std::vector<DayResult> m_made;
  std::vector<AfternoonResult> m_afternoon;
  ChildProcess m_web;
  HeadlessBrowser m_browser;
};

}  // namespace

// Narrowed to vetoes, the list shows exactly the results made with one,
// newest first, each naming its veto, under the day's count; so for
// advisories. The day's CSV file is the same bytes from brenna-web and
// from brenna-history, and the exhaust station's operator 0612 is written
// so that a spreadsheet keeps it text. Today's list follows the line.
TEST_F(ADay, AVerdictListsExactlyItsResultsUnderTheDaysCountAndBothCsvFilesAreOne) {
  std::string error;
  for (const char* verdict : {"veto", "advisory"}) {
    SCOPED_TRACE(verdict);
    const bool veto = std::string(verdict) == "veto";
    std::vector<std::string> expected;  // newest first
    for (auto r = m_made.rbegin(); r != m_made.rend(); ++r)
      if (veto ? r->veto : r->advisory) expected.push_back(r->result.transfer);
    ASSERT_GT(expected.size(), 20u);
    ASSERT_TRUE(
        m_browser.Navigate(m_base + "/results?day=" + m_day + "&verdict=" + verdict, &error))
        << error;
    const json rows = Eval(
        "[...document.querySelectorAll('table.results tbody tr')].map(r => "
        "[r.cells[4].textContent, r.cells[5].textContent])");
    ASSERT_EQ(expected.size(), rows.size()) << rows.dump();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(expected[i], rows[i][0].get<std::string>());
      EXPECT_NE(std::string::npos, rows[i][1].get<std::string>().find(veto ? "否决 1 " : "建议 1 "))
          << rows[i][1];
    }
    // The day's count, of which so many had the verdict asked for.
    const std::string count = Eval("document.getElementById('count').textContent");
    EXPECT_EQ(0u, count.find("当天共 1236 条结果，其中 " + std::to_string(expected.size()) +
                             (veto ? " 条有否决项" : " 条有建议项")))
        << count;
    ASSERT_TRUE(m_browser.Screenshot(
        ArtefactPath(std::string("e2e-web-results-") + verdict + ".png"), &error))
        << error;
  }

  // The day's CSV: one file from both programs.
  std::string fromWeb;
  ASSERT_TRUE(m_browser.FetchBytes("/results.csv?day=" + m_day, &fromWeb, &error)) << error;
  const ProgramRun history = RunProgram(
      {BRENNA_HISTORY_PATH, "--archive", m_path, "--day", m_day, "--csv"}, Quiet(), kPatience);
  ASSERT_EQ(0, history.status) << history.Report();
  ASSERT_EQ(history.output.size(), fromWeb.size());
  EXPECT_TRUE(history.output == fromWeb) << "brenna-web and brenna-history differ";
  EXPECT_EQ(0u, fromWeb.rfind("\xEF\xBB\xBF编号,显示时间,设备组,工号,", 0));
  EXPECT_EQ(std::count(fromWeb.begin(), fromWeb.end(), '\n'),
            std::count(fromWeb.begin(), fromWeb.end(), '\r'))
      << "every line ended CR LF";
  EXPECT_NE(std::string::npos, fromWeb.find(",双怠速废气设备,\"=\"\"0612\"\"\","))
      << "the operator 0612 as text";
  EXPECT_EQ(std::string::npos, fromWeb.find(",0612,")) << "0612 where a spreadsheet makes it 612";

  // Today's list follows the line: a result shown now appears in it
  // without a reload.
  ASSERT_TRUE(m_browser.Navigate(m_base + "/results", &error)) << error;
  ASSERT_TRUE(m_browser.WaitFor("document.body.dataset.following === 'yes'", kPatience, &error))
      << error;
  DayResult now = m_made.front();
  now.result.shownUtcMs = archive::NowUtcMs();
  now.result.transfer = "shown-now";
  ASSERT_TRUE(WriteDay(m_path, {now}));
  EXPECT_TRUE(m_browser.WaitFor(
      "[...document.querySelectorAll('table.results td.name')].some(td => td.textContent === "
      "'shown-now')",
      kPatience, &error))
      << error;
}

// The day's report counts what the records were made to have, read by its
// columns, prints on one A4 page naming the line and fits a phone; its
// figures and the per-result file are the same bytes from both programs.
TEST_F(ADay, TheReportCountsByItsColumnsPrintsOnOnePageAndFitsAPhone) {
  std::string error;
  // The report: what the records were made to have, read by its columns,
  // on one A4 page that names the line; its figures as a file, the same
  // bytes from both programs.
  ASSERT_TRUE(m_browser.Navigate(m_base + "/report?day=" + m_day, &error)) << error;
  const json groups = Eval(
      "(() => { const h = [...document.querySelectorAll('#by-group thead th')].map(t => "
      "t.textContent); return [...document.querySelectorAll('#by-group tbody tr')].map(r => "
      "Object.fromEntries([...r.cells].map((c, i) => [h[i], c.textContent]))); })()");
  std::map<std::string, std::array<int, 3>> counts;  // results, vetoed, retests
  for (const DayResult& r : m_made) {
    auto& c = counts[r.result.deviceGroup];
    ++c[0];
    c[1] += r.veto;
    c[2] += r.retest;
  }
  ASSERT_EQ(8u, groups.size()) << groups.dump();
  for (const json& g : groups) {
    const std::string name = g["设备组"].get<std::string>();
    if (name == "合计") {
      EXPECT_EQ("1236", g["结果"].get<std::string>());
      continue;
    }
    SCOPED_TRACE(name);
    ASSERT_EQ(1u, counts.count(name));
    EXPECT_EQ(std::to_string(counts[name][0]), g["结果"].get<std::string>());
    EXPECT_EQ(std::to_string(counts[name][1]), g["否决"].get<std::string>());
    EXPECT_EQ(std::to_string(counts[name][2]), g["复检"].get<std::string>());
  }
  EXPECT_EQ(json("四号线 " + m_day + " 检测日报"),
            Eval("document.getElementById('report-title').textContent"));
  ASSERT_TRUE(m_browser.Screenshot(ArtefactPath("e2e-web-report.png"), &error)) << error;
  int pages = 0;
  ASSERT_TRUE(m_browser.PrintToPdf(ArtefactPath("e2e-web-report.pdf"), &pages, &error)) << error;
  EXPECT_EQ(1, pages) << "a normal day's report on one A4 page";
  ASSERT_TRUE(m_browser.Resize(kPhoneWidth, kPhoneHeight, true, &error)) << error;
  ASSERT_TRUE(m_browser.Navigate(m_base + "/report?day=" + m_day, &error)) << error;
  EXPECT_EQ(json(true), Eval(kFitsTheWidth)) << "the report on a phone";
  ASSERT_TRUE(m_browser.Screenshot(ArtefactPath("e2e-web-report-phone.png"), &error)) << error;
  ASSERT_TRUE(m_browser.Resize(kPageWidth, kPageHeight, false, &error)) << error;
  for (const std::vector<std::string>& file :
       {std::vector<std::string>{"/report.csv?day=" + m_day, "--report", m_day, "--csv"},
        std::vector<std::string>{"/results.csv?day=" + m_day + "&rows=result", "--day", m_day,
                                 "--csv", "--rows", "result"}}) {
    std::string web;
    ASSERT_TRUE(m_browser.FetchBytes(file[0], &web, &error)) << error;
    std::vector<std::string> argv = {BRENNA_HISTORY_PATH, "--archive", m_path};
    argv.insert(argv.end(), file.begin() + 1, file.end());
    const ProgramRun same = RunProgram(argv, Quiet(), kPatience);
    ASSERT_EQ(0, same.status) << same.Report();
    EXPECT_TRUE(same.output == web) << file[0] << ": brenna-web and brenna-history differ";
  }
  std::string perResult;
  ASSERT_TRUE(
      m_browser.FetchBytes("/results.csv?day=" + m_day + "&rows=result", &perResult, &error));
  const std::vector<CsvRow> rows = ReadCsv(perResult);
  ASSERT_EQ(m_made.size(), rows.size()) << "one row per result";
  const auto vetoed = std::count_if(rows.begin(), rows.end(),
                                    [](const CsvRow& r) { return r.at("判定") == "否决项"; });
  EXPECT_EQ(std::count_if(m_made.begin(), m_made.end(), [](const DayResult& r) { return r.veto; }),
            vetoed);
}

// A vehicle of the afternoon before: its every group's latest result, on
// one A4 sheet that names the line; the list of its results finds it by its
// plate, on any day.
TEST_F(ADay, AVehicleOfTheDayBeforePrintsOnOneSheetAndIsFoundByItsPlate) {
  std::string error;
  int pages = 0;
  const std::string car = Gbk("粤B110012");
  auto urlPart = [](const std::string& utf8) {
    std::string out;
    char hex[4];
    for (unsigned char c : utf8) {
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    return out;
  };
  ASSERT_TRUE(m_browser.Navigate(m_base + "/vehicle?key=" + urlPart("粤B110012"), &error)) << error;
  EXPECT_EQ(json(7), Eval("document.querySelectorAll('#latest .vgroup').length"));
  EXPECT_EQ(json("四号线 车辆 粤B110012"),
            Eval("document.getElementById('vehicle-title').textContent"));
  ASSERT_TRUE(m_browser.PrintToPdf(ArtefactPath("e2e-web-vehicle.pdf"), &pages, &error)) << error;
  EXPECT_EQ(1, pages) << "a vehicle on one A4 sheet";
  const auto tests = std::count_if(m_afternoon.begin(), m_afternoon.end(),
                                   [&](const AfternoonResult& r) { return r.vehicle == car; });
  ASSERT_TRUE(m_browser.Navigate(m_base + "/results?vehicle=" + urlPart("粤B110012"), &error))
      << error;
  EXPECT_EQ(json(static_cast<int>(tests)),
            Eval("document.querySelectorAll('table.results tbody tr').length"));
}

// The supervisor's alerts: a receiver on this computer stands in for the
// group chat's robot. brenna-web --test-alert reaches it; the monitor stops
// and one alert says so once it has been down for the settings' seconds;
// it starts again and one all-clear says so.
TEST_F(WebView, AnAlertReachesTheReceiverWhenTheMonitorStopsAndItsAllClearWhenItIsBack) {
  httplib::Server receiver;
  std::mutex lock;
  std::vector<std::string> texts;
  receiver.Post("/robot/send", [&](const httplib::Request& req, httplib::Response& res) {
    const json body = json::parse(req.body, nullptr, false);
    std::lock_guard<std::mutex> hold(lock);
    texts.push_back(body.is_object() ? body["text"]["content"].get<std::string>() : "?" + req.body);
    res.set_content("{\"errcode\":0}", "application/json");
  });
  const int hookPort = receiver.bind_to_any_port("127.0.0.1");
  std::thread receiving([&] { receiver.listen_after_bind(); });
  auto received = [&](const std::string& part) {
    std::lock_guard<std::mutex> hold(lock);
    return std::count_if(texts.begin(), texts.end(),
                         [&](const std::string& t) { return t.find(part) != std::string::npos; });
  };
  auto waitFor = [&](const std::string& part) {
    for (auto until = std::chrono::steady_clock::now() + kPatience;
         received(part) == 0 && std::chrono::steady_clock::now() < until;)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return received(part);
  };

  const int port = FreePort();
  ASSERT_NE(0, port);
  const std::string settings = WriteSettings(
      m_session.tree().work() + "/alerts.ini",
      "[brenna-web]\nListen=127.0.0.1:" + std::to_string(port) +
          "\nLineName=三号线\n[Alerts]\nWebhook=http://127.0.0.1:" + std::to_string(hookPort) +
          "/robot/send?key=abc\nMonitorDownSeconds=2\n");
  ChildProcess::Options options;
  options.env = m_session.Environment();
  options.logPath = m_session.tree().work() + "/brenna-web-alerts.log";
  const ProgramRun test =
      RunProgram({BRENNA_WEB_PATH, "--config", settings, "--test-alert"}, options, kPatience);
  EXPECT_EQ(0, test.status) << test.Report();
  EXPECT_EQ(1, waitFor("【三号线】这是一条测试告警"));

  ChildProcess web;
  std::string error;
  ASSERT_TRUE(StartListening(&web, {BRENNA_WEB_PATH, "--config", settings}, options, port,
                             kPatience, &error))
      << error;
  m_session.Stop();
  EXPECT_EQ(1, waitFor("【三号线】监控程序未运行")) << ReadFileBytes(options.logPath);
  ASSERT_TRUE(static_cast<MonitorProcess&>(m_session).Start(&error)) << error;
  EXPECT_EQ(1, waitFor("【三号线】恢复：监控程序又在运行")) << ReadFileBytes(options.logPath);
  web.Stop();
  EXPECT_EQ(1, received("监控程序未运行")) << "once";
  receiver.stop();
  receiving.join();
}
