// brenna-web in a real browser, beside the installed monitor on a virtual
// display: Debian's headless chromium opens the live panel, a hostile
// result and then the demo are sent, and the page shows each of the seven
// groups' values with the window's text and colour, display by display, in
// the window's layout scaled to the page; the hostile names and values
// show as text. The list has every result, a click shows one with its
// values, the CSV has them all. When the monitor dies the page says so
// instead of showing the last values as live, and it follows the monitor's
// next run. And from the LAN only with a browser paired once, never with
// the token in a link or a cookie. A site's overview of three lines. (The
// TV, the day's report, vehicles and alerts: WebViewDayTest.cpp.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "ArchiveDay.h"
#include "DemoData.h"
#include "FreePort.h"
#include "HeadlessBrowser.h"
#include "MonitorScreen.h"
#include "MonitorSession.h"
#include "Station.h"
#include "TempDir.h"
#include "TestSocket.h"
#include "WebPageScripts.h"
#include "WebViewFixture.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveTime.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"

namespace fs = std::filesystem;

TEST_F(WebView, ThePageShowsWhatTheWindowShowsAndSaysWhenTheMonitorIsGone) {
  std::string error;
  ASSERT_TRUE(m_browser.Navigate(Url("/"), &error)) << error;
  // The monitor's own idle state, as the window shows it.
  WaitFor("document.getElementById('d1119').textContent === '设备空闲'");
  EXPECT_EQ("rgb(255, 0, 0)",
            Eval("getComputedStyle(document.querySelector('#d1119 span')).color"));
  EXPECT_EQ("监控程序运行中", Eval("document.getElementById('state-head').textContent"));

  // A station sends names and values made to become markup, and bytes that
  // are no GBK. (A name cannot hold < > or ": the monitor refuses those
  // names, so this one carries a quote and entities.)
  const std::string op = "<img src=x onerror=window.pwned=1>";
  const std::string value = "<script>window.pwned=2</script>";
  const std::string name = "x'&amp;&#60;b&#62;\xFF";
  std::vector<std::string> frames;
  ASSERT_TRUE(m_session.Frames("hostile", {"7700 0 25\n7701 0 " + op + "\n5000 1 " + value + "\n"},
                               &frames, &error))
      << error;
  for (std::string& f : frames) f = WithTransferName(f, name);
  const StreamOutcome sent = SendStream(m_session.tree().port(), Concat(frames), kPatience);
  ASSERT_EQ(1, sent.receipt) << sent.error;
  WaitFor("document.getElementById('d1119').textContent === " + json(op).dump());
  EXPECT_EQ(json(value), Eval("document.getElementById('d1019').textContent"));
  EXPECT_EQ(json(true), Eval(kNothingInjected));

  // The demo, one transfer per file, as a station tool sends it.
  const std::vector<DemoFile> demo = DemoFiles(BRENNA_DEMO_DIR);
  ASSERT_EQ(7u, demo.size());
  std::vector<std::string> args = {"127.0.0.1:" + std::to_string(m_session.tree().port())};
  for (const DemoFile& f : demo) args.push_back(f.path);
  std::string output;
  ASSERT_EQ(0, m_session.RunStationTool(args, &output)) << output;
  std::string title;
  EXPECT_TRUE(m_session.WaitForTitle(CountedTitle(8), kPatience, &title)) << title;
  WaitFor(
      "document.title === '数据监控(8)' && document.getElementById('title').textContent === "
      "'数据监控(8)'");

  // Display by display: the text and colour the window shows.
  const std::map<int, Shown> expected = ExpectedScreen(demo);
  const std::vector<std::string> window = LookUntilShown(
      m_session, ArtefactPath("e2e-web-window.png"),
      [&](ScreenChecks& check) {
        for (const auto& [id, shown] : expected)
          check.Shows(id, ScreenColour(shown.color), "the window's display");
      },
      kPatience);
  for (const std::string& f : window) ADD_FAILURE() << f;
  const std::string last = GbkToUtf8(expected.at(1157).text);
  WaitFor("document.getElementById('d1157').textContent === " + json(last).dump());
  const std::map<int, json> page = Displays();
  ASSERT_EQ(std::size(kValueDisplayIds), page.size());
  const struct {
    int width, height;
  } design{DluToPixelsX(MainDialogTemplate().rect.cx), DluToPixelsY(MainDialogTemplate().rect.cy)};
  const json panel = Eval(
      "[document.getElementById('panel').clientWidth, "
      "document.getElementById('panel').clientHeight]");
  const double pxX = 1.0 / panel[0].get<double>(), pxY = 1.0 / panel[1].get<double>();
  for (int id : kValueDisplayIds) {
    SCOPED_TRACE("display " + std::to_string(id));
    const json& d = page.at(id);
    const auto it = expected.find(id);
    const std::string text = it == expected.end() ? "" : GbkToUtf8(it->second.text);
    EXPECT_EQ(text, d["text"].get<std::string>());
    EXPECT_EQ("rgb(255, 255, 255)", d["bg"].get<std::string>());
    if (it != expected.end()) {
      EXPECT_EQ(Css(it->second.color), d["fg"].get<std::string>());
      EXPECT_TRUE(d["drawn"].get<bool>());
      EXPECT_TRUE(d["inside"].get<bool>()) << "the text runs out of its display";
    }
    // Where the window's template puts it, scaled to the page.
    const CRect r = DluToPixels(FindControl(MainDialogTemplate(), id)->rect);
    EXPECT_NEAR(static_cast<double>(r.left) / design.width, d["x"].get<double>(), pxX);
    EXPECT_NEAR(static_cast<double>(r.top) / design.height, d["y"].get<double>(), pxY);
    EXPECT_NEAR(static_cast<double>(r.right - r.left) / design.width, d["w"].get<double>(), pxX);
    EXPECT_NEAR(static_cast<double>(r.bottom - r.top) / design.height, d["h"].get<double>(), pxY);
  }
  EXPECT_EQ(json(true), Eval(kNothingInjected));
  ASSERT_TRUE(m_browser.Screenshot(ArtefactPath("e2e-web-live.png"), &error)) << error;

  // The list: every result, the hostile name as text; a click shows one.
  ASSERT_TRUE(m_browser.Navigate(Url("/results"), &error)) << error;
  const json rows = Eval(
      "[...document.querySelectorAll('table.results tbody tr')].map(r => "
      "[...r.cells].slice(0, 5).map(c => c.textContent))");
  ASSERT_EQ(8u, rows.size()) << rows.dump();
  std::set<std::string> names;
  for (const json& r : rows) names.insert(r[4].get<std::string>());
  for (const DemoFile& f : demo) EXPECT_EQ(1u, names.count(DemoName(f))) << DemoName(f);
  EXPECT_EQ(1u, names.count("x'&amp;&#60;b&#62;\xEF\xBF\xBD")) << "the hostile name, as text";
  EXPECT_EQ(json(true), Eval(kNothingInjected));
  ASSERT_TRUE(m_browser.Screenshot(ArtefactPath("e2e-web-results.png"), &error)) << error;
  const DemoFile* brake = nullptr;
  for (const DemoFile& f : demo)
    if (DemoName(f) == "brake") brake = &f;
  ASSERT_NE(nullptr, brake);
  Eval("[...document.querySelectorAll('td.name a')].find(a => a.textContent === 'brake').click()");
  WaitFor(
      "location.pathname.startsWith('/results/') && document.readyState === 'complete' && "
      "document.getElementById('transfer').textContent === 'brake'");
  const std::map<int, json> one = Displays();
  for (const auto& [id, shown] : ExpectedWrites(*brake)) {
    SCOPED_TRACE("result page, display " + std::to_string(id));
    EXPECT_EQ(GbkToUtf8(shown.text), one.at(id)["text"].get<std::string>());
    EXPECT_EQ(Css(shown.color), one.at(id)["fg"].get<std::string>());
  }
  EXPECT_EQ("", one.at(1018)["text"].get<std::string>()) << "another group's display";
  // A brake result's curves are long values: they wrap, the page fits.
  EXPECT_EQ(json(true), Eval(kFitsTheWidth));
  ASSERT_TRUE(m_browser.Screenshot(ArtefactPath("e2e-web-result.png"), &error)) << error;

  // On a phone the result, and the list, fit its width too.
  ASSERT_TRUE(m_browser.Resize(kPhoneWidth, kPhoneHeight, true, &error)) << error;
  EXPECT_EQ(json(true), Eval(kFitsTheWidth));
  ASSERT_TRUE(m_browser.Screenshot(ArtefactPath("e2e-web-result-phone.png"), &error)) << error;
  ASSERT_TRUE(m_browser.Navigate(Url("/results"), &error)) << error;
  EXPECT_EQ(json(true), Eval(kFitsTheWidth));
  ASSERT_TRUE(m_browser.Screenshot(ArtefactPath("e2e-web-results-phone.png"), &error)) << error;
  ASSERT_TRUE(m_browser.Resize(kPageWidth, kPageHeight, false, &error)) << error;

  // The CSV: a header and a row for every value the window showed (the
  // hostile result's one among them).
  const json csv = Eval("fetch('/results.csv').then(r => r.text())");
  const std::string file = csv.get<std::string>();
  std::ptrdiff_t lines = 2;
  for (const DemoFile& f : demo)
    for (const DemoLine& l : f.lines) lines += FindRoute(l.code) != nullptr;
  EXPECT_EQ(lines, std::count(file.begin(), file.end(), '\n')) << file;
  for (const DemoFile& f : demo)
    EXPECT_NE(std::string::npos, file.find("," + DemoName(f) + "\r\n")) << file;

  // The monitor dies: the page says so, with when it was last heard of,
  // instead of showing the last values as live.
  ASSERT_TRUE(m_browser.Navigate(Url("/"), &error)) << error;
  WaitFor("document.getElementById('state-head').textContent === '监控程序运行中'");
  const auto killed = std::chrono::steady_clock::now();
  ASSERT_EQ(0, kill(m_session.monitor().pid(), SIGKILL));
  m_session.monitor().WaitExit(kPatience);
  WaitFor(
      "document.getElementById('banner-head').textContent === '监控程序未运行' && "
      "getComputedStyle(document.getElementById('banner')).display !== 'none'");
  std::printf("brenna-web: the page said the monitor was down %lld ms after it was killed\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - killed)
                                         .count()));
  archive::ArchiveReader reader;
  archive::RunRow run;
  const std::string archivePath =
      m_session.tree().work() + "/home/.local/state/brennacenter/archive.sqlite";
  ASSERT_TRUE(reader.Open(archivePath, &error)) << error;
  ASSERT_TRUE(reader.LastRun(&run, &error)) << error;
  EXPECT_EQ(json("最后联系 " + archive::ToLocal(run.heartbeatUtcMs).text.substr(0, 19) +
                 "，此后再无心跳"),
            Eval("document.getElementById('state-detail').textContent"));
  EXPECT_EQ(json("0.3"), Eval("getComputedStyle(document.getElementById('d1119')).opacity"));
  ASSERT_TRUE(m_browser.Screenshot(ArtefactPath("e2e-web-down.png"), &error)) << error;

  // It comes back: the page follows its new run; it quits: the page says so.
  ASSERT_TRUE(static_cast<MonitorProcess&>(m_session).Start(&error)) << error;
  WaitFor(
      "document.getElementById('state-head').textContent === '监控程序运行中' && "
      "document.getElementById('d1119').textContent === '设备空闲' && "
      "document.title === '数据监控'");
  m_session.Stop();
  WaitFor("document.getElementById('state-detail').textContent.endsWith('（已退出）')");
}

// From the LAN: brenna-web makes the token once and gives a pairing link,
// good once; a browser without it is refused, the link pairs the browser
// (a session in its cookie, never the token), `--pair` gives a link for the
// next screen while brenna-web serves, a restart keeps the sessions and
// prints no link, a second brenna-web on the same port exits, and a page
// whose pairing has ended says that a new link is needed.
TEST(WebViewOnTheLan, APairingLinkLetsOneBrowserInOnceAndTheTokenIsNeverInALinkOrCookie) {
  TempDir home;
  const std::vector<std::string> env = {"HOME=" + home.file("home"),
                                        "XDG_STATE_HOME=" + home.file("home/state"),
                                        "XDG_CONFIG_HOME=" + home.file("home/config")};
  const int port = FreePort();
  ASSERT_NE(0, port);
  const std::vector<std::string> argv = {BRENNA_WEB_PATH, "--listen",
                                         "0.0.0.0:" + std::to_string(port)};
  // Its output kept where only its owner may read it, as scripts/run.sh
  // keeps it: brenna-web prints no pairing link into a file others can read.
  auto privateLog = [&](const std::string& name) {
    const std::string path = home.file(name);
    ::close(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
    ChildProcess::Options options;
    options.env = env;
    options.logPath = path;
    return options;
  };
  auto start = [&](ChildProcess& web, const std::string& log) {
    std::string error;
    ASSERT_TRUE(StartListening(&web, argv, privateLog(log), port, kPatience, &error)) << error;
  };
  auto get = [&](const std::string& path, const std::string& headers) {
    return GetFromTheLan(port, path, headers);
  };
  auto pairingCode = [](const std::string& said) {
    const std::string mark = "/pair?code=";
    const auto at = said.find(mark);
    return at == std::string::npos ? std::string() : said.substr(at + mark.size(), 32);
  };

  ChildProcess web;
  start(web, "first.log");
  const std::string said = ReadFileBytes(home.file("first.log"));
  const std::string code = pairingCode(said);
  ASSERT_EQ(32u, code.size()) << said;
  std::string token = ReadFileBytes(home.file("home/state/brennacenter/web-token"));
  token = token.substr(0, 64);
  ASSERT_EQ(64u, token.size());
  EXPECT_EQ(std::string::npos, said.find(token)) << "the token is never printed";
  struct stat st {};
  ASSERT_EQ(0, ::stat(home.file("home/state/brennacenter/web-token").c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);

  EXPECT_EQ(0u, get("/", "").rfind("HTTP/1.1 403 ", 0));
  EXPECT_EQ(0u, get("/?token=" + token, "").rfind("HTTP/1.1 403 ", 0)) << "never in a link";
  EXPECT_EQ(0u, get("/", "Cookie: brenna_web_token=" + token + "\r\n").rfind("HTTP/1.1 403 ", 0))
      << "never in a cookie";
  const std::string link = get("/pair?code=" + code, "");
  EXPECT_EQ(0u, link.rfind("HTTP/1.1 303 ", 0)) << link;
  const std::string head = "Set-Cookie: brenna_web_session=";
  const auto cookieAt = link.find(head);
  ASSERT_NE(std::string::npos, cookieAt) << link;
  const std::string session = link.substr(cookieAt + head.size(), 64);
  EXPECT_NE(std::string::npos, link.find(session + "; Path=/; Max-Age=2592000; HttpOnly; "
                                                   "SameSite=Strict"))
      << link;
  EXPECT_EQ(std::string::npos, link.find(token));
  EXPECT_EQ(0u, get("/pair?code=" + code, "").rfind("HTTP/1.1 403 ", 0)) << "once only";
  const std::string in = get("/", "Cookie: brenna_web_session=" + session + "\r\n");
  EXPECT_EQ(0u, in.rfind("HTTP/1.1 200 ", 0)) << in;
  EXPECT_EQ(0u,
            get("/metrics", "Authorization: Bearer " + token + "\r\n").rfind("HTTP/1.1 200 ", 0));
  const test_socket::Handle s = test_socket::ConnectLoopback(port);
  const std::string request =
      "POST /results HTTP/1.1\r\nHost: x\r\nCookie: brenna_web_session=" + session +
      "\r\nContent-Length: 1\r\nConnection: close\r\n\r\nx";
  test_socket::SendAll(s, request.data(), request.size());
  bool closed = false;
  const std::string refused = test_socket::Receive(s, 30000, &closed);
  test_socket::Close(s);
  EXPECT_EQ(0u, refused.rfind("HTTP/1.1 405 ", 0)) << refused;

  // The next screen, paired while brenna-web serves.
  ChildProcess pair;
  std::string error;
  std::vector<std::string> pairArgv = argv;
  pairArgv.push_back("--pair");
  ASSERT_TRUE(pair.Start(pairArgv, privateLog("pair.log"), &error)) << error;
  ASSERT_TRUE(pair.WaitExit(kPatience));
  EXPECT_EQ("exit status 0", pair.Describe()) << ReadFileBytes(home.file("pair.log"));
  const std::string next = pairingCode(ReadFileBytes(home.file("pair.log")));
  ASSERT_EQ(32u, next.size()) << ReadFileBytes(home.file("pair.log"));
  EXPECT_EQ(0u, get("/pair?code=" + next, "").rfind("HTTP/1.1 303 ", 0));

  // A second brenna-web on the same port does not serve beside it.
  ChildProcess second;
  ASSERT_TRUE(second.Start(argv, privateLog("second-port.log"), &error)) << error;
  ASSERT_TRUE(second.WaitExit(kPatience)) << "a second brenna-web served on a port in use";
  EXPECT_EQ("exit status 1", second.Describe());
  EXPECT_NE(std::string::npos,
            ReadFileBytes(home.file("second-port.log")).find("cannot listen on 0.0.0.0:"))
      << ReadFileBytes(home.file("second-port.log"));

  // A browser paired with the first link follows the live panel.
  HeadlessBrowser browser;
  ASSERT_TRUE(browser.Start(env, home.file("chromium.log"), kPageWidth, kPageHeight, &error))
      << error;
  ChildProcess pairAgain;
  ASSERT_TRUE(pairAgain.Start(pairArgv, privateLog("pair2.log"), &error)) << error;
  ASSERT_TRUE(pairAgain.WaitExit(kPatience));
  const std::string third = pairingCode(ReadFileBytes(home.file("pair2.log")));
  ASSERT_EQ(32u, third.size());
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  // The link leads on to the live panel: opened from a page of its own.
  ASSERT_TRUE(browser.Navigate(base + "/healthz", &error)) << error;
  std::string value;
  ASSERT_TRUE(browser.Evaluate(
      "location.assign(" + json(base + "/pair?code=" + third).dump() + "), true", &value, &error))
      << error;
  ASSERT_TRUE(
      browser.WaitFor("location.pathname === '/' && document.readyState === 'complete' && "
                      "document.body.classList.contains('live') && "
                      "document.getElementById('state-head').textContent !== ''",
                      kPatience, &error))
      << error;

  // A restart keeps every session and prints no link; a new token ends them.
  web.Stop();
  ChildProcess again;
  start(again, "second.log");
  const std::string second2 = ReadFileBytes(home.file("second.log"));
  EXPECT_TRUE(pairingCode(second2).empty()) << second2;
  EXPECT_NE(std::string::npos, second2.find("brenna-web --pair")) << second2;
  EXPECT_EQ(0u,
            get("/", "Cookie: brenna_web_session=" + session + "\r\n").rfind("HTTP/1.1 200 ", 0));
  again.Stop();
  ASSERT_TRUE(fs::remove(home.file("home/state/brennacenter/web-token")));
  ChildProcess renewed;
  start(renewed, "third.log");
  EXPECT_EQ(0u,
            get("/", "Cookie: brenna_web_session=" + session + "\r\n").rfind("HTTP/1.1 403 ", 0));
  // The page asks for a new link instead of waiting for ever.
  std::string seen;
  if (!browser.WaitFor("document.getElementById('banner-head').textContent === '需要新的配对链接'",
                       kPatience, &error)) {
    browser.Evaluate(kPageSummary, &seen, &error);
    ADD_FAILURE() << error << "\nthe page: " << seen;
  }
  EXPECT_EQ(json("这个浏览器已不能访问：请向管理员索取新的配对链接"), json::parse([&] {
              std::string v;
              browser.Evaluate("document.getElementById('link').textContent", &v, &error);
              return v;
            }()));
  browser.Stop();
}

// A site: three lines, each a monitor with its brenna-web on the LAN, and
// the overview that reads them with their tokens. Each line is there with
// its groups; one line's brenna-web stops and the overview says so while
// the others go on; a monitor stops and its line says so; a click opens a
// line's own panel, which asks this browser to pair with it.
TEST(WebViewSite, TheOverviewShowsThreeLinesAndSurvivesOneStopping) {
  constexpr int kLines = 3;
  MonitorProcess monitors[kLines];
  ChildProcess webs[kLines];
  int ports[kLines];
  std::string site = "[site]\n";
  std::string error;
  for (int i = 0; i < kLines; ++i) {
    MonitorProcess& m = monitors[i];
    ASSERT_TRUE(m.Start(&error)) << error;
    ports[i] = FreePort();
    ASSERT_NE(0, ports[i]);
    ChildProcess::Options options;
    options.env = m.Environment();
    options.logPath = WriteSettings(m.tree().work() + "/brenna-web.log", "");
    const std::string settings =
        WriteSettings(m.tree().work() + "/brenna-web.ini",
                      "[brenna-web]\nListen=0.0.0.0:" + std::to_string(ports[i]) +
                          "\nLineName=" + std::to_string(i + 1) + "号线\n");
    ASSERT_TRUE(StartListening(&webs[i], {BRENNA_WEB_PATH, "--config", settings}, options, ports[i],
                               kPatience, &error))
        << error;
    const std::string token =
        ReadFileBytes(m.tree().work() + "/home/.local/state/brennacenter/web-token").substr(0, 64);
    ASSERT_EQ(64u, token.size());
    const std::string n = std::to_string(i + 1);
    site +=
        "Line" + n + "=127.0.0.1:" + std::to_string(ports[i]) + "\nToken" + n + "=" + token + "\n";
  }
  const int sitePort = FreePort();
  site += "Listen=127.0.0.1:" + std::to_string(sitePort) + "\n";
  ChildProcess overview;
  ChildProcess::Options options;
  options.env = monitors[0].Environment();
  options.logPath = monitors[0].tree().work() + "/site.log";
  const std::string settings = WriteSettings(monitors[0].tree().work() + "/site.ini", site);
  ASSERT_TRUE(StartListening(&overview, {BRENNA_WEB_PATH, "--site", "--config", settings}, options,
                             sitePort, kPatience, &error))
      << error << ReadFileBytes(options.logPath);

  HeadlessBrowser browser;
  ASSERT_TRUE(browser.Start(monitors[0].Environment(), monitors[0].tree().work() + "/chromium.log",
                            kPageWidth, kPageHeight, &error))
      << error;
  auto waitFor = [&](const std::string& condition) {
    std::string seen;
    if (browser.WaitFor(condition, kPatience, &error)) return;
    browser.Evaluate("document.querySelector('.lines').innerText", &seen, &error);
    FAIL() << error << "\nthe overview: " << seen << "\n" << ReadFileBytes(options.logPath);
  };
  auto eval = [&](const std::string& expression) {
    std::string value;
    EXPECT_TRUE(browser.Evaluate(expression, &value, &error)) << error;
    return json::parse(value, nullptr, false);
  };
  ASSERT_TRUE(browser.Navigate("http://127.0.0.1:" + std::to_string(sitePort) + "/", &error))
      << error;
  std::string all;
  for (int i = 0; i < kLines; ++i)
    all += std::string(i ? " && " : "") + "document.getElementById('L" + std::to_string(i) +
           "-name').textContent === '" + std::to_string(i + 1) + "号线' && " +
           "document.getElementById('L" + std::to_string(i) +
           "-state').textContent === '监控程序运行中'";
  waitFor(all);

  // A car on each line: each card shows its brake group's operator and
  // verdict.
  for (int i = 0; i < kLines; ++i) {
    std::string output;
    const std::string op = "L" + std::to_string(i + 1) + "-01";
    ASSERT_EQ(0, monitors[i].SendResults({"site-" + std::to_string(i)},
                                         {"7700 0 25\n7701 0 " + op + "\n5075 2 12\n"}, &output))
        << output;
  }
  for (int i = 0; i < kLines; ++i) {
    const std::string row = "L" + std::to_string(i) + "-g6";
    waitFor("document.getElementById('" + row + "-op').textContent === 'L" + std::to_string(i + 1) +
            "-01' && document.getElementById('" + row + "-v').textContent === '否决项'");
  }
  EXPECT_EQ(json("rgb(255, 0, 0)"),
            eval("getComputedStyle(document.getElementById('L0-g6-v')).backgroundColor"));
  ASSERT_TRUE(browser.Screenshot(ArtefactPath("e2e-web-site.png"), &error)) << error;

  // Line two's brenna-web stops: said at once; the others go on.
  webs[1].Stop();
  waitFor("document.getElementById('L1-state').textContent === '无法连接'");
  std::string output;
  ASSERT_EQ(
      0, monitors[2].SendResults({"site-next"}, {"7700 0 25\n7701 0 L3-02\n5075 1 5\n"}, &output))
      << output;
  waitFor(
      "document.getElementById('L2-g6-op').textContent === 'L3-02' && "
      "document.getElementById('L2-g6-v').textContent === '合格项'");
  EXPECT_EQ(json("L2-01"), eval("document.getElementById('L1-g6-op').textContent"))
      << "what line two said last stays";
  // Line one's monitor stops.
  monitors[0].Stop();
  waitFor("document.getElementById('L0-state').textContent === '监控程序未运行'");
  EXPECT_EQ(json("监控程序运行中"), eval("document.getElementById('L2-state').textContent"));
  ASSERT_TRUE(browser.Screenshot(ArtefactPath("e2e-web-site-one-down.png"), &error)) << error;

  // A click opens line three's own panel; this browser is not paired with
  // it, so the line asks for that.
  eval("document.getElementById('L2-name').click(), true");
  waitFor("location.port === '" + std::to_string(ports[2]) +
          "' && document.readyState === 'complete' && document.title.includes('需要配对')");
  browser.Stop();
  overview.Stop();
  for (ChildProcess& w : webs) w.Stop();
}
