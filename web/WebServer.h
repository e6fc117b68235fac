// WebServer - brenna-web's HTTP side on cpp-httplib: what it serves
// (docs/web-view.md) and the rules every request passes first.
//
//   /               the live panel; /events its updates (server-sent events)
//   /results        the results of a day, a range, a group, an operator, a name
//   /results.csv    the same for a spreadsheet
//   /results/ID     one result: its values as shown, its items as sent
//   /panel?at=TIME  the panel as it stood then
//   /metrics        Prometheus text; /healthz for a service manager
//
// Only GET and HEAD (anything else: 405). Listening on the loopback
// interface, only requests for a loopback host name are taken (a page of
// another site cannot rebind its name to us); anywhere else every request
// but /healthz needs the access token: in the link brenna-web gives once
// (answered with the cookie and a redirect to the page without it), in the
// cookie, or as "Authorization: Bearer". Connections and live pages are
// limited; a page that does not take what it is sent within the write
// timeout is dropped. Every answer carries a strict Content-Security-Policy
// (no inline script, nothing from elsewhere) and nosniff.
#ifndef BRENNA_WEB_WEBSERVER_H
#define BRENNA_WEB_WEBSERVER_H

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "web/LiveFeed.h"
#include "web/WebSettings.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace web {

struct ServerOptions {
  WebSettings settings;
  std::string archivePath;
  std::string token;  // required when not listening on the loopback interface
  // How long a live page stays connected before it is asked to come again
  // (it does, at once): a page gone without a word is let go by then.
  std::chrono::seconds liveLifetime{600};
  std::chrono::seconds livePing{10};
  std::chrono::seconds ioTimeout{5};
  std::chrono::seconds keepAlive{2};
};

class WebServer {
 public:
  WebServer(ServerOptions options, LiveFeed& feed);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds the listening address; false with the reason in *error.
  bool Bind(std::string* error);
  // The port bound (the one asked for, or the system's pick for port 0).
  int Port() const { return port_; }
  // Serves until Stop(); returns then.
  void Serve();
  void Stop();

  int LiveClients() const { return live_.load(); }
  // Connections being served now (live pages among them).
  int Connections() const;

 private:
  void Routes();
  bool Admit(const httplib::Request& req, httplib::Response& res);
  void Events(const httplib::Request& req, httplib::Response& res);
  // The results a query selects as a CSV file, sent in batches.
  void ResultsCsv(const httplib::Request& req, httplib::Response& res);
  void Metrics(httplib::Response& res);
  void Health(httplib::Response& res);

  ServerOptions options_;
  LiveFeed& feed_;
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
  std::atomic<int> live_{0};
  // Connections the library's pool serves (the pool counts them here: it
  // lives only while Serve() runs).
  std::shared_ptr<std::atomic<int>> connections_;
};

}  // namespace web

#endif  // BRENNA_WEB_WEBSERVER_H
