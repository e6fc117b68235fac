// ServedLine - brenna-web's HTTP side in-process for the web view's tests:
// a test archive, its live feed and the server on a port of the system's
// choosing, serving on a thread of its own until the object goes; and what
// the tests ask it with.
#ifndef BRENNA_TESTS_WEB_SERVEDLINE_H
#define BRENNA_TESTS_WEB_SERVEDLINE_H

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "TestSocket.h"
#include "WebTestArchive.h"
#include "web/LiveFeed.h"
#include "web/WebServer.h"

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// This computer only, on a port of the system's choosing; `io`: the
// request's deadline and the write timeout.
inline web::ServerOptions Loopback(std::chrono::seconds io = std::chrono::seconds(5)) {
  web::ServerOptions o;
  o.settings.listen.host = "127.0.0.1";
  o.settings.listen.port = 0;
  o.ioTimeout = io;
  return o;
}

// Sends a request over a connection of its own and reads the answer until
// the server closes it (30 s at most).
inline std::string Exchange(int port, const std::string& request) {
  const test_socket::Handle s = test_socket::ConnectLoopback(port);
  if (s == test_socket::kNone) return "(no connection)";
  test_socket::SendAll(s, request.data(), request.size());
  bool closed = false;
  std::string answer = test_socket::Receive(s, 30000, &closed);
  test_socket::Close(s);
  return answer;
}

// A live page on `live`: what it is sent up to its first state (`headers`:
// more header lines, each ended by CR LF).
inline std::string FirstState(test_socket::Handle live, const std::string& headers = "") {
  const std::string events = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
  test_socket::SendAll(live, events.data(), events.size());
  bool closed = false;
  std::string first;
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
       !Has(first, "event: state") && !closed && std::chrono::steady_clock::now() < until;)
    first += test_socket::Receive(live, 200, &closed);
  return first;
}

// Listening on every interface: a request needs the token or a paired
// browser, whose pairing codes and sessions are kept in `state`
// ("web-pairing", "web-sessions"; "site-..." for a site's overview).
inline web::ServerOptions OnTheLan(const TempDir& state, const std::string& token,
                                   const std::string& files = "web") {
  web::ServerOptions o;
  o.settings.listen.host = "0.0.0.0";
  o.settings.listen.port = 0;
  o.token = token;
  o.pairingPath = state.file(files + "-pairing");
  o.sessionsPath = state.file(files + "-sessions");
  return o;
}

class Served {
 public:
  explicit Served(web::ServerOptions options)
      : feed_({archive_.path(), std::chrono::milliseconds(25), nullptr},
              {options.settings.lineName}) {
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

#endif  // BRENNA_TESTS_WEB_SERVEDLINE_H
