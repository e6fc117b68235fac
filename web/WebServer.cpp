#include "web/WebServer.h"

#include <httplib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "archive/ArchiveTime.h"
#include "platform/StreamSocket.h"
#include "reports/CsvExport.h"
#include "reports/DayReport.h"
#include "reports/ReportColumns.h"
#include "web/AccessToken.h"
#include "web/AnswerHeaders.h"
#include "web/ConnectionPool.h"
#include "web/EventStream.h"
#include "web/HttpServer.h"
#include "web/Metrics.h"
#include "web/Pages.h"
#include "web/Pairing.h"
#include "web/PanelView.h"
#include "web/ReportPage.h"
#include "web/SiteFeed.h"
#include "web/SitePages.h"
#include "web/VehiclePage.h"
#include "web/WebAssets.h"

namespace web {

void SendPage(httplib::Response& res, const Page& page) {
  res.status = page.status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(page.html, "text/html; charset=utf-8");
}

void SendText(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(text, "text/plain; charset=utf-8");
}

namespace {

using httplib::Request;
using httplib::Response;
using Handled = httplib::Server::HandlerResponse;

// Bytes the system keeps for sending on each connection.
constexpr int kSendBuffer = 64 * 1024;

// A request for several ranges of one answer, seen before it is routed
// (the library would send every range asked for, the same bytes again and
// again: a few kilobytes of request for megabytes of answer), or with a
// Range the gate took out as longer than one range can be.
thread_local bool t_severalRanges = false;

void SendAsset(Response& res, const std::string& body, const char* type) {
  res.set_header("Cache-Control", "no-cache");
  res.set_content(body, type);
}

// The host part of a Host header: "127.0.0.1:10088" -> "127.0.0.1",
// "[::1]:10088" -> "::1".
std::string HostName(const std::string& header) {
  if (!header.empty() && header[0] == '[') {
    const auto close = header.find(']');
    return close == std::string::npos ? header : header.substr(1, close - 1);
  }
  return header.substr(0, header.find(':'));
}

bool LoopbackName(std::string host) {
  for (char& c : host)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');  // names know no case
  if (host == "localhost" || host == "::1") return true;
  if (host.rfind("127.", 0) != 0) return false;
  return host.find_first_not_of("0123456789.") == std::string::npos;
}

// The page's own files: they hold nothing of the line.
bool IsAsset(const std::string& path) {
  return path == "/app.js" || path == "/app.css" || path == "/panel.css" || path == "/favicon.png";
}

// Before routing: a request with a body, or of a method we do not take,
// ends its connection (its body is never read); a Range is honoured only
// on the page's own files, and only one.
void SetUpRequest(Request& req, Connection& c) {
  const std::string length = req.get_header_value("Content-Length");
  if ((req.method != "GET" && req.method != "HEAD") || (!length.empty() && length != "0") ||
      req.has_header("Transfer-Encoding"))
    c.CloseAfter();
  t_severalRanges = req.ranges.size() > 1 || c.RangeRefused();
  if (t_severalRanges || !IsAsset(req.path)) req.ranges.clear();
}

void SetSessionCookie(Response& res, const std::string& cookie, const std::string& session) {
  res.set_header("Set-Cookie", cookie + "=" + session +
                                   "; Path=/; Max-Age=" + std::to_string(kSessionIdleMs / 1000) +
                                   "; HttpOnly; SameSite=Strict");
}

// Every cookie `name` the request carries, in every Cookie header.
std::vector<std::string> Cookies(const Request& req, const std::string& name) {
  std::vector<std::string> values;
  const std::size_t headers = req.get_header_value_count("Cookie");
  for (std::size_t i = 0; i < headers; ++i)
    for (std::string& value : CookieValues(req.get_header_value("Cookie", i), name))
      values.push_back(std::move(value));
  return values;
}

// A browser still holding the cookie earlier versions put the token in
// forgets it.
void ForgetOldCookie(const Request& req, Response& res) {
  if (!Cookies(req, kOldTokenCookie).empty())
    res.set_header("Set-Cookie", std::string(kOldTokenCookie) +
                                     "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict");
}

// The archive's reason without where it lies: /healthz answers anyone.
std::string WithoutPath(std::string text, const std::string& path) {
  const std::string name = path.substr(path.rfind('/') + 1);
  for (std::size_t at; !path.empty() && (at = text.find(path)) != std::string::npos;)
    text.replace(at, path.size(), name);
  return text;
}

}  // namespace

WebServer::WebServer(ServerOptions options, LiveFeed& feed)
    : options_(std::move(options)),
      feed_(feed),
      sessions_(options_.sessionsPath, options_.token),
      connections_(std::make_shared<std::atomic<int>>(0)) {
  SetPageLineName(options_.settings.lineName);
  PoolLimits limits;
  limits.workers = static_cast<std::size_t>(options_.settings.maxConnections);
  limits.requestTime = options_.ioTimeout;
  limits.keepAlive = options_.keepAlive;
  limits.writeTimeout = options_.ioTimeout;
  server_ = std::make_unique<HttpServer>(limits, connections_, SetUpRequest);
  if (!options_.settings.listen.Loopback()) sessions_.Load(archive::NowUtcMs(), &sessionsProblem_);
  // What the answers tell a client; the pool keeps to the same times.
  server_->set_keep_alive_timeout(static_cast<time_t>(options_.keepAlive.count()));
  server_->set_keep_alive_max_count(100);
  server_->set_payload_max_length(64 * 1024);
  // A live update is one small write: sent at once, not held back.
  server_->set_tcp_nodelay(true);
  // Accepted connections take the listener's send buffer: a fixed one, so
  // what waits for a page that does not read is bounded by it (the
  // system's automatic sizing would let it grow to megabytes) and such a
  // page is dropped after the write timeout. The port is ours alone: never
  // SO_REUSEPORT (the library's default), with which a second brenna-web
  // on the same port would quietly share its connections.
  server_->set_socket_options(
      [](socket_t sock) { stream_socket::SetListenerOptions(sock, kSendBuffer); });
  httplib::Headers always;
  for (const auto& [name, value] : kAnswerHeaders) always.emplace(name, value);
  server_->set_default_headers(always);
  server_->set_pre_routing_handler([this](const Request& req, Response& res) {
    return Admit(req, res) ? Handled::Unhandled : Handled::Handled;
  });
  server_->set_error_handler(
      httplib::Server::HandlerWithResponse([](const Request&, Response& res) {
        if (!res.body.empty() || res.is_chunked_content_provider_) return Handled::Unhandled;
        const int status = res.status;
        SendPage(res, ProblemPage(status, status == 404 ? "没有这个页面" : "请求有误",
                                  status == 404 ? "这里没有这个页面" : "无法处理这个请求"));
        return Handled::Handled;
      }));
  server_->set_exception_handler([](const Request&, Response& res, std::exception_ptr) {
    SendPage(res, ProblemPage(500, "内部错误", "处理这个请求时出了错"));
  });
  Routes();
}

WebServer::~WebServer() { Stop(); }

bool WebServer::Bind(std::string* error) {
  const ListenAddress& at = options_.settings.listen;
  errno = 0;
  if (at.port == 0) {
    port_ = server_->bind_to_any_port(at.host);
  } else if (server_->bind_to_port(at.host, at.port)) {
    port_ = at.port;
  }
  if (port_ > 0) {
    server_->WidenBacklog();
    return true;
  }
  const std::string why = stream_socket::ListenFailure(at.host, at.port);
  *error = "cannot listen on " + at.Text() + (why.empty() ? "" : " (" + why + ")");
  return false;
}

void WebServer::Serve() { server_->listen_after_bind(); }

int WebServer::Connections() const { return connections_->load(); }

void WebServer::Stop() {
  if (server_) server_->stop();
}

bool WebServer::Admit(const Request& req, Response& res) {
  if (ConnectionPool::Rejecting()) {
    res.set_header("Retry-After", "5");
    res.set_header("Connection", "close");
    SendText(res, 503, "同时连接的客户端太多，请稍后再试。\n");
    return false;
  }
  if (req.method != "GET" && req.method != "HEAD") {
    res.set_header("Allow", "GET, HEAD");
    res.set_header("Connection", "close");
    SendText(res, 405, "这里只能查看：只接受 GET 和 HEAD 请求。\n");
    return false;
  }
  if (t_severalRanges) {
    SendText(res, 416, "一次只能请求一个范围。\n");
    return false;
  }
  if (options_.settings.listen.Loopback()) {
    if (req.has_header("Host") && !LoopbackName(HostName(req.get_header_value("Host")))) {
      SendText(res, 403, "只接受发往本机地址（127.0.0.1 或 localhost）的请求。\n");
      return false;
    }
    return true;
  }
  return AdmitFromLan(req, res);
}

bool WebServer::AdmitFromLan(const Request& req, Response& res) {
  // The service manager's probe, and the page's own files, so that even
  // the refusal looks right.
  if (req.path == "/healthz" || IsAsset(req.path)) return true;
  if (req.path == "/pair") {
    // A link preview asks with HEAD: only a browser's GET spends the code.
    if (req.method == "GET")
      Pair(req, res);
    else
      SendPage(res, ProblemPage(200, "配对链接", "用浏览器打开这个链接，即可配对这个浏览器。"));
    return false;
  }
  ForgetOldCookie(req, res);
  if (req.has_param("token")) {
    SendPage(res, ProblemPage(403, "链接里的访问令牌不再使用",
                              "访问令牌不能放在链接里：请向管理员索取配对链接"
                              "（brenna-web --pair），用它打开本页一次。"));
    return false;
  }
  const std::string bearer = req.get_header_value("Authorization");
  if (bearer.rfind("Bearer ", 0) == 0 && SameToken(bearer.substr(7), options_.token)) return true;
  // Figures are for programs, which show the token: a paired browser (a TV
  // in the waiting room) sees the pages and the results, not /metrics.
  if (req.path == "/metrics") {
    SendText(res, 403, "/metrics 只对带访问令牌的程序开放（Authorization: Bearer）。\n");
    return false;
  }
  // Any session cookie that lets in does: another program on another port
  // of the address may set one of the same name, and cannot cut us off.
  const std::int64_t now = archive::NowUtcMs();
  for (const std::string& session : Cookies(req, options_.sessionCookie)) {
    const Sessions::Use use = sessions_.Check(session, now);
    if (use == Sessions::Use::kGoodRenew) SetSessionCookie(res, options_.sessionCookie, session);
    if (use != Sessions::Use::kNone) return true;
  }
  SendPage(res, ProblemPage(403, "需要配对",
                            "从局域网查看需要先配对：请用管理员给出的配对链接打开本页一次，"
                            "此后这个浏览器便可直接访问。"));
  return false;
}

bool WebServer::OpenReader(archive::ArchiveReader* reader, Response& res) const {
  reports::TellVehiclesBy(options_.vehicles, reader);
  std::string error;
  if (reader->Open(options_.archivePath, &error)) return true;
  SendPage(res, ProblemPage(503, "无法读取存档", error));
  return false;
}

void WebServer::Pair(const Request& req, Response& res) {
  std::string error;
  const std::int64_t now = archive::NowUtcMs();
  if (!TakePairingCode(options_.pairingPath, options_.token, req.get_param_value("code"), now,
                       &error)) {
    if (!error.empty()) std::fprintf(stderr, "brenna-web: %s\n", error.c_str());
    SendPage(res, ProblemPage(403, "配对链接无效",
                              "这个配对链接已经用过、已经过期或者不对：一个配对链接只能用一次，"
                              "一小时内有效。请管理员用 brenna-web --pair 给出新的链接。"));
    return;
  }
  const std::string session = sessions_.Begin(now, &error);
  if (session.empty()) {
    std::fprintf(stderr, "brenna-web: %s\n", error.c_str());
    SendPage(res, ProblemPage(503, "无法记下这次配对", "请稍后用新的配对链接再试。"));
    return;
  }
  // The code leaves the address: from now on the cookie shows the session.
  res.status = 303;
  res.set_header("Location", "/");
  res.set_header("Cache-Control", "no-store");
  SetSessionCookie(res, options_.sessionCookie, session);
}

void WebServer::Routes() {
  if (options_.site != nullptr) {
    SiteRoutes();
    AssetRoutes();
    return;
  }
#if BRENNA_WEB_COMPANY
  if (options_.company != nullptr) {
    CompanyRoutes();
    AssetRoutes();
    return;
  }
#endif
  server_->Get("/", [this](const Request& req, Response& res) {
    SendPage(res, LivePage(feed_.Current(), req.has_param("tv")));
  });
  server_->Get("/events", [this](const Request& req, Response& res) { Events(req, res); });
  // On this computer alone nothing needs pairing.
  server_->Get("/pair", [](const Request&, Response& res) {
    res.status = 303;
    res.set_header("Location", "/");
  });
  server_->Get("/results", [this](const Request& req, Response& res) {
    archive::ArchiveReader reader;
    if (OpenReader(&reader, res))
      SendPage(res, ResultsPage(reader, req.params, archive::NowUtcMs(), options_.vehicles));
  });
  server_->Get(R"(/results/(\d{1,18}))", [this](const Request& req, Response& res) {
    archive::ArchiveReader reader;
    if (OpenReader(&reader, res))
      SendPage(res, ResultPage(reader, std::stoll(req.matches[1].str())));
  });
  server_->Get("/panel", [this](const Request& req, Response& res) {
    archive::ArchiveReader reader;
    if (OpenReader(&reader, res))
      SendPage(res, PanelAtPage(reader, req.params, archive::NowUtcMs()));
  });
  server_->Get("/vehicle", [this](const Request& req, Response& res) {
    archive::ArchiveReader reader;
    if (OpenReader(&reader, res)) SendPage(res, VehiclePage(reader, req.params));
  });
  server_->Get("/results.csv", [this](const Request& req, Response& res) { ResultsCsv(req, res); });
  server_->Get("/report", [this](const Request& req, Response& res) {
    auto reader = std::make_shared<archive::ArchiveReader>();
    if (OpenReader(reader.get(), res))
      SendPage(res, ReportPage(reader, req.params, archive::NowUtcMs(), options_.vehicles));
  });
  server_->Get("/report.csv", [this](const Request& req, Response& res) { ReportCsv(req, res); });
  server_->Get("/metrics", [this](const Request&, Response& res) { Metrics(res); });
  server_->Get("/healthz", [this](const Request&, Response& res) { Health(res); });
  AssetRoutes();
}

void WebServer::AssetRoutes() {
  server_->Get("/app.js", [](const Request&, Response& res) {
    SendAsset(res, AppScript(), "application/javascript; charset=utf-8");
  });
  server_->Get("/app.css", [](const Request&, Response& res) {
    SendAsset(res, AppStylesheet(), "text/css; charset=utf-8");
  });
  server_->Get("/panel.css", [](const Request&, Response& res) {
    static const std::string css = PanelStylesheet();
    SendAsset(res, css, "text/css; charset=utf-8");
  });
  server_->Get("/favicon.png",
               [](const Request&, Response& res) { SendAsset(res, Favicon(), "image/png"); });
}

void WebServer::ResultsCsv(const Request& req, Response& res) {
  archive::ResultFilter filter;
  std::string error;
  const std::string rows = req.get_param_value("rows");
  if (!rows.empty() && rows != "result" && rows != "value") {
    SendText(res, 400, "“rows”应为 result（每条结果一行）或 value（每个数值一行）\n");
    return;
  }
  if (!ParseResultsQuery(req.params, archive::NowUtcMs(), &filter, &error)) {
    SendText(res, 400, error + "\n");
    return;
  }
  auto reader = std::make_shared<archive::ArchiveReader>();
  reports::TellVehiclesBy(options_.vehicles, reader.get());
  if (!reader->Open(options_.archivePath, &error)) {
    SendText(res, 503, "无法读取存档：" + error + "\n");
    return;
  }
  res.set_header("Cache-Control", "no-store");
  res.set_header("Content-Disposition", "attachment; filename=\"results-" +
                                            (filter.day.empty() ? "all" : filter.day) + ".csv\"");
  // Kept outside the provider (the library may copy it).
  auto csv = std::make_shared<reports::CsvExport>(
      std::move(reader), filter, options_.vehicles,
      rows == "result" ? reports::CsvRowsOf::kResult : reports::CsvRowsOf::kValue);
  auto provide = [csv](size_t, httplib::DataSink& sink) {
    std::string chunk, why;
    bool done = false;
    if (!csv->Next(&chunk, &done, &why) || !sink.write(chunk.data(), chunk.size())) return false;
    if (done) sink.done();
    return true;
  };
  res.set_chunked_content_provider("text/csv; charset=utf-8", std::move(provide));
}

void WebServer::ReportCsv(const Request& req, Response& res) {
  std::string from, to, error;
  if (!ParseReportDays(req.params, archive::NowUtcMs(), &from, &to, &error)) {
    SendText(res, 400, error + "\n");
    return;
  }
  auto reader = std::make_shared<archive::ArchiveReader>();
  reports::DayReport report;
  if (!OpenReader(reader.get(), res)) return;
  if (!reports::BuildReport(reader, options_.vehicles, from, to, &report, &error)) {
    SendText(res, 503, "无法读取存档：" + error + "\n");
    return;
  }
  res.set_header("Cache-Control", "no-store");
  res.set_header("Content-Disposition",
                 "attachment; filename=\"report-" + from + (from == to ? "" : "-" + to) + ".csv\"");
  res.set_content(reports::ReportCsv(report), "text/csv; charset=utf-8");
}

void WebServer::Events(const Request&, Response& res) {
  StreamEvents(feed_, res, live_, EventLimits());
}

EventStreamLimits WebServer::EventLimits() const {
  return {options_.settings.maxLiveClients, options_.liveLifetime, options_.livePing};
}

void WebServer::Metrics(Response& res) {
  res.set_header("Cache-Control", "no-store");
  const std::int64_t now = archive::NowUtcMs();
  // Today's counts are read from the archive at each scrape: a restart of
  // brenna-web changes none of them.
  reports::DayReport today;
  auto reader = std::make_shared<archive::ArchiveReader>();
  std::string error;
  reports::TellVehiclesBy(options_.vehicles, reader.get());
  const bool haveToday =
      reader->Open(options_.archivePath, &error) &&
      reports::BuildDayReport(reader, options_.vehicles, archive::ToLocal(now).day, &today, &error);
  res.set_content(MetricsText(feed_.Current(), now, ArchiveBytes(options_.archivePath),
                              live_.load(), haveToday ? &today : nullptr),
                  "text/plain; version=0.0.4; charset=utf-8");
}

void WebServer::Health(Response& res) {
  const FeedState s = feed_.Current();
  const bool unreadable = s.monitor.kind == MonitorState::Kind::kUnreadable;
  SendText(res, unreadable ? 503 : 200,
           std::string(unreadable ? "archive unreadable: " +
                                        WithoutPath(s.monitor.why, options_.archivePath)
                                  : "ok") +
               "\narchive: " +
               (s.archiveOpen ? "readable"
                : unreadable  ? "unreadable"
                              : "none yet") +
               "\nmonitor: " + (s.monitor.Running() ? "running" : "not running") +
               "\nlive pages: " + std::to_string(live_.load()) + "\n");
}

}  // namespace web

namespace web {

// A site's overview: its page, its updates and its health; the lines' own
// pages are theirs.
void WebServer::SiteRoutes() {
  SiteFeed& site = *options_.site;
  server_->Get("/", [&site](const Request&, Response& res) {
    SendPage(res, OverviewPage(site.Lines(), site.Current(), site.Now()));
  });
  server_->Get("/events", [this, &site](const Request&, Response& res) {
    StreamEvents(site, res, live_, EventLimits());
  });
  server_->Get("/pair", [](const Request&, Response& res) {
    res.status = 303;
    res.set_header("Location", "/");
  });
  server_->Get("/healthz", [this, &site](const Request&, Response& res) {
    int reached = 0;
    const SiteState s = site.Current();
    for (const LineView& v : s.views) reached += v.reach == LineView::Reach::kUp;
    SendText(res, 200,
             "ok\nlines reached: " + std::to_string(reached) + " of " +
                 std::to_string(s.views.size()) + "\nlive pages: " + std::to_string(live_.load()) +
                 "\n");
  });
}

}  // namespace web
