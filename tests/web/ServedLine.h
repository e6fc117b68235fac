// ServedLine - brenna-web's HTTP side in-process for the web view's tests:
// a test archive, its live feed and the server on a port of the system's
// choosing, serving on a thread of its own until the object goes.
#ifndef BRENNA_TESTS_WEB_SERVEDLINE_H
#define BRENNA_TESTS_WEB_SERVEDLINE_H

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "WebTestArchive.h"
#include "web/LiveFeed.h"
#include "web/WebServer.h"

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
