// WebServer - brenna-web's HTTP side on cpp-httplib: what it serves
// (docs/web-view.md) and the rules every request passes first.
//
//   /               the live panel (/?tv: for a TV); /events its updates
//                   (server-sent events)
//   /results        the results of a day, a range, a group, an operator, a
//                   name, a vehicle
//   /results.csv    the same for a spreadsheet (?rows=result: a row per result)
//   /results/ID     one result: its values as shown, its items as sent
//   /panel?at=TIME  the panel as it stood then (of a minute: its changes)
//   /report         the report of a day or of days; /report.csv its figures
//   /vehicle?key=   a vehicle's latest result at every group
//   /metrics        Prometheus text; /healthz for a service manager
//
// A site's overview (brenna-web --site) serves instead /, /events and
// /healthz of the lines it reads (web/SiteFeed).
//
// The company's view (brenna-web --company) serves instead /, /events,
// /results, /results.csv, /report and /healthz from the company's
// PostgreSQL (web/CompanySource, web/CompanyRoutes.cpp).
//
// Only GET and HEAD (anything else: 405). Listening on the loopback
// interface, only requests for a loopback host name are taken (a page of
// another site cannot rebind its name to us); anywhere else every request
// but /healthz and the page's own files needs the access token as
// "Authorization: Bearer", or a session: a browser is paired once through
// a one-time link (/pair?code=..., web/Pairing) and from then on shows its
// session in a cookie (web/Sessions). The token itself is never taken from
// an address or a cookie. Connections and live pages are limited
// (web/ConnectionPool); a page that does not take what it is sent within
// the write timeout is dropped; one answer is never more than one part of
// what was asked (a request for several ranges is refused). Every answer
// carries a strict Content-Security-Policy (no inline script, nothing from
// elsewhere) and nosniff.
#ifndef BRENNA_WEB_WEBSERVER_H
#define BRENNA_WEB_WEBSERVER_H

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "reports/VehicleKey.h"
#include "web/AccessToken.h"
#include "web/EventStream.h"
#include "web/LiveFeed.h"
#include "web/Pages.h"
#include "web/Sessions.h"
#include "web/WebSettings.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace web {

// An answer: a page, or a short text; never kept by a cache.
void SendPage(httplib::Response& res, const Page& page);
void SendText(httplib::Response& res, int status, const std::string& text);

class CompanyFeed;
class CompanySource;
class SiteFeed;

struct ServerOptions {
  WebSettings settings;
  std::string archivePath;
  std::string token;  // required when not listening on the loopback interface
  // Beside the token file: the pairing codes `brenna-web --pair` adds, and
  // the sessions of paired browsers (empty: kept in memory only).
  std::string pairingPath;
  std::string sessionsPath;
  // How long a live page stays connected before it is asked to come again
  // (it does, at once): a page gone without a word is let go by then.
  std::chrono::seconds liveLifetime{600};
  std::chrono::seconds livePing{10};
  std::chrono::seconds ioTimeout{5};
  std::chrono::seconds keepAlive{2};
  // The cookie a paired browser shows its session in: a site's overview
  // has one of its own, so that it and a line's brenna-web can share a
  // computer without taking each other's.
  std::string sessionCookie = kSessionCookie;
  // How a transfer name names its vehicle (the settings' [Vehicle]).
  reports::VehicleRule vehicles;
  // A site's overview (brenna-web --site) instead of a line: it serves the
  // overview of these lines and nothing of an archive.
  SiteFeed* site = nullptr;
  // The company's view (brenna-web --company) instead of a line: its
  // overview follows `company`, its pages read `companySource`.
  CompanyFeed* company = nullptr;
  CompanySource* companySource = nullptr;
};

class HttpServer;

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
  // Requests being answered now (live pages among them).
  int Connections() const;
  // Why the sessions of an earlier run could not be taken up; empty when
  // they were.
  const std::string& SessionsProblem() const { return sessionsProblem_; }

 private:
  void Routes();
  // The overview's pages (web/SiteRoutes.cpp).
  void SiteRoutes();
  // The company's pages (web/CompanyRoutes.cpp).
  void CompanyRoutes();
  void CompanyResultsCsv(const httplib::Request& req, httplib::Response& res);
  // The page's own files, which every page loads.
  void AssetRoutes();
  EventStreamLimits EventLimits() const;
  bool Admit(const httplib::Request& req, httplib::Response& res);
  // From the LAN: the token, a session, or the pairing link.
  bool AdmitFromLan(const httplib::Request& req, httplib::Response& res);
  void Pair(const httplib::Request& req, httplib::Response& res);
  void Events(const httplib::Request& req, httplib::Response& res);
  // The results a query selects as a CSV file, sent in batches.
  void ResultsCsv(const httplib::Request& req, httplib::Response& res);
  // The report's figures as a CSV file.
  void ReportCsv(const httplib::Request& req, httplib::Response& res);
  // Opens the archive for a page, telling vehicles by the site's rule; on
  // failure the page says why.
  bool OpenReader(archive::ArchiveReader* reader, httplib::Response& res) const;
  void Metrics(httplib::Response& res);
  void Health(httplib::Response& res);

  ServerOptions options_;
  LiveFeed& feed_;
  std::unique_ptr<HttpServer> server_;
  Sessions sessions_;
  std::string sessionsProblem_;
  int port_ = 0;
  std::atomic<int> live_{0};
  // Requests the pool answers (the pool counts them here: it lives only
  // while Serve() runs).
  std::shared_ptr<std::atomic<int>> connections_;
};

}  // namespace web

#endif  // BRENNA_WEB_WEBSERVER_H
