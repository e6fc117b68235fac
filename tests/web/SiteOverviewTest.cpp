// A site's overview in-process: lines served on ports of their own, read
// with their tokens over their live updates. Each line shows its name, its
// groups' newest operator and verdict and whether its monitor runs; a line
// that cannot be reached, refuses the token, sends something that is no
// update or never answers shows as such and holds up no other; a line's
// token never reaches the overview's page or updates. And what a line
// sends is read within bounds, whatever it is.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "FreePort.h"
#include "HostileLine.h"
#include "ServedLine.h"
#include "TempDir.h"
#include "archive/ArchiveTime.h"
#include "platform/Gbk.h"
#include "web/AccessToken.h"
#include "web/LineWatch.h"
#include "web/Pairing.h"
#include "web/SiteFeed.h"
#include "web/SiteSettings.h"
#include "web/WebServer.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kPatience = std::chrono::seconds(60);
const std::string kToken(64, 'b');

web::ServerOptions Lan(const std::string& name) {
  web::ServerOptions o;
  o.settings.listen.host = "0.0.0.0";
  o.settings.listen.port = 0;
  o.settings.lineName = name;
  o.token = kToken;
  return o;
}

web::SiteLine Line(int number, int port, const std::string& token) {
  web::SiteLine line;
  line.number = number;
  line.host = "127.0.0.1";
  line.port = port;
  line.token = token;
  return line;
}

// The overview's state once `done` holds of it, or at the end of our
// patience.
web::SiteState When(web::SiteFeed& feed, const std::function<bool(const web::SiteState&)>& done) {
  web::SiteState s = feed.Current();
  for (auto until = std::chrono::steady_clock::now() + kPatience;
       !done(s) && std::chrono::steady_clock::now() < until;)
    feed.WaitForChange(s.version, 200ms, &s);
  return s;
}

// A program on a line's port that answers /events with something else.
class Impostor {
 public:
  Impostor() {
    server_.Get("/events", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("event: state\ndata: {\"title\": [[[[[[1]]]]]], \"running\": true}\n\n",
                      "text/event-stream");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~Impostor() {
    server_.stop();
    thread_.join();
  }
  int port() const { return port_; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace

TEST(SiteOverview, EachLineShowsAsItIsAndOneThatFailsHoldsUpNoOther) {
  auto first = std::make_unique<Served>(Lan("一号线"));
  Served second(Lan("二号线"));
  archive::ArchivedResult car = BrakeResult("car", "0815", "1234", 1, 0x0000FF);
  car.items[2] = {2, 5075, 2, "1234"};  // sent as a veto (a brake difference), and shown red
  first->archive().Add(car);
  const int nobody = FreePort();  // nothing listens there
  TcpListener silent(4);          // takes the connection, never answers
  Impostor impostor;

  web::SiteFeed::Options options;
  options.lines = {Line(1, first->port(), kToken), Line(2, second.port(), std::string(64, 'c')),
                   Line(3, nobody, kToken), Line(4, silent.port(), kToken),
                   Line(5, impostor.port(), "")};
  options.lines[1].name = "二线（设置中的名字）";
  options.timing.connect = 1000ms;
  options.timing.silence = 2000ms;
  options.timing.firstState = 500ms;
  options.timing.firstRetry = 100ms;
  options.timing.lastRetry = 400ms;
  web::SiteFeed feed(options);
  feed.Start();
  using Reach = web::LineView::Reach;
  web::SiteState s = When(feed, [](const web::SiteState& s) {
    return s.views.size() == 5 && s.views[0].reach == Reach::kUp &&
           s.views[1].reach == Reach::kRefused && s.views[2].reach == Reach::kUnreachable &&
           s.views[3].reach == Reach::kSilent && s.views[4].reach == Reach::kGarbled;
  });
  ASSERT_EQ(5u, s.views.size());
  const web::LineView& one = s.views[0];
  EXPECT_EQ(Reach::kUp, one.reach);
  EXPECT_EQ("一号线", one.name);
  EXPECT_TRUE(one.running);
  EXPECT_EQ("数据监控(1)", one.title);
  EXPECT_EQ(car.shownUtcMs, one.lastResultUtcMs);
  ASSERT_EQ(7u, one.groups.size());
  const web::GroupView& brake = one.groups[6];
  EXPECT_EQ("制动设备", brake.group);
  EXPECT_EQ("0815", brake.operatorText);
  EXPECT_EQ(2, brake.judge) << "its value was shown red, a veto";
  EXPECT_EQ(1, brake.vetoes);
  EXPECT_EQ(Reach::kRefused, s.views[1].reach) << "a token the line does not take";
  EXPECT_EQ(Reach::kUnreachable, s.views[2].reach) << "nothing listens";
  EXPECT_EQ(Reach::kSilent, s.views[3].reach) << "never answers: " << s.views[3].why;
  EXPECT_EQ(Reach::kGarbled, s.views[4].reach) << "no update: " << s.views[4].why;

  // The overview as a browser gets it: every line by name, what fails
  // said, and no line's token anywhere.
  web::ServerOptions at;
  at.settings.listen.host = "127.0.0.1";
  at.settings.listen.port = 0;
  at.site = &feed;
  web::LiveFeed none({"", 25ms, nullptr});
  web::WebServer overview(at, none);
  std::string error;
  ASSERT_TRUE(overview.Bind(&error)) << error;
  std::thread serving([&] { overview.Serve(); });
  httplib::Client browser("127.0.0.1", overview.Port());
  browser.set_read_timeout(30, 0);
  auto page = browser.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(200, page->status);
  for (const char* says :
       {"一号线", "二线（设置中的名字）", "拒绝访问", "无法连接", "没有回应", "无法读懂", "0815",
        "否决项", "http://127.0.0.1:", "今天 1 条结果，其中 1 条有否决项"})
    EXPECT_TRUE(Has(page->body, says)) << says << "\n" << page->body;
  std::string update;
  browser.Get("/events", [&](const char* data, size_t n) {
    update.append(data, n);
    return update.find("\n\n", update.find("event: state")) == std::string::npos;
  });
  EXPECT_TRUE(Has(update, "\"name\":\"一号线\"")) << update;
  for (const std::string& text : {page->body, update}) {
    EXPECT_FALSE(Has(text, kToken)) << "a line's token reached the browser";
    EXPECT_FALSE(Has(text, std::string(64, 'c')));
  }

  // Line one goes on while the others fail: its next car is in the
  // overview at once.
  first->archive().Add(BrakeResult("next", "4711", "1000"));
  s = When(feed, [](const web::SiteState& s) {
    return s.views[0].groups.size() == 7 && s.views[0].groups[6].operatorText == "4711";
  });
  EXPECT_EQ("4711", s.views[0].groups[6].operatorText);
  EXPECT_EQ(1, s.views[0].groups[6].judge) << "shown blue: passed";
  EXPECT_EQ(2, s.views[0].todayResults) << "the line's day so far";
  EXPECT_EQ(1, s.views[0].todayVetoed);

  // Its brenna-web stops: it cannot be reached, and what it said last is
  // kept, said to be from before.
  first.reset();
  s = When(feed, [](const web::SiteState& s) { return s.views[0].reach == Reach::kUnreachable; });
  EXPECT_EQ(Reach::kUnreachable, s.views[0].reach);
  EXPECT_EQ("4711", s.views[0].groups[6].operatorText);
  EXPECT_TRUE(Has(*s.json, "（断开前）")) << *s.json;

  feed.Stop();  // also the line that never answers
  overview.Stop();
  serving.join();
}

TEST(SiteOverview, WhatALineSendsIsReadWithinBounds) {
  web::LineView v;
  EXPECT_FALSE(web::ReadLineState("not json", &v));
  EXPECT_FALSE(web::ReadLineState("[1,2]", &v));
  EXPECT_FALSE(web::ReadLineState("{\"title\":\"x\"}", &v)) << "no word whether the monitor runs";
  std::string deep = "{\"title\":\"x\",\"running\":true,\"d\":";
  for (int i = 0; i < 100000; ++i) deep += "[";
  EXPECT_FALSE(web::ReadLineState(deep, &v)) << "nested far deeper than an update";

  const std::string longName(5000, 'n');
  const std::string state =
      "{\"title\":\"数据监控(3)\",\"running\":false,\"head\":7,\"idle\":{\"head\":\"最后结果 "
      "10:42\"},\"line\":{\"name\":\"" +
      longName +
      "\\u0001\",\"last\":-5,\"groups\":[1,{\"g\":\"制动设备\",\"id\":12,\"v\":77,\"n\":"
      "-1,\"op\":\"<b>\"}]}}";
  ASSERT_TRUE(web::ReadLineState(state, &v));
  EXPECT_EQ("数据监控(3)", v.title);
  EXPECT_FALSE(v.running);
  EXPECT_EQ("", v.head) << "not a text";
  EXPECT_TRUE(v.idle);
  EXPECT_EQ("最后结果 10:42", v.idleHead);
  EXPECT_EQ(256u, v.name.size()) << "clipped";
  EXPECT_EQ(0, v.lastResultUtcMs) << "no time";
  ASSERT_EQ(1u, v.groups.size()) << "what is no group is left out";
  EXPECT_EQ(12, v.groups[0].resultId);
  EXPECT_EQ(0, v.groups[0].judge) << "no judge code";
  EXPECT_EQ(0, v.groups[0].vetoes);
  EXPECT_EQ("<b>", v.groups[0].operatorText) << "text, escaped where it lands";
}

TEST(SiteSettings, LinesAddressesTokensAndNamesAndAFileOthersMayReadIsRefused) {
  TempDir dir;
  const std::string path = dir.file("brenna-web.ini");
  std::ofstream(path) << "[brenna-web]\nLineName=" << Gbk("三号线")  // a Chinese editor's GBK
                      << "\nIdleMinutes=0\nLiveReconnect=30\n"
                         "[site]\nListen=0.0.0.0:10090\n"
                         "Line1=http://192.168.1.21:10088/\nToken1="
                      << kToken
                      << "\nName1=一号线\n"
                         "Line2=line2-pc\n"
                         "Line3=[fd00::23]:10100\n"
                         "Line4=192.168.1.24:99999\n"
                         "Line5=192.168.1.25\nToken5=secret\n"
                         "Line7=bad host!\n";
  std::vector<std::string> warnings;
  const web::WebSettings line = web::ReadWebSettings(path, &warnings);
  EXPECT_EQ("三号线", line.lineName);
  EXPECT_EQ(web::kDefaultIdleMinutes, line.idleMinutes);
  EXPECT_EQ(30, line.liveReconnectSeconds);
  const web::SiteSettings site = web::ReadSiteSettings(path, &warnings);
  EXPECT_EQ("0.0.0.0", site.listen.host);
  EXPECT_EQ(10090, site.listen.port);
  ASSERT_EQ(3u, site.lines.size());
  EXPECT_EQ("192.168.1.21:10088", site.lines[0].Address());
  EXPECT_EQ(kToken, site.lines[0].token);
  EXPECT_EQ("一号线", site.lines[0].name);
  EXPECT_EQ("http://line2-pc:10088/", site.lines[1].Url()) << "the port by default";
  EXPECT_EQ("[fd00::23]:10100", site.lines[2].Address());
  std::string said;
  for (const std::string& w : warnings) said += w + "\n";
  EXPECT_TRUE(Has(said, "IdleMinutes=0")) << said;
  EXPECT_TRUE(Has(said, "Line4=192.168.1.24:99999")) << said;
  EXPECT_TRUE(Has(said, "Token5=...")) << "a token is never repeated: " << said;
  EXPECT_FALSE(Has(said, "secret")) << said;
  EXPECT_TRUE(Has(said, "Line7=bad host!")) << said;

  // The lines' tokens in a file others may read: refused.
  ::chmod(path.c_str(), 0644);
  EXPECT_TRUE(Has(web::TokensExposed(path), "may be read by others")) << web::TokensExposed(path);
  ::chmod(path.c_str(), 0600);
  EXPECT_EQ("", web::TokensExposed(path));
}

// The overview on the LAN lets in a browser paired with it, by a cookie of
// its own: one it shares a computer with a line's brenna-web beside would
// otherwise take the other's place in the browser.
TEST(SiteOverview, OnTheLanABrowserIsPairedWithTheOverviewUnderACookieOfItsOwn) {
  TempDir state;
  web::SiteFeed feed({{}, web::WatchTiming(), nullptr});
  web::ServerOptions o = OnTheLan(state, kToken, "site");
  o.sessionCookie = web::kSiteSessionCookie;
  o.site = &feed;
  web::LiveFeed none({"", 25ms, nullptr});
  web::WebServer overview(o, none);
  std::string error, code;
  ASSERT_TRUE(overview.Bind(&error)) << error;
  std::thread serving([&] { overview.Serve(); });
  httplib::Client browser("127.0.0.1", overview.Port());
  browser.set_read_timeout(30, 0);

  EXPECT_EQ(403, browser.Get("/")->status) << "not paired";
  ASSERT_TRUE(web::AddPairingCode(o.pairingPath, kToken, archive::NowUtcMs(), &code, &error))
      << error;
  auto paired = browser.Get("/pair?code=" + code);
  ASSERT_TRUE(paired);
  EXPECT_EQ(303, paired->status);
  const std::string cookie = paired->get_header_value("Set-Cookie");
  const std::string head = "brenna_site_session=";
  ASSERT_EQ(0u, cookie.rfind(head, 0)) << cookie;
  const std::string session = cookie.substr(head.size(), cookie.find(';') - head.size());
  auto in = browser.Get("/", {{"Cookie", head + session}});
  ASSERT_TRUE(in);
  EXPECT_EQ(200, in->status);
  EXPECT_TRUE(Has(in->body, "站点总览")) << in->body;
  EXPECT_EQ(403, browser.Get("/", {{"Cookie", "brenna_web_session=" + session}})->status)
      << "a line's cookie is not the overview's";
  overview.Stop();
  serving.join();
}

// What a line's address answers when it is no line, or a broken one: each
// read is bounded (an endless header line or chunk-size line is let go
// after a little, never read on), a web page is told from a line that
// cannot be reached, a flood of states reaches the overview only as often
// as a page can show it, its last state kept, and a line that keeps failing
// is tried again often enough to see its return within 5 s.
TEST(SiteOverview, AHostileAddressIsBoundedAndToldApartAFloodCoalescedAndAReturnSeenSoon) {
  const std::string endless(64 * 1024, '1');
  auto forever = [&](const std::string& start) {
    return [&endless, start](const HostileLine::Send& send) {
      if (!send(start)) return;
      for (std::size_t sent = 0; sent < (std::size_t{64} << 20) && send(endless);)
        sent += endless.size();
    };
  };
  HostileLine headerLine(forever("HTTP/1.1 200 OK\r\nX-Endless: "));
  HostileLine chunkLine(forever(
      "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nTransfer-Encoding: chunked\r\n\r\n"));
  HostileLine webPage([](const HostileLine::Send& send) {
    const std::string page = "<!doctype html><title>路由器</title><p>欢迎</p>\n";
    send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
         std::to_string(page.size()) + "\r\n\r\n" + page);
  });
  const std::string last = "数据监控(20000)";
  HostileLine flooding([&](const HostileLine::Send& send) {
    std::string states = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n\r\n";
    for (int i = 1; i <= 20000; ++i)
      states += "event: state\ndata: {\"title\":\"数据监控(" + std::to_string(i) +
                ")\",\"running\":true}\n\n";
    if (send(states))
      while (send("")) std::this_thread::sleep_for(10ms);  // and holds the connection
  });
  std::vector<std::chrono::steady_clock::time_point> tries;
  std::mutex lock;
  HostileLine away([&](const HostileLine::Send&) {
    std::lock_guard<std::mutex> hold(lock);
    tries.push_back(std::chrono::steady_clock::now());  // and closed at once
  });

  web::SiteFeed feed(
      {{Line(1, headerLine.port(), ""), Line(2, chunkLine.port(), ""), Line(3, webPage.port(), ""),
        Line(4, flooding.port(), ""), Line(5, away.port(), "")},
       web::WatchTiming(),
       nullptr});
  const std::uint64_t before = feed.Current().version;
  const auto began = std::chrono::steady_clock::now();
  feed.Start();
  using Reach = web::LineView::Reach;
  web::SiteState s = When(feed, [&](const web::SiteState& s) { return s.views[3].title == last; });
  const auto took = std::chrono::steady_clock::now() - began;
  EXPECT_EQ(last, s.views[3].title) << "the last state shown";
  EXPECT_EQ(Reach::kUp, s.views[3].reach);
  // Made anew at most every 250 ms, whatever the line sends.
  EXPECT_LE(s.version - before, static_cast<std::uint64_t>(took / 250ms) + 3);
  s = When(feed, [](const web::SiteState& s) {
    return s.views[0].reach == Reach::kGarbled && s.views[1].reach == Reach::kGarbled &&
           s.views[2].reach == Reach::kGarbled;
  });
  for (int i : {0, 1, 2})  // an endless header line, an endless chunk size, a web page
    EXPECT_EQ(Reach::kGarbled, s.views[i].reach) << i << ": " << s.views[i].why;
  // Enough tries for a doubling wait to have passed 5 s.
  for (auto until = std::chrono::steady_clock::now() + kPatience;
       away.connections() < 6 && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(50ms);
  feed.Stop();
  // Let go after a little: the endless lines got out far less than they had.
  EXPECT_LT(headerLine.mostSent(), std::size_t{32} << 20);
  EXPECT_LT(chunkLine.mostSent(), std::size_t{32} << 20);
  std::lock_guard<std::mutex> hold(lock);
  ASSERT_GE(tries.size(), 6u);
  for (std::size_t i = 1; i < tries.size(); ++i)
    EXPECT_LE(tries[i] - tries[i - 1], 5s) << "between tries " << i << " and " << i + 1;
}
