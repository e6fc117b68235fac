// brenna-web against requests made to hurt it: a long Range costs no memory
// and no worker; a head too large or not ended by CR LF is answered at once
// and holds nothing; every session cookie is tried (one tossed in by another
// program cuts no screen off); a HEAD spends no pairing code; /metrics takes
// the token.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ServedLine.h"
#include "TempDir.h"
#include "TestSocket.h"
#include "archive/ArchiveTime.h"
#include "web/AccessToken.h"
#include "web/Pairing.h"
#include "web/WebServer.h"

using namespace std::chrono_literals;

namespace {

const std::string kToken(64, 'a');

// The process's resident memory (this process serves), in bytes.
long ResidentBytes() { return ProcessStatus(::getpid(), "VmRSS") * 1024; }

// A request's deadline beyond our patience (30 s): what is answered was
// answered at once, not at a deadline.
constexpr auto kDeadline = 120s;

}  // namespace

TEST(HostileRequests, ALongRangeHeaderKeepsNoMemoryAndKillsNoWorker) {
  Served served(Loopback(kDeadline));
  const int port = served.port();
  auto ask = [&](const std::string& range) {
    return Exchange(port, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: " + range +
                              "\r\nConnection: close\r\n\r\n");
  };
  // Every worker has answered before we measure.
  const int requests = 200;
  for (int i = 0; i < requests; ++i) ASSERT_EQ(0u, ask("bytes=0-9").rfind("HTTP/1.1 200 ", 0));
  const long before = ResidentBytes();
  std::string ranges = "bytes=0-1";
  while (ranges.size() < 8000) ranges += ",0-1";
  for (int i = 0; i < requests; ++i) {
    const std::string answer = ask(ranges);
    ASSERT_EQ(0u, answer.rfind("HTTP/1.1 416 ", 0)) << i << ": " << answer.substr(0, 200);
  }
  // One such request kept 4.5 MB of a worker's stack for good.
  EXPECT_LT(ResidentBytes() - before, 16L << 20);
  const std::string health = Exchange(port, "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_EQ(0u, health.rfind("HTTP/1.1 200 ", 0)) << health;
}

TEST(HostileRequests, AHeadTooLargeOrNotEndedByCrLfIsAnsweredAtOnceAndHoldsNoWorker) {
  web::ServerOptions o = Loopback(kDeadline);
  o.settings.maxConnections = 5;
  Served served(o);
  const int port = served.port();

  // A head that does not end: refused once it passes 16 KiB, while its
  // connection is still open and sending.
  const std::string start = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: ";
  const std::string large = Exchange(port, start + std::string(70 * 1024, 'a'));
  EXPECT_EQ(0u, large.rfind("HTTP/1.1 431 ", 0)) << large.substr(0, 200);
  EXPECT_TRUE(Has(large, "Content-Security-Policy: default-src 'none'")) << large;

  // Heads whose lines end in bare line feeds (or a carriage return alone),
  // more than there are workers, each left open: each is answered 400 at
  // once, and none keeps the kiosk waiting.
  std::vector<test_socket::Handle> bare;
  const std::string heads[] = {"GET / HTTP/1.1\r\nHost: 127.0.0.1\n\n",
                               "GET / HTTP/1.1\r\nHost: 127.0.0.1\rX: 1\r\n\r\n"};
  for (int i = 0; i < 20; ++i) {
    bare.push_back(test_socket::ConnectLoopback(port));
    test_socket::SendAll(bare.back(), heads[i % 4 == 3].data(), heads[i % 4 == 3].size());
  }
  for (test_socket::Handle s : bare) {
    bool closed = false;
    const std::string answer = test_socket::Receive(s, 30000, &closed);
    EXPECT_EQ(0u, answer.rfind("HTTP/1.1 400 ", 0)) << answer;
  }
  const std::string kiosk =
      Exchange(port, "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(0u, kiosk.rfind("HTTP/1.1 200 ", 0)) << kiosk;
  for (test_socket::Handle s : bare) test_socket::Close(s);
}

TEST(HostileRequests,
     FromTheLanEverySessionCookieIsTriedAPreviewSpendsNoCodeAndFiguresNeedTheToken) {
  TempDir state;
  const web::ServerOptions o = OnTheLan(state, kToken);
  Served served(o);
  httplib::Client c = served.Client();

  std::string code, error;
  ASSERT_TRUE(web::AddPairingCode(o.pairingPath, kToken, archive::NowUtcMs(), &code, &error))
      << error;
  // A link preview looks first: the code stays good for the browser.
  auto preview = c.Head("/pair?code=" + code);
  ASSERT_TRUE(preview);
  EXPECT_FALSE(preview->has_header("Set-Cookie"));
  auto paired = c.Get("/pair?code=" + code);
  ASSERT_TRUE(paired);
  ASSERT_EQ(303, paired->status) << "the code was spent by a HEAD";
  const std::string cookie = paired->get_header_value("Set-Cookie");
  const std::string mine = cookie.substr(0, cookie.find(';'));

  // A program on another port of the address set a cookie of the same
  // name for the live updates' path: the browser sends it first.
  const std::string tossed = std::string(web::kSessionCookie) + "=0";
  const test_socket::Handle live = test_socket::ConnectLoopback(served.port());
  const std::string first = FirstState(live, "Cookie: " + tossed + "; " + mine + "\r\n");
  test_socket::Close(live);
  EXPECT_EQ(0u, first.rfind("HTTP/1.1 200 ", 0)) << first.substr(0, 300);
  EXPECT_EQ(200, c.Get("/", {{"Cookie", tossed}, {"Cookie", mine}})->status)
      << "in a Cookie header of its own";

  // Figures are for programs, which show the token.
  EXPECT_EQ(403, c.Get("/metrics", {{"Cookie", mine}})->status);
  EXPECT_EQ(200, c.Get("/metrics", {{"Authorization", "Bearer " + kToken}})->status);
}
