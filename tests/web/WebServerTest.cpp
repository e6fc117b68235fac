// brenna-web's HTTP side in-process, on a port of the system's choosing:
// it only looks (anything but GET and HEAD is refused, every answer bars
// inline script and sniffing, a page of another site cannot reach it under
// its own name), from the LAN only with the token, and it takes on no more
// connections and live pages than its limits; a live page that stops
// reading is dropped.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "TestSocket.h"
#include "WebTestArchive.h"
#include "web/AccessToken.h"
#include "web/LiveFeed.h"
#include "web/WebServer.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kPatience = std::chrono::seconds(60);
const std::string kToken(64, 'a');

class Served {
 public:
  explicit Served(web::ServerOptions options)
      : feed_({archive_.path(), std::chrono::milliseconds(25), nullptr}) {
    options.archivePath = archive_.path();
    server_ = std::make_unique<web::WebServer>(options, feed_);
    std::string error;
    ok_ = server_->Bind(&error);
    EXPECT_TRUE(ok_) << error;
    feed_.Start();
    if (ok_) thread_ = std::thread([this] { server_->Serve(); });
  }
  ~Served() {
    feed_.Stop();
    server_->Stop();
    if (thread_.joinable()) thread_.join();
  }

  int port() const { return server_->Port(); }
  web::WebServer& server() { return *server_; }
  WebTestArchive& archive() { return archive_; }
  httplib::Client Client() const {
    httplib::Client c("127.0.0.1", port());
    c.set_read_timeout(30, 0);
    return c;
  }

 private:
  WebTestArchive archive_;
  web::LiveFeed feed_;
  std::unique_ptr<web::WebServer> server_;
  std::thread thread_;
  bool ok_ = false;
};

web::ServerOptions Loopback() {
  web::ServerOptions o;
  o.settings.listen.host = "127.0.0.1";
  o.settings.listen.port = 0;
  return o;
}

// Sends a request over a connection of its own and reads the answer until
// the server closes it.
std::string Exchange(int port, const std::string& request) {
  const test_socket::Handle s = test_socket::ConnectLoopback(port);
  if (s == test_socket::kNone) return "(no connection)";
  test_socket::SendAll(s, request.data(), request.size());
  bool closed = false;
  std::string answer = test_socket::Receive(s, 30000, &closed);
  test_socket::Close(s);
  return answer;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
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

TEST(WebServer, FromTheLanOnlyWithTheTokenFromTheLinkThenTheCookie) {
  web::ServerOptions o;
  o.settings.listen.host = "0.0.0.0";
  o.settings.listen.port = 0;
  o.token = kToken;
  Served served(o);
  httplib::Client c = served.Client();

  auto refused = c.Get("/");
  ASSERT_TRUE(refused);
  EXPECT_EQ(403, refused->status);
  EXPECT_TRUE(Has(refused->body, "需要访问令牌")) << refused->body;
  EXPECT_EQ(403, c.Get("/results.csv")->status);
  EXPECT_EQ(403, c.Get("/events")->status);
  EXPECT_EQ(403, c.Get("/?token=" + std::string(64, 'b'))->status) << "a wrong token";
  EXPECT_EQ(
      403,
      c.Get("/", {{"Cookie", std::string(web::kTokenCookie) + "=" + kToken.substr(1)}})->status);

  // The link: the cookie, and the page again without the token in its address.
  auto link = c.Get("/results?token=" + kToken);
  ASSERT_TRUE(link);
  EXPECT_EQ(303, link->status);
  EXPECT_EQ("/results", link->get_header_value("Location"));
  const std::string cookie = link->get_header_value("Set-Cookie");
  EXPECT_EQ(0u, cookie.rfind(std::string(web::kTokenCookie) + "=" + kToken + ";", 0)) << cookie;
  EXPECT_TRUE(Has(cookie, "HttpOnly")) << cookie;
  EXPECT_TRUE(Has(cookie, "SameSite=Strict")) << cookie;
  auto served2 =
      c.Get("/results", {{"Cookie", "other=1; " + std::string(web::kTokenCookie) + "=" + kToken}});
  ASSERT_TRUE(served2);
  EXPECT_EQ(200, served2->status);
  EXPECT_TRUE(Has(served2->body, "结果查询"));

  // A metrics scraper shows it in a header; a service manager needs none.
  auto metrics = c.Get("/metrics", {{"Authorization", "Bearer " + kToken}});
  ASSERT_TRUE(metrics);
  EXPECT_EQ(200, metrics->status);
  EXPECT_TRUE(Has(metrics->body, "brenna_monitor_running 1")) << metrics->body;
  EXPECT_EQ(200, c.Get("/healthz")->status);
  EXPECT_EQ(200, c.Get("/app.css")->status) << "the refusal page's own look";
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
  o.ioTimeout = 1s;
  Served served(o);
  const int port = served.port();
  const std::string events = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

  // One live page: its first state at once.
  const test_socket::Handle live = test_socket::ConnectLoopback(port);
  ASSERT_NE(test_socket::kNone, live);
  test_socket::SendAll(live, events.data(), events.size());
  bool closed = false;
  std::string first;
  for (auto until = std::chrono::steady_clock::now() + kPatience;
       !Has(first, "event: state") && !closed && std::chrono::steady_clock::now() < until;)
    first += test_socket::Receive(live, 200, &closed);
  ASSERT_TRUE(Has(first, "text/event-stream")) << first;
  ASSERT_TRUE(Has(first, "event: state\ndata: {\"title\":\"数据监控\"")) << first;

  // A second live page is one too many.
  const std::string second =
      Exchange(port, "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(0u, second.rfind("HTTP/1.1 503 ", 0)) << second;
  EXPECT_TRUE(Has(second, "实时面板的连接已满")) << second;

  auto connections = [&](int n) {
    for (auto until = std::chrono::steady_clock::now() + kPatience;
         served.server().Connections() != n && std::chrono::steady_clock::now() < until;)
      std::this_thread::sleep_for(5ms);
    return served.server().Connections();
  };
  ASSERT_EQ(1, connections(1)) << "the live page";

  // Four slow requests that never end hold the other connections...
  std::atomic<bool> trickling{true};
  std::vector<test_socket::Handle> slow;
  for (int i = 0; i < 4; ++i) {
    slow.push_back(test_socket::ConnectLoopback(port));
    const std::string start = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
    test_socket::SendAll(slow.back(), start.data(), start.size());
  }
  std::thread trickle([&] {
    while (trickling) {
      for (test_socket::Handle s : slow) test_socket::SendAll(s, "x", 1);
      std::this_thread::sleep_for(100ms);
    }
  });
  ASSERT_EQ(5, connections(5));
  // ...so the next one is answered at once that it must come back later.
  const std::string over = Exchange(port, "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_EQ(0u, over.rfind("HTTP/1.1 503 ", 0)) << over;
  EXPECT_TRUE(Has(over, "Retry-After: 5")) << over;
  EXPECT_TRUE(Has(over, "同时连接的客户端太多")) << over;

  // Once they are gone, requests are served again.
  trickling = false;
  trickle.join();
  for (test_socket::Handle s : slow) test_socket::Close(s);
  std::string again;
  for (auto until = std::chrono::steady_clock::now() + kPatience;
       again.rfind("HTTP/1.1 200 ", 0) != 0 && std::chrono::steady_clock::now() < until;)
    again = Exchange(port, "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(0u, again.rfind("HTTP/1.1 200 ", 0)) << again;

  // The live page goes; a page that asks and then never reads takes its
  // place, and is dropped once what it was sent fills its buffers.
  test_socket::Close(live);
  for (auto until = std::chrono::steady_clock::now() + kPatience;
       served.server().LiveClients() > 0 && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(10ms);
  ASSERT_EQ(0, served.server().LiveClients());
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
  for (int i = 1; i <= results; ++i) {
    served.archive().writer.Record(BrakeResult("r" + std::to_string(i), "0815", "1"));
    if (i % 200 == 0 || i == results) served.archive().writer.Drain();
  }
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
