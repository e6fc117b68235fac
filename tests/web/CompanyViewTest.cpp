// brenna-web --company against a real PostgreSQL of the test's own: two
// sites of two lines each, shipped by the real brenna-ship from archives
// made to order (ArchiveDay), then read as a viewer reads them. The
// overview tells each line as shipped; a line's list narrowed to a verdict
// holds exactly its results made so, and pages on; the CSV over every line
// (a row per value, or per result) is, line by line, the very rows
// brenna-history writes for the line's own archive, with the site and the
// line after them; the report of the days counts each line's results,
// vetoes and retests as made, sums each site's and sets the lines side by
// side; the viewer's role writes nothing; a database that goes away is
// said on every page, which come back with it. And the overview in a
// browser follows the lines and the database.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "FreePort.h"
#include "HeadlessBrowser.h"
#include "ShipHarness.h"
#include "Station.h"
#include "archive/ArchiveTime.h"
#include "panel/Verdicts.h"

namespace {

using json = nlohmann::json;
using Rows = std::vector<std::vector<std::string>>;

constexpr auto kPatience = std::chrono::seconds(60);

// The local day `n` days from today.
std::string DayFromToday(int n) {
  return archive::ToLocal(archive::NowUtcMs() + n * 24LL * 3600 * 1000).day;
}

struct MadeLine {
  std::string site, line, day;
  int count;
  std::vector<DayResult> made;
  std::string Name() const { return site + "/" + line; }
  int Vetoes() const {
    int n = 0;
    for (const DayResult& r : made) n += r.veto;
    return n;
  }
};

// A CSV file's rows, each a map of its cells by the header's names (the
// cells here hold no commas or quotes), and its lines as sent.
struct Csv {
  std::vector<std::string> lines;
  std::vector<std::map<std::string, std::string>> rows;
};

Csv ReadCsv(const std::string& bytes) {
  Csv csv;
  std::vector<std::string> header;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t end = bytes.find("\r\n", at);
    const std::string line = bytes.substr(at, end - at);
    at = end == std::string::npos ? bytes.size() : end + 2;
    csv.lines.push_back(line);
    std::vector<std::string> cells;
    for (std::size_t c = 0;;) {
      const std::size_t comma = line.find(',', c);
      cells.push_back(line.substr(c, comma - c));
      if (comma == std::string::npos) break;
      c = comma + 1;
    }
    if (header.empty()) {
      header = cells;
      if (header[0].rfind("\xEF\xBB\xBF", 0) == 0) header[0].erase(0, 3);  // the byte order mark
      continue;
    }
    auto& row = csv.rows.emplace_back();
    for (std::size_t i = 0; i < header.size() && i < cells.size(); ++i) row[header[i]] = cells[i];
  }
  return csv;
}

// The transfer names of a list's rows, in its order.
std::vector<std::string> Names(const std::string& html) {
  std::vector<std::string> names;
  for (std::size_t at = 0; (at = html.find("<td class=\"name\">", at)) != std::string::npos; ++at)
    names.push_back(html.substr(at + 17, html.find('<', at + 17) - at - 17));
  return names;
}

// Each result of a list by its place in the company (a vehicle's retest
// has the same transfer name).
std::set<std::string> Keys(const std::string& html) {
  std::set<std::string> keys;
  for (std::size_t at = 0; (at = html.find("data-key=\"", at)) != std::string::npos; ++at)
    keys.insert(html.substr(at + 10, html.find('"', at + 10) - at - 10));
  return keys;
}

// The text of each cell (its tags taken out) of the table with the id
// `id`, each with the name of its column in the last row of heads.
using HtmlRow = std::vector<std::pair<std::string, std::string>>;
std::vector<HtmlRow> HtmlTable(const std::string& html, const std::string& id) {
  const std::size_t at = html.find("id=\"" + id + "\"");
  const std::string table = html.substr(at, html.find("</table>", at) - at);
  auto cells = [](const std::string& row, const char* tag) {
    std::vector<std::string> out;
    const std::string open = std::string("<") + tag, close = std::string("</") + tag + ">";
    for (std::size_t c = 0; (c = row.find(open, c)) != std::string::npos;) {
      const std::size_t end = row.find(close, c);
      std::string text, inside = row.substr(row.find('>', c) + 1, end - row.find('>', c) - 1);
      // Texts apart in tags of their own stay apart ("12 8.3 %").
      for (std::size_t i = 0, depth = 0; i < inside.size(); ++i) {
        if (inside[i] == '<' && depth++ == 0 && !text.empty()) text += ' ';
        if (depth == 0) text += inside[i];
        depth -= depth > 0 && inside[i] == '>';
      }
      while (!text.empty() && text.back() == ' ') text.pop_back();
      out.push_back(text);
      c = end;
    }
    return out;
  };
  const std::string head = table.substr(0, table.find("</thead>"));
  const std::vector<std::string> names = cells(head.substr(head.rfind("<tr")), "th");
  std::vector<HtmlRow> rows;
  const std::string body = table.substr(table.find("<tbody>"));
  for (std::size_t r = 0; (r = body.find("<tr", r)) != std::string::npos; ++r) {
    const std::string row = body.substr(r, body.find("</tr>", r) - r);
    std::vector<std::string> texts = cells(row, "td");
    auto& named = rows.emplace_back();
    for (std::size_t i = 0; i < texts.size() && i < names.size(); ++i)
      named.emplace_back(names[i], texts[i]);
  }
  return rows;
}

// The cell of a row in the column named so; "" when there is none.
std::string Cell(const HtmlRow& row, const std::string& name) {
  for (const auto& [n, text] : row)
    if (n == name) return text;
  return "";
}

class CompanyView : public ShipHarness {
 protected:
  // Each line's archive made and shipped by brenna-ship; brenna-web
  // --company started with a viewer's string from a file only its owner
  // may read.
  void ShipAndServe(std::vector<MadeLine>* lines) {
    for (MadeLine& l : *lines) {
      const std::string path = state.file(l.site + "-" + l.line + ".sqlite");
      MakeArchive(path, l.day, l.count, &l.made);
      const ProgramRun run = Ship({"--db", Enrol(l.Name()), "--archive", path, "--once"});
      ASSERT_EQ(0, run.status) << run.Report();
      archives[l.Name()] = path;
    }
    viewer = Enrol("office", "--enrol-viewer");
    const std::string file = state.file("viewer.conninfo");
    WriteFileBytes(file, viewer + "\n");
    chmod(file.c_str(), 0600);
    port = FreePort();
    ChildProcess::Options o;
    o.env = {"XDG_STATE_HOME=" + state.path().string()};
    o.logPath = state.file("web.log");
    std::string error;
    ASSERT_TRUE(StartListening(
        &web,
        {BRENNA_WEB_PATH, "--company-file", file, "--listen", "127.0.0.1:" + std::to_string(port)},
        o, port, kPatience, &error))
        << error;
    // Once it has read the database: its pages answer from then on.
    ASSERT_TRUE(Overview().is_object()) << WebLog();
  }

  httplib::Result Get(const std::string& path) {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(60, 0);
    return c.Get(path);
  }

  // The overview's first live update that has read the database.
  json Overview() {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(60, 0);
    std::string seen;
    json state;
    c.Get("/events", [&](const char* data, size_t n) {
      seen.append(data, n);
      for (std::size_t at; (at = seen.find("data: ")) != std::string::npos;) {
        const std::size_t end = seen.find('\n', at);
        if (end == std::string::npos) break;
        state = json::parse(seen.substr(at + 6, end - at - 6), nullptr, false);
        seen.erase(0, end);
        if (state.is_object() && state["db"]["ok"] == true) return false;
      }
      return true;
    });
    return state;
  }

  // The overview: every line by site and line, as brenna-ship told it.
  void ExpectOverview(const std::vector<MadeLine>& lines) {
    const std::string today = DayFromToday(0);
    const json overview = Overview();
    ASSERT_TRUE(overview.is_object()) << WebLog();
    EXPECT_EQ("north/lane1,north/lane2,south/lane1,south/lane2", overview["keys"]);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const json& row = overview["lines"][i];
      const MadeLine& l = lines[i];
      EXPECT_EQ(l.day == today ? std::to_string(l.count) : "0", row["today"]) << l.Name();
      EXPECT_EQ(l.day == today ? std::to_string(l.Vetoes()) : "0", row["vetoes"]) << l.Name();
      // The monitor's run in the archive ended with a quit.
      EXPECT_EQ("监控程序未运行", row["state"]) << l.Name();
      EXPECT_NE(std::string::npos, row["detail"].get<std::string>().find("（已退出）"));
      const DayResult& last = l.made.back();
      EXPECT_EQ(last.veto       ? "verdict v2"
                : last.advisory ? "verdict v3"
                                : "verdict v1",
                row["vc"])
          << l.Name();
    }
  }

  std::string WebLog() { return "\nbrenna-web:\n" + ReadFileBytes(state.file("web.log")); }

  ChildProcess web;
  int port = 0;
  std::string viewer;
  std::map<std::string, std::string> archives;
};

}  // namespace

// The four lines of two sites over three days.
std::vector<MadeLine> FourLines() {
  return {{"north", "lane1", DayFromToday(0), 40, {}},
          {"north", "lane2", DayFromToday(-1), 520, {}},
          {"south", "lane1", DayFromToday(-2), 120, {}},
          {"south", "lane2", DayFromToday(-1), 200, {}}};
}

TEST_F(CompanyView, EveryLineOfEverySiteAndALinesResultsAsAViewerReadsThemWhileTheDatabaseIs) {
  const std::string today = DayFromToday(0), yesterday = DayFromToday(-1);
  std::vector<MadeLine> lines = FourLines();
  ASSERT_NO_FATAL_FAILURE(ShipAndServe(&lines));

  ASSERT_NO_FATAL_FAILURE(ExpectOverview(lines));

  // A line's day narrowed to its vetoes: exactly its results made with
  // one, newest first; the count line counts the whole day.
  const MadeLine& south2 = lines[3];
  auto vetoes = Get("/results?line=south%2Flane2&day=" + yesterday + "&verdict=veto");
  ASSERT_TRUE(vetoes) << WebLog();
  ASSERT_EQ(200, vetoes->status) << vetoes->body;
  std::vector<std::string> expected;
  for (auto r = south2.made.rbegin(); r != south2.made.rend(); ++r)
    if (r->veto) expected.push_back(r->result.transfer);
  EXPECT_EQ(expected, Names(vetoes->body));
  EXPECT_NE(std::string::npos, vetoes->body.find("当天共 200 条结果，其中 " +
                                                 std::to_string(south2.Vetoes()) + " 条有否决项"));

  // 520 results: a page of 500, and the next page the rest, none twice.
  auto first = Get("/results?line=north%2Flane2&day=" + yesterday);
  ASSERT_TRUE(first && first->status == 200);
  const std::size_t link = first->body.find("before=");
  ASSERT_NE(std::string::npos, link) << "no next page";
  const std::string cursor = first->body.substr(link, first->body.find('"', link) - link);
  auto next = Get("/results?line=north%2Flane2&day=" + yesterday + "&" + cursor);
  ASSERT_TRUE(next && next->status == 200);
  std::set<std::string> all = Keys(first->body);
  EXPECT_EQ(500u, all.size());
  for (const std::string& n : Keys(next->body)) EXPECT_TRUE(all.insert(n).second) << n;
  EXPECT_EQ(520u, all.size());

  // A vehicle is looked for by its transfer names: each line may tell its
  // vehicles by a rule of its own.
  auto vehicle = Get("/results?line=north%2Flane2&day=" + yesterday + "&vehicle=A1");
  ASSERT_TRUE(vehicle);
  EXPECT_EQ(400, vehicle->status);

  // The viewer's role writes nothing, whatever it tries.
  for (const char* sql :
       {"UPDATE brenna.result SET operator = 'x'", "DELETE FROM brenna.result_value",
        "UPDATE brenna.line SET site = 'x'", "CREATE TABLE brenna.mine (x int)"}) {
    Rows ignored;
    std::string error;
    EXPECT_FALSE(PgQuery(viewer, sql, &ignored, &error)) << sql;
    EXPECT_NE(std::string::npos, error.find("permission denied")) << sql << ": " << error;
  }

  // The database goes away: every page says so, within bounds; back with it.
  ASSERT_TRUE(server.Stop()) << server.Problem();
  auto gone = Get("/results?line=north%2Flane2&day=" + yesterday);
  ASSERT_TRUE(gone);
  EXPECT_EQ(503, gone->status);
  EXPECT_NE(std::string::npos, gone->body.find("无法读取公司数据库")) << gone->body;
  auto csvGone = Get("/results.csv?day=" + today);
  ASSERT_TRUE(csvGone);
  EXPECT_EQ(503, csvGone->status);
  EXPECT_TRUE(WaitFor([&] {
    auto h = Get("/healthz");
    return h && h->status == 503;
  }));
  auto page = Get("/");
  ASSERT_TRUE(page);
  EXPECT_NE(std::string::npos, page->body.find("无法读取公司数据库")) << page->body;
  ASSERT_TRUE(server.Start()) << server.Problem();
  EXPECT_TRUE(WaitFor([&] {
    auto h = Get("/healthz");
    return h && h->status == 200;
  })) << WebLog();
  auto back = Get("/results?line=north%2Flane2&day=" + yesterday);
  ASSERT_TRUE(back);
  EXPECT_EQ(Keys(first->body), Keys(back->body));
}

TEST_F(CompanyView, TheCsvAndTheReportOverEveryLine) {
  const std::string today = DayFromToday(0), before = DayFromToday(-2);
  std::vector<MadeLine> lines = FourLines();
  ASSERT_NO_FATAL_FAILURE(ShipAndServe(&lines));

  // The CSV over every line of the three days, a row per value and a row
  // per result: a line's columns, then the site and the line; each line's
  // rows the very bytes brenna-history writes for its own archive.
  for (const char* rows : {"value", "result"}) {
    auto file = Get("/results.csv?from=" + before + "&to=" + today + "&rows=" + rows);
    ASSERT_TRUE(file && file->status == 200) << WebLog();
    const Csv csv = ReadCsv(file->body);
    std::map<std::string, std::set<std::string>> ids;
    std::map<std::string, std::string> bytes;
    for (std::size_t i = 0; i < csv.rows.size(); ++i) {
      const std::string name = csv.rows[i].at("站点") + "/" + csv.rows[i].at("线路");
      ids[name].insert(csv.rows[i].at("编号"));
      const std::string& line = csv.lines[i + 1];
      bytes[name] += line.substr(0, line.size() - name.size() - 1) + "\r\n";
    }
    for (const MadeLine& l : lines) {
      EXPECT_EQ(static_cast<std::size_t>(l.count), ids[l.Name()].size()) << l.Name();
      const ProgramRun history = RunProgram({BRENNA_HISTORY, "--archive", archives[l.Name()],
                                             "--day", l.day, "--csv", "--rows", rows},
                                            {}, std::chrono::seconds(60));
      ASSERT_EQ(0, history.status) << history.Report();
      const std::string header = history.output.substr(0, history.output.find("\r\n") + 2);
      EXPECT_EQ(header.substr(0, header.size() - 2) + ",站点,线路\r\n",
                file->body.substr(0, header.size() + std::string(",站点,线路").size()));
      EXPECT_TRUE(history.output.substr(header.size()) == bytes[l.Name()]) << l.Name() << rows;
    }
  }

  // The report of the three days: each line's results, vetoes and retests
  // as made, each site's summed; a device group's results over the lines
  // side by side.
  auto report = Get("/report?from=" + before + "&to=" + today);
  ASSERT_TRUE(report && report->status == 200) << WebLog();
  std::map<std::string, std::map<std::string, std::string>> byLine;
  for (const HtmlRow& row : HtmlTable(report->body, "by-line"))
    for (const auto& [name, text] : row)
      byLine[Cell(row, "站点") + "/" + Cell(row, "线路")][name] = text;
  std::map<std::string, int> siteResults;
  int brakes = 0;
  for (const MadeLine& l : lines) {
    int retests = 0;
    for (const DayResult& r : l.made) {
      retests += r.retest;
      brakes += r.result.deviceGroup == "制动设备";
    }
    EXPECT_EQ(std::to_string(l.count), byLine[l.Name()]["结果"]) << l.Name();
    EXPECT_EQ(std::to_string(l.Vetoes()), byLine[l.Name()]["否决"]) << l.Name();
    EXPECT_EQ(std::to_string(retests), byLine[l.Name()]["复检"]) << l.Name();
    siteResults[l.site] += l.count;
  }
  for (const auto& [site, n] : siteResults)
    EXPECT_EQ(std::to_string(n), byLine[site + "/合计"]["结果"]) << site;
  for (const HtmlRow& row : HtmlTable(report->body, "by-group")) {
    if (Cell(row, "设备组") != "制动设备") continue;
    int sum = 0;
    for (const auto& [name, cell] : row)
      if (name != "设备组") sum += std::atoi(cell.c_str());
    EXPECT_EQ(brakes, sum);
  }
}

// The overview in a browser: a row per line as shipped; a line's new
// results reach the open page (its count of today, its newest verdict in
// the legend's colour); a database that goes away is said over the rows,
// and the page comes back with it, without a reload.
TEST_F(CompanyView, TheOverviewInABrowserFollowsTheLinesAndTheDatabase) {
  std::vector<MadeLine> lines = {{"north", "lane1", DayFromToday(0), 10, {}},
                                 {"south", "lane1", DayFromToday(-1), 10, {}}};
  ASSERT_NO_FATAL_FAILURE(ShipAndServe(&lines));
  HeadlessBrowser browser;
  std::string error;
  ASSERT_TRUE(browser.Start({}, state.file("chromium.log"), 1280, 900, &error)) << error;
  auto waitFor = [&](const std::string& condition) {
    std::string seen;
    if (browser.WaitFor(condition, kPatience, &error)) return;
    browser.Evaluate("document.body.innerText", &seen, &error);
    FAIL() << condition << "\nthe page: " << seen << WebLog();
  };
  auto text = [](const std::string& id) {
    return "document.getElementById('" + id + "').textContent";
  };
  ASSERT_TRUE(browser.Navigate("http://127.0.0.1:" + std::to_string(port) + "/", &error)) << error;
  waitFor(text("L0-today") + " === '10' && " + text("L1-today") + " === '0' && " + text("L0-v") +
          " === '合格项'");

  // Thirteen more results on line one, the last with a veto.
  const std::string path = archives["north/lane1"];
  MakeArchive(path, lines[0].day, 13);
  const std::string again = Enrol("north/lane1");
  ASSERT_EQ(0, Ship({"--db", again, "--archive", path, "--once"}).status);
  waitFor(text("L0-today") + " === '23' && " + text("L0-v") + " === '否决项'");
  std::string colour;
  ASSERT_TRUE(browser.Evaluate("getComputedStyle(document.getElementById('L0-v')).backgroundColor",
                               &colour, &error));
  const COLORREF veto = LookOf(Verdict::kVeto).color;
  EXPECT_EQ("\"rgb(" + std::to_string(GetRValue(veto)) + ", " + std::to_string(GetGValue(veto)) +
                ", " + std::to_string(GetBValue(veto)) + ")\"",
            colour);

  ASSERT_TRUE(server.Stop()) << server.Problem();
  waitFor(text("db-head") +
          " === '无法读取公司数据库' && document.body.classList.contains('lost')");
  ASSERT_TRUE(server.Start()) << server.Problem();
  waitFor("!document.body.classList.contains('lost') && " + text("L0-today") + " === '23'");
}
