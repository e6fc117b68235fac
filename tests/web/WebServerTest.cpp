// brenna-web's HTTP side in-process, on a port of the system's choosing:
// it only looks (anything but GET and HEAD is refused, every answer bars
// inline script and sniffing, a page of another site cannot reach it under
// its own name), from the LAN only with the token or a browser paired once
// (the token never in an address or a cookie), and it takes on no more
// connections and live pages than its limits; a live page that stops
// reading is dropped, requests that trickle in hold no thread and end at
// their deadline, one answer is never many copies of a file, and the port
// is its alone.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "ServedLine.h"
#include "TestSocket.h"
#include "WebTestArchive.h"
#include "archive/ArchiveTime.h"
#include "reports/CsvExport.h"
#include "web/AccessToken.h"
#include "web/LiveFeed.h"
#include "web/Pairing.h"
#include "web/WebServer.h"
#include "web/WebSettings.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kPatience = std::chrono::seconds(60);
const std::string kToken(64, 'a');

// A busy day: n results, named r1, r2, ...
void Fill(WebTestArchive& archive, int n) {
  for (int i = 1; i <= n; ++i) {
    archive.writer.Record(BrakeResult("r" + std::to_string(i), "0815", "1"));
    if (i % 200 == 0 || i == n) archive.writer.Drain();
  }
}

}  // namespace

TEST(WebServer, OnlyLooksBarsScriptsFromElsewhereAndAnswersOnlyItsOwnName) {
  Served served(Loopback());
  httplib::Client c = served.Client();

  for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
    const std::string answer =
        Exchange(served.port(), std::string(method) +
                                    " / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3\r\n"
                                    "Connection: close\r\n\r\nabc");
    EXPECT_EQ(0u, answer.rfind("HTTP/1.1 405 ", 0)) << method << ":\n" << answer;
    EXPECT_TRUE(Has(answer, "Allow: GET, HEAD")) << answer;
  }
  EXPECT_EQ(405, c.Post("/results", "x=1", "application/x-www-form-urlencoded")->status);

  auto page = c.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(200, page->status);
  EXPECT_EQ("text/html; charset=utf-8", page->get_header_value("Content-Type"));
  EXPECT_TRUE(Has(page->body, "<title>数据监控</title>")) << page->body;
  auto head = c.Head("/");
  ASSERT_TRUE(head);
  EXPECT_EQ(200, head->status);
  EXPECT_TRUE(head->body.empty());
  for (const char* path : {"/", "/app.js", "/panel.css", "/results", "/no-such-page"}) {
    auto r = c.Get(path);
    ASSERT_TRUE(r) << path;
    const std::string policy = r->get_header_value("Content-Security-Policy");
    EXPECT_TRUE(Has(policy, "default-src 'none'")) << path << ": " << policy;
    EXPECT_TRUE(Has(policy, "script-src 'self'")) << path << ": " << policy;
    EXPECT_FALSE(Has(policy, "unsafe-inline")) << path << ": " << policy;
    EXPECT_EQ("nosniff", r->get_header_value("X-Content-Type-Options")) << path;
  }
  EXPECT_EQ(404, c.Get("/no-such-page")->status);
  EXPECT_TRUE(Has(c.Get("/no-such-page")->body, "没有这个页面"));
  // No inline script anywhere: the page's script is a file of its own.
  EXPECT_FALSE(Has(page->body, "<script>"));
  EXPECT_TRUE(Has(page->body, "<script src=\"/app.js\" defer></script>"));

  // A page of another site whose name was made to point here.
  auto rebound = c.Get("/", {{"Host", "attacker.example:" + std::to_string(served.port())}});
  ASSERT_TRUE(rebound);
  EXPECT_EQ(403, rebound->status);
  EXPECT_EQ(200, c.Get("/", {{"Host", "LocalHost:" + std::to_string(served.port())}})->status);
}

TEST(WebServer, FromTheLanOnlyWithTheTokenOrABrowserPairedOnceAndNeverWithTheTokenInALink) {
  TempDir state;
  web::ServerOptions o = OnTheLan(state, kToken);
  auto served = std::make_unique<Served>(o);
  httplib::Client c = served->Client();

  auto refused = c.Get("/");
  ASSERT_TRUE(refused);
  EXPECT_EQ(403, refused->status);
  EXPECT_TRUE(Has(refused->body, "需要配对")) << refused->body;
  EXPECT_EQ(403, c.Get("/results.csv")->status);
  EXPECT_EQ(403, c.Get("/events")->status);
  // The token itself in an address (a browser's history keeps it) or in a
  // cookie (a browser sends it to every port of the address) lets no one in.
  auto link = c.Get("/results?token=" + kToken);
  ASSERT_TRUE(link);
  EXPECT_EQ(403, link->status);
  EXPECT_FALSE(link->has_header("Set-Cookie"));
  auto old = c.Get("/", {{"Cookie", std::string(web::kOldTokenCookie) + "=" + kToken}});
  ASSERT_TRUE(old);
  EXPECT_EQ(403, old->status);
  EXPECT_EQ(std::string(web::kOldTokenCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict",
            old->get_header_value("Set-Cookie"))
      << "the browser forgets it";

  // A pairing link: good once, for a session that is not the token.
  std::string code, error;
  ASSERT_TRUE(web::AddPairingCode(o.pairingPath, kToken, archive::NowUtcMs(), &code, &error))
      << error;
  auto paired = c.Get("/pair?code=" + code);
  ASSERT_TRUE(paired);
  EXPECT_EQ(303, paired->status);
  EXPECT_EQ("/", paired->get_header_value("Location"));
  const std::string cookie = paired->get_header_value("Set-Cookie");
  const std::string head = std::string(web::kSessionCookie) + "=";
  ASSERT_EQ(0u, cookie.rfind(head, 0)) << cookie;
  const std::string session = cookie.substr(head.size(), cookie.find(';') - head.size());
  EXPECT_EQ(64u, session.size()) << cookie;
  EXPECT_FALSE(Has(cookie, kToken)) << cookie;
  EXPECT_TRUE(Has(cookie, "HttpOnly")) << cookie;
  EXPECT_TRUE(Has(cookie, "SameSite=Strict")) << cookie;
  auto again = c.Get("/pair?code=" + code);
  ASSERT_TRUE(again);
  EXPECT_EQ(403, again->status) << "a pairing link lets in once";
  EXPECT_TRUE(Has(again->body, "配对链接无效")) << again->body;
  EXPECT_FALSE(again->has_header("Set-Cookie"));
  ASSERT_TRUE(web::AddPairingCode(o.pairingPath, kToken, archive::NowUtcMs() - 2 * 3600 * 1000,
                                  &code, &error))
      << error;
  EXPECT_EQ(403, c.Get("/pair?code=" + code)->status) << "an hour old";

  const httplib::Headers withSession = {{"Cookie", "other=1; " + head + session}};
  auto in = c.Get("/results", withSession);
  ASSERT_TRUE(in);
  EXPECT_EQ(200, in->status);
  EXPECT_TRUE(Has(in->body, "结果查询"));
  EXPECT_EQ(403, c.Get("/", {{"Cookie", head + std::string(64, '0')}})->status);

  // A metrics scraper shows the token in a header; a service manager needs none.
  auto metrics = c.Get("/metrics", {{"Authorization", "Bearer " + kToken}});
  ASSERT_TRUE(metrics);
  EXPECT_EQ(200, metrics->status);
  EXPECT_TRUE(Has(metrics->body, "brenna_monitor_running 1")) << metrics->body;
  EXPECT_EQ(200, c.Get("/healthz")->status);
  EXPECT_EQ(200, c.Get("/app.css")->status) << "the refusal page's own look";

  // The session outlives a restart of brenna-web; a new token ends it.
  served.reset();
  served = std::make_unique<Served>(o);
  EXPECT_EQ(200, served->Client().Get("/", withSession)->status) << "after a restart";
  served.reset();
  o.token = std::string(64, 'c');
  served = std::make_unique<Served>(o);
  EXPECT_EQ(403, served->Client().Get("/", withSession)->status) << "under a new token";
}

TEST(AccessToken, MadeOnceForItsOwnerAloneAndRefusedWhenOthersCouldHaveReadIt) {
  TempDir dir;
  const std::string path = dir.file("state/brennacenter/web-token");
  std::string token, again, error;
  bool made = false;
  ASSERT_TRUE(web::LoadOrMakeToken(path, &token, &made, &error)) << error;
  EXPECT_TRUE(made);
  EXPECT_EQ(web::kTokenLength, token.size());
  struct stat st {};
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  ASSERT_TRUE(web::LoadOrMakeToken(path, &again, &made, &error)) << error;
  EXPECT_FALSE(made);
  EXPECT_EQ(token, again);

  ::chmod(path.c_str(), 0644);
  EXPECT_FALSE(web::LoadOrMakeToken(path, &again, &made, &error));
  EXPECT_TRUE(Has(error, "may be read by others (mode 0644)")) << error;

  const std::string other = dir.file("other-token");
  std::ofstream(other) << "not a token\n";
  ::chmod(other.c_str(), 0600);
  EXPECT_FALSE(web::LoadOrMakeToken(other, &again, &made, &error));
  EXPECT_TRUE(Has(error, "holds no token")) << error;

  const std::string link = dir.file("linked-token");
  fs::create_symlink(path, link);
  ::chmod(path.c_str(), 0600);
  EXPECT_FALSE(web::LoadOrMakeToken(link, &again, &made, &error)) << "never through a link";
}

TEST(WebServer, TakesOnNoMoreConnectionsAndLivePagesThanItsLimitsAndDropsAPageThatStopsReading) {
  web::ServerOptions o = Loopback();
  o.settings.maxConnections = 5;
  o.settings.maxLiveClients = 1;
  // Downloads that are not read hold their threads for as long as the
  // write timeout lets them.
  o.ioTimeout = 60s;
  auto limits = std::make_unique<Served>(o);
  int port = limits->port();
  const std::string events = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

  // One live page: its first state at once.
  const test_socket::Handle live = test_socket::ConnectLoopback(port);
  ASSERT_NE(test_socket::kNone, live);
  const std::string first = FirstState(live);
  ASSERT_TRUE(Has(first, "text/event-stream")) << first;
  ASSERT_TRUE(Has(first, "event: state\ndata: {\"title\":\"数据监控\"")) << first;

  // A second live page is one too many.
  const std::string second =
      Exchange(port, "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(0u, second.rfind("HTTP/1.1 503 ", 0)) << second;
  EXPECT_TRUE(Has(second, "实时面板的连接已满")) << second;

  auto connections = [&](int n) {
    for (auto until = std::chrono::steady_clock::now() + kPatience;
         limits->server().Connections() != n && std::chrono::steady_clock::now() < until;)
      std::this_thread::sleep_for(5ms);
    return limits->server().Connections();
  };
  ASSERT_EQ(1, connections(1)) << "the live page";
  // A day's CSV far larger than what a connection's buffers hold.
  Fill(limits->archive(), 4000);

  // Four downloads nobody reads hold the other connections...
  std::vector<test_socket::Handle> slow;
  for (int i = 0; i < 4; ++i) {
    slow.push_back(test_socket::NewSocket());
    test_socket::SmallReceiveBuffer(slow.back());
    ASSERT_TRUE(test_socket::Connect(slow.back(), port));
    const std::string csv = "GET /results.csv HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    test_socket::SendAll(slow.back(), csv.data(), csv.size());
  }
  ASSERT_EQ(5, connections(5));
  // ...so the next one is answered at once that it must come back later.
  const std::string over = Exchange(port, "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_EQ(0u, over.rfind("HTTP/1.1 503 ", 0)) << over;
  EXPECT_TRUE(Has(over, "Retry-After: 5")) << over;
  EXPECT_TRUE(Has(over, "同时连接的客户端太多")) << over;

  // Once they are gone, requests are served again.
  for (test_socket::Handle s : slow) test_socket::Close(s);
  std::string again;
  for (auto until = std::chrono::steady_clock::now() + kPatience;
       again.rfind("HTTP/1.1 200 ", 0) != 0 && std::chrono::steady_clock::now() < until;)
    again = Exchange(port, "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(0u, again.rfind("HTTP/1.1 200 ", 0)) << again;

  // The live page goes, and its place with it.
  test_socket::Close(live);
  for (auto until = std::chrono::steady_clock::now() + kPatience;
       limits->server().LiveClients() > 0 && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(10ms);
  ASSERT_EQ(0, limits->server().LiveClients());
  limits.reset();

  // A page that asks and then never reads is dropped once what it was sent
  // fills its buffers and the write timeout passes.
  o.ioTimeout = 1s;
  Served served(o);
  port = served.port();
  const test_socket::Handle stuck = test_socket::NewSocket();
  ASSERT_NE(test_socket::kNone, stuck);
  const int small = 2048;
  ::setsockopt(static_cast<int>(stuck), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  ASSERT_TRUE(test_socket::Connect(stuck, port));
  test_socket::SendAll(stuck, events.data(), events.size());
  for (auto until = std::chrono::steady_clock::now() + kPatience;
       served.server().LiveClients() == 0 && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(10ms);
  ASSERT_EQ(1, served.server().LiveClients());
  int results = 0;
  for (auto until = std::chrono::steady_clock::now() + kPatience;
       served.server().LiveClients() > 0 && std::chrono::steady_clock::now() < until;) {
    ++results;
    served.archive().Add(BrakeResult("r" + std::to_string(results), "0815",
                                     std::string(400, static_cast<char>('a' + results % 26))));
  }
  EXPECT_EQ(0, served.server().LiveClients()) << "still connected after " << results << " results";
  test_socket::Close(stuck);
}

TEST(WebServer, TheCsvHoldsEveryResultOfABusyDayAndTheListGoesOnPageByPage) {
  Served served(Loopback());
  const int results = 1201;  // more than a CSV batch and two pages of the list
  Fill(served.archive(), results);
  httplib::Client c = served.Client();

  auto csv = c.Get("/results.csv");
  ASSERT_TRUE(csv);
  EXPECT_EQ(200, csv->status);
  EXPECT_EQ("text/csv; charset=utf-8", csv->get_header_value("Content-Type"));
  std::istringstream lines(csv->body);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(0u, line.rfind("\xEF\xBB\xBF编号,显示时间,设备组,", 0)) << line;
  int n = 0;
  while (std::getline(lines, line)) {
    ++n;
    EXPECT_EQ(0u, line.rfind(std::to_string(n) + ",", 0)) << "each once, in order: " << line;
  }
  EXPECT_EQ(results, n);
  // Read as the download reads it, batch by batch along the day's ids:
  // the day is never sorted (it was once for every batch of 1,000).
  auto reader = std::make_shared<archive::ArchiveReader>();
  std::string error;
  ASSERT_TRUE(reader->Open(served.archive().path(), &error)) << error;
  archive::ResultFilter today;
  today.day = archive::ToLocal(archive::NowUtcMs()).day;
  reports::CsvExport batches(reader, today, reports::VehicleRule());
  std::string file;
  for (bool done = false; !done;) {
    std::string chunk;
    ASSERT_TRUE(batches.Next(&chunk, &done, &error)) << error;
    file += chunk;
  }
  EXPECT_EQ(csv->body, file);
  EXPECT_EQ(0, reader->SortsRun());

  std::string page = "/results";
  std::vector<int> perPage;
  while (!page.empty() && perPage.size() < 10) {
    auto r = c.Get(page);
    ASSERT_TRUE(r) << page;
    const std::string& body = r->body;
    int rows = 0;
    for (auto at = body.find("<tr data-id="); at != std::string::npos;
         at = body.find("<tr data-id=", at + 1))
      ++rows;
    perPage.push_back(rows);
    const auto next = body.find("\">下一页</a>");
    page.clear();
    if (next != std::string::npos) {
      const auto href = body.rfind("href=\"", next) + 6;
      page = body.substr(href, next - href);
      for (std::size_t amp; (amp = page.find("&amp;")) != std::string::npos;)
        page.replace(amp, 5, "&");
    }
  }
  EXPECT_EQ((std::vector<int>{500, 500, 201}), perPage);
}

TEST(WebServer, RequestsThatTrickleInHoldNoThreadAndEndAtTheirDeadlineWhileTheKioskIsServed) {
  web::ServerOptions o = Loopback();
  o.ioTimeout = 2s;
  Served served(o);  // 64 connections at once
  const int port = served.port();

  // More connections than threads, each sending its request a byte at a
  // time, in time for any wait between reads.
  std::vector<test_socket::Handle> slow;
  for (int i = 0; i < 80; ++i) {
    slow.push_back(test_socket::ConnectLoopback(port));
    ASSERT_NE(test_socket::kNone, slow.back());
    const std::string start = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
    test_socket::SendAll(slow.back(), start.data(), start.size());
  }
  std::atomic<bool> trickling{true};
  std::thread trickle([&] {
    while (trickling) {
      for (test_socket::Handle s : slow) test_socket::SendAll(s, "x", 1);
      std::this_thread::sleep_for(300ms);
    }
  });

  // The kiosk's page, its live updates and the service manager's probe
  // are served meanwhile.
  const std::string page =
      Exchange(port, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(0u, page.rfind("HTTP/1.1 200 ", 0)) << page;
  const test_socket::Handle live = test_socket::ConnectLoopback(port);
  const std::string first = FirstState(live);
  EXPECT_TRUE(Has(first, "event: state")) << first;
  test_socket::Close(live);
  const std::string health =
      Exchange(port, "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(0u, health.rfind("HTTP/1.1 200 ", 0)) << health;

  // However steadily they trickle, each is let go: its request was not
  // complete by its deadline.
  int open = 0;
  const auto until = std::chrono::steady_clock::now() + kPatience;
  for (test_socket::Handle s : slow) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    open += !test_socket::ClosedByPeer(s, static_cast<int>(std::max<long long>(0, left.count())));
  }
  EXPECT_EQ(0, open) << "connections still held";
  trickling = false;
  trickle.join();
  for (test_socket::Handle s : slow) test_socket::Close(s);
}

TEST(WebServer, AnswersEveryPipelinedRequestOneRangeAtMostAndKeepsItsPortToItself) {
  web::ServerOptions o;
  o.settings.listen.host = "0.0.0.0";
  o.settings.listen.port = 0;
  o.token = kToken;
  Served served(o);
  const int port = served.port();

  // Three requests at once, without waiting for an answer between them.
  const std::string get = "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  const std::string three = get + "GET /app.css HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" +
                            "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  const std::string answers = Exchange(port, three);
  int ok = 0;
  for (auto at = answers.find("HTTP/1.1 200 OK"); at != std::string::npos;
       at = answers.find("HTTP/1.1 200 OK", at + 1))
    ++ok;
  EXPECT_EQ(3, ok) << answers;

  // Without a token, a request of a few kilobytes for the script a
  // thousand times over.
  std::string ranges = "bytes=0-";
  for (int i = 0; i < 1000; ++i) ranges += ",0-";
  const std::string many =
      Exchange(port, "GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: " + ranges +
                         "\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(0u, many.rfind("HTTP/1.1 416 ", 0)) << many.substr(0, 400);
  EXPECT_LT(many.size(), 4096u);
  httplib::Client c = served.Client();
  auto one = c.Get("/app.js", {{"Range", "bytes=0-9"}});
  ASSERT_TRUE(one);
  EXPECT_EQ(206, one->status);
  EXPECT_EQ(10u, one->body.size());
  auto whole = c.Get("/healthz", {{"Range", "bytes=0-1"}});
  ASSERT_TRUE(whole);
  EXPECT_EQ(200, whole->status) << "a range of anything but the page's own files is no range";
  EXPECT_TRUE(Has(whole->body, "ok\n")) << whole->body;

  // A second server on the same port does not share it.
  web::ServerOptions other = o;
  other.settings.listen.port = port;
  web::LiveFeed feed({served.archive().path(), std::chrono::milliseconds(25), nullptr});
  web::WebServer second(other, feed);
  std::string error;
  EXPECT_FALSE(second.Bind(&error));
  EXPECT_TRUE(Has(error, "cannot listen on 0.0.0.0:" + std::to_string(port))) << error;
}

TEST(WebServer, HealthSaysADamagedArchiveIsUnreadableWithinSecondsWithoutSayingWhereItLies) {
  Served served(Loopback());
  httplib::Client c = served.Client();
  auto healthy = c.Get("/healthz");
  ASSERT_TRUE(healthy);
  EXPECT_EQ(200, healthy->status);
  EXPECT_TRUE(Has(healthy->body, "archive: readable")) << healthy->body;

  // The monitor stops; then the file's first bytes are overwritten where
  // it lies (its WAL checkpointed first, so nothing is read from there):
  // nothing opens it any more, but a connection that had it open before
  // sees no change.
  const std::string path = served.archive().path();
  served.archive().End("quit");
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr));
  EXPECT_EQ(SQLITE_OK,
            sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr));
  sqlite3_close(db);
  {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.write("damaged damaged!", 16);
  }
  EXPECT_EQ(503, c.Get("/results")->status);
  // The status and text of /healthz once `done` holds of them, or at the end of our patience.
  struct Health {
    int status = 0;
    std::string body;
  };
  auto healthWhen = [&](const std::function<bool(const Health&)>& done) {
    Health h;
    for (auto until = std::chrono::steady_clock::now() + kPatience;
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(100ms)) {
      auto r = c.Get("/healthz");
      h = r ? Health{r->status, r->body} : Health{};
      if (done(h)) break;
    }
    return h;
  };
  Health health = healthWhen([](const Health& h) { return h.status != 200; });
  EXPECT_EQ(503, health.status) << health.body;
  EXPECT_TRUE(Has(health.body, "archive: unreadable")) << health.body;
  EXPECT_TRUE(Has(c.Get("/metrics")->body, "brenna_archive_readable 0"));

  // Another program's database in its place: the reason names the file,
  // never the folder it lies in (the user's home), to whoever asks.
  fs::remove(path);
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, "PRAGMA application_id = 7; CREATE TABLE t(x)", nullptr,
                                    nullptr, nullptr));
  sqlite3_close(db);
  health = healthWhen([](const Health& h) { return Has(h.body, "not an archive"); });
  EXPECT_TRUE(Has(health.body, "archive.sqlite is not an archive")) << health.body;
  EXPECT_FALSE(Has(health.body, fs::path(path).parent_path().string())) << health.body;
}

TEST(WebSettings, AFileAnEditorBeganWithAByteOrderMarkIsReadAsWritten) {
  TempDir dir;
  const std::string path = dir.file("brenna-web.ini");
  std::ofstream(path) << "\xEF\xBB\xBF[brenna-web]\r\nListen=0.0.0.0:10099\r\nMaxConnections=9\r\n";
  std::vector<std::string> warnings;
  const web::WebSettings s = web::ReadWebSettings(path, &warnings);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ("0.0.0.0", s.listen.host);
  EXPECT_EQ(10099, s.listen.port);
  EXPECT_EQ(9, s.maxConnections);
  EXPECT_EQ(5, s.maxLiveClients) << "at most MaxConnections - 4";
}

TEST(WebServer, TheTvPageIsOnlyThePanelAndALiveStreamSaysItEndsBeforeItDoes) {
  web::ServerOptions o = Loopback();
  o.settings.lineName = "一号线";
  o.liveLifetime = 1s;
  Served served(o);
  httplib::Client c = served.Client();

  auto tv = c.Get("/?tv");
  ASSERT_TRUE(tv);
  const std::string& page = tv->body;
  EXPECT_TRUE(Has(page, "<html lang=\"zh-CN\" translate=\"no\">")) << page;
  EXPECT_TRUE(Has(page, "<title>一号线 · 数据监控</title>")) << page;
  EXPECT_TRUE(Has(page, "<body class=\"live tv\">")) << page;
  EXPECT_TRUE(Has(page, "<div id=\"linebox\"><b id=\"line-name\">一号线</b>")) << page;
  EXPECT_FALSE(Has(page, "<header")) << "no bar";
  EXPECT_FALSE(Has(page, "<a ")) << "no link";
  auto plain = c.Get("/");
  ASSERT_TRUE(plain);
  EXPECT_TRUE(
      Has(plain->body, "<header class=\"bar\"><span class=\"line\" id=\"line-name\">一号线"))
      << plain->body;
  EXPECT_TRUE(Has(plain->body, "<a href=\"/results\">")) << plain->body;

  // A live page is asked to come again before its stream ends, so it does
  // not take the end for a loss.
  std::string stream;
  auto events = c.Get("/events", [&](const char* data, size_t n) {
    stream.append(data, n);
    return true;
  });
  ASSERT_TRUE(events) << httplib::to_string(events.error());
  EXPECT_EQ(0u, stream.find("retry: 2000\n\nevent: state\ndata: {")) << stream;
  const std::string again = "event: again\ndata: \n\n";
  ASSERT_GE(stream.size(), again.size());
  EXPECT_EQ(again, stream.substr(stream.size() - again.size())) << stream;
}

// Today's counters come from the archive: the figures a fresh brenna-web
// (a restart) gives over the same archive are the same, and a result with
// a value shown as a veto counts as vetoed (a brake force judged 2 is
// drawn black: no veto).
TEST(WebServer, TodaysCountersInMetricsAreReadFromTheArchiveAndOutliveARestart) {
  Served served(Loopback());
  archive::ArchivedResult vetoed = BrakeResult("vetoed", "0815", "1");
  vetoed.items.push_back({3, 5086, 2, "30.5"});  // axle 2 difference, red
  archive::ArchivedResult black = BrakeResult("black", "0815", "1");
  black.items[2].judge = 2;  // a force: drawn black whatever it carries
  served.archive().Add(BrakeResult("plain", "0816", "1"));
  served.archive().Add(vetoed);
  served.archive().Add(black);
  auto scrape = [](int port) {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(30, 0);
    auto r = c.Get("/metrics");
    return r ? r->body : std::string("(no answer)");
  };
  const std::string first = scrape(served.port());
  EXPECT_TRUE(Has(first, "brenna_today_results_total{group=\"制动设备\"} 3\n")) << first;
  EXPECT_TRUE(Has(first, "brenna_today_vetoed_results_total{group=\"制动设备\"} 1\n")) << first;
  EXPECT_TRUE(Has(first, "brenna_today_results_total{group=\"速度设备\"} 0\n")) << first;
  EXPECT_TRUE(Has(first, "# TYPE brenna_today_retests_total counter")) << first;

  // brenna-web started anew over the same archive.
  web::LiveFeed feed({served.archive().path(), std::chrono::milliseconds(25), nullptr});
  web::ServerOptions o = Loopback();
  o.archivePath = served.archive().path();
  web::WebServer again(o, feed);
  std::string error;
  ASSERT_TRUE(again.Bind(&error)) << error;
  feed.Start();
  std::thread serving([&] { again.Serve(); });
  const std::string second = scrape(again.Port());
  again.Stop();
  feed.Stop();
  serving.join();
  auto today = [](const std::string& text) {
    std::string lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
      if (line.rfind("brenna_today_", 0) == 0) lines += line + "\n";
    return lines;
  };
  EXPECT_FALSE(today(first).empty());
  EXPECT_EQ(today(first), today(second));
}
