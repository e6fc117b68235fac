// The company's view (brenna-web --company): its pages, its updates and its
// health, on the same server, gate, pairing and sessions as a line's.
#include <httplib.h>

#include <memory>

#include "archive/ArchiveTime.h"
#include "web/CompanyCsv.h"
#include "web/CompanyFeed.h"
#include "web/CompanyPages.h"
#include "web/CompanyReport.h"
#include "web/HttpServer.h"
#include "web/WebServer.h"

namespace web {

namespace {

using httplib::Request;
using httplib::Response;

// The lines as the overview last read them; false with a page that says
// why there are none.
bool KnownLines(const CompanyState& s, Response& res) {
  if (s.read) return true;
  SendPage(res, ProblemPage(503, "无法读取公司数据库",
                            s.why.empty() ? std::string("正在连接公司数据库，请稍后再试") : s.why));
  return false;
}

}  // namespace

void WebServer::CompanyRoutes() {
  CompanyFeed& feed = *options_.company;
  CompanySource& source = *options_.companySource;
  SetPageLinks({"公司总览", "结果查询", "报表"});
  server_->Get("/", [&feed](const Request&, Response& res) {
    SendPage(res, CompanyOverviewPage(feed.Current(), feed.Now()));
  });
  server_->Get("/events", [this, &feed](const Request&, Response& res) {
    StreamEvents(feed, res, live_, EventLimits());
  });
  server_->Get("/pair", [](const Request&, Response& res) {
    res.status = 303;
    res.set_header("Location", "/");
  });
  server_->Get("/results", [&feed, &source](const Request& req, Response& res) {
    const CompanyState s = feed.Current();
    if (KnownLines(s, res))
      SendPage(res, CompanyResultsPage(source, *s.lines, req.params, archive::NowUtcMs()));
  });
  server_->Get("/results.csv",
               [this](const Request& req, Response& res) { CompanyResultsCsv(req, res); });
  server_->Get("/report", [this, &feed, &source](const Request& req, Response& res) {
    const CompanyState s = feed.Current();
    if (KnownLines(s, res))
      SendPage(res, CompanyReportPage(source, *s.lines, options_.vehicles, req.params,
                                      archive::NowUtcMs()));
  });
  // Anyone may ask: the database's state without its address or words.
  server_->Get("/healthz", [this, &feed](const Request&, Response& res) {
    const CompanyState s = feed.Current();
    SendText(res, s.reachable ? 200 : 503,
             std::string(s.reachable ? "ok" : "company database unreachable") +
                 "\ncompany database: " + (s.reachable ? "read" : "cannot be read") +
                 "\nlines: " + std::to_string(s.lines ? s.lines->size() : 0) +
                 "\nlive pages: " + std::to_string(live_.load()) + "\n");
  });
}

void WebServer::CompanyResultsCsv(const Request& req, Response& res) {
  const CompanyState s = options_.company->Current();
  if (!KnownLines(s, res)) return;
  std::vector<CompanyLine> lines = *s.lines;
  CompanyQuery query;
  reports::CsvRowsOf rows = reports::CsvRowsOf::kValue;
  std::string error;
  if (!ParseCompanyCsvQuery(req.params, archive::NowUtcMs(), &lines, &query, &rows, &error)) {
    SendText(res, 400, error + "\n");
    return;
  }
  // Kept outside the provider (the library may copy it).
  auto csv =
      std::make_shared<CompanyCsv>(*options_.companySource, lines, query, rows, options_.vehicles);
  // The first piece before the answer begins: a database that cannot be
  // read is said as such, not as a file cut short.
  auto first = std::make_shared<std::string>();
  bool done = false;
  if (!csv->Next(first.get(), &done, &error)) {
    SendText(res, 503, "无法读取公司数据库：" + error + "\n");
    return;
  }
  res.set_header("Cache-Control", "no-store");
  res.set_header("Content-Disposition", "attachment; filename=\"company-results-" +
                                            query.filter.day + "-" + query.filter.lastDay +
                                            ".csv\"");
  auto finished = std::make_shared<bool>(done);
  auto provide = [csv, first, finished](size_t, httplib::DataSink& sink) {
    std::string chunk, why;
    if (!first->empty()) {
      chunk.swap(*first);
    } else if (!*finished && !csv->Next(&chunk, finished.get(), &why)) {
      return false;
    }
    if (!sink.write(chunk.data(), chunk.size())) return false;
    if (*finished && first->empty()) sink.done();
    return true;
  };
  res.set_chunked_content_provider("text/csv; charset=utf-8", std::move(provide));
}

}  // namespace web
