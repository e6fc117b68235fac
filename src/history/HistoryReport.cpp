#include "history/HistoryReport.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "archive/ArchiveTime.h"
#include "history/ReportText.h"
#include "history/TerminalText.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"
#include "reports/ArchiveText.h"
#include "reports/CsvExport.h"
#include "reports/ResultBatches.h"
#include "reports/ShownValues.h"

namespace history {

using reports::ColourName;
using reports::CsvCell;
using reports::DisplayWidth;
using reports::FromGbk;
using reports::FromUtf8;
using reports::PadRight;

namespace {

std::string Join(const std::vector<std::string>& cells) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) line += (i ? "," : "") + CsvCell(cells[i]);
  return line + "\n";
}

std::string LocalText(std::int64_t utcMs) { return archive::ToLocal(utcMs).text; }

std::string Count(int n) { return n < 0 ? std::string("?") : std::to_string(n); }

// Reads on as long as the output takes it: a closed pipe (| head) ends
// the list.
bool Written(std::FILE* out) { return std::ferror(out) == 0; }

int ListCsv(const std::shared_ptr<archive::ArchiveReader>& reader, const HistoryOptions& o,
            const reports::VehicleRule& rule, std::FILE* out, std::string* error) {
  // The very file brenna-web's /results.csv is, batch by batch.
  reports::CsvExport csv(reader, o.filter, rule,
                         o.rowPerResult ? reports::CsvRowsOf::kResult : reports::CsvRowsOf::kValue);
  for (bool done = false; !done && Written(out);) {
    std::string chunk;
    if (!csv.Next(&chunk, &done, error)) return kUnreadable;
    Put(out, chunk);
  }
  return kDone;
}

// The vetoes and advisories of a result, on a line of their own below it.
std::string VerdictLine(const reports::VerdictSummary& v) {
  std::string line;
  if (!v.vetoes.empty())
    line += "veto " + std::to_string(v.vetoes.size()) + ": " +
            reports::ValuesText(v.vetoes, FromGbk, ", ");
  if (!v.advisories.empty())
    line += std::string(line.empty() ? "" : "; ") + "advisory " +
            std::to_string(v.advisories.size()) + ": " +
            reports::ValuesText(v.advisories, FromGbk, ", ");
  return line.empty() ? line : std::string(10, ' ') + line + "\n";
}

int ListResults(const std::shared_ptr<archive::ArchiveReader>& shared, const HistoryOptions& o,
                const reports::VehicleRule& rule, std::FILE* out, std::string* error) {
  if (o.sinceBeyond) {
    *error = "no result can come after " + o.sinceText + ": no archive holds an id that high";
    return kNothing;
  }
  if (o.csv) return ListCsv(shared, o, rule, out, error);
  Put(out, Right("ID", 8) + "  " + PadRight("SHOWN (local)", 23) + "  " + PadRight("GROUP", 14) +
               "  " + Right("DEV", 4) + "  " + Right("TITLE", 6) + "  " + Right("ITEMS", 5) + "  " +
               Right("VETO", 4) + "  " + Right("ADV", 3) + "  " + PadRight("OPERATOR", 10) + "  " +
               PadRight("STATIONS", 21) + "  TRANSFER\n");
  std::int64_t rows = 0, vetoed = 0, advisory = 0;
  reports::ResultBatches batches(shared, o.filter);
  std::vector<reports::ResultWithItems> batch;
  for (bool done = false; !done && Written(out);) {
    if (!batches.Next(&batch, &done, error)) return kUnreadable;
    for (const reports::ResultWithItems& ri : batch) {
      const archive::ResultRow& r = ri.row;
      const reports::VerdictSummary v = reports::SummarizeVerdicts(ri.items);
      ++rows;
      vetoed += !v.vetoes.empty();
      advisory += !v.advisories.empty();
      Put(out, Right(std::to_string(r.id), 8) + "  " + PadRight(FromUtf8(r.shownLocal), 23) + "  " +
                   PadRight(Group(r.deviceGroup), 14) + "  " +
                   Right(std::to_string(r.deviceCode), 4) + "  " + Right(Count(r.titleCount), 6) +
                   "  " + Right(std::to_string(r.itemCount), 5) + "  " +
                   Right(std::to_string(v.vetoes.size()), 4) + "  " +
                   Right(std::to_string(v.advisories.size()), 3) + "  " +
                   PadRight(FromGbk(r.operatorText), 10) + "  " +
                   PadRight(r.stations.empty() ? "-" : FromUtf8(r.stations), 21) + "  " +
                   FromGbk(r.transfer) + "\n" + VerdictLine(v));
    }
  }
  Put(out, std::to_string(rows) + (rows == 1 ? " result" : " results") + " (" +
               std::to_string(vetoed) + " with a veto, " + std::to_string(advisory) +
               " with an advisory)\n");
  return kDone;
}

std::string ColoursText(std::uint32_t textColor, std::uint32_t background) {
  return ColourName(textColor) + " on " + ColourName(background);
}

int ShowResult(archive::ArchiveReader& reader, const HistoryOptions& o, std::FILE* out,
               std::string* error) {
  archive::ResultDetail d;
  if (o.showId < 1) {
    *error = "no result " + o.showText + " in the archive";
    return kNothing;
  }
  if (!reader.GetResult(o.showId, &d, error)) {
    if (error->empty()) *error = "no result " + o.showText + " in the archive";
    return error->rfind("no result", 0) == 0 ? kNothing : kUnreadable;
  }
  if (o.csv) {
    Put(out, Join({"kind", "position", "code", "judge", "display", "text", "text_colour",
                   "background"}));
    for (const archive::RecordItem& i : d.items)
      Put(out, Join({"item", std::to_string(i.position), std::to_string(i.code),
                     std::to_string(i.judge), "", FromGbk(i.value), "", ""}));
    for (std::size_t k = 0; k < d.writes.size(); ++k) {
      const archive::DisplayWrite& w = d.writes[k];
      Put(out, Join({"display", std::to_string(k), "", "", std::to_string(w.displayId),
                     FromGbk(w.text), ColourName(w.textColor), ColourName(w.background)}));
    }
    return kDone;
  }
  const archive::ResultRow& r = d.row;
  Put(out, "Result " + std::to_string(r.id) + ", shown " + FromUtf8(r.shownLocal) + " (UTC" +
               archive::OffsetText(r.utcOffsetSeconds) + "; " + archive::UtcText(r.shownUtcMs) +
               ")\n");
  Put(out, "  transfer   " + FromGbk(r.transfer) + "\n");
  Put(out, "  stations   " +
               (r.stations.empty() ? std::string("not known") : FromUtf8(r.stations)) + "\n");
  Put(out, "  group      " + Group(r.deviceGroup) + " (device code " +
               std::to_string(r.deviceCode) + ")\n");
  Put(out, "  operator   " + FromGbk(r.operatorText) + "\n");
  Put(out, "  title      " +
               (r.titleCount < 0 ? std::string("not counted") : WindowTitle(r.titleCount)) + "\n");
  Put(out, "  items      " + std::to_string(r.itemCount) + " in the record\n");
  Put(out, "\nItems, as sent (code, judge, value):\n");
  for (const archive::RecordItem& i : d.items)
    Put(out, Right(std::to_string(i.code), 7) + Right(std::to_string(i.judge), 4) + "  " +
                 FromGbk(i.value) + "\n");
  Put(out, "\nDisplay writes, in order (display, colours, text):\n");
  for (const archive::DisplayWrite& w : d.writes)
    Put(out, Right(std::to_string(w.displayId), 7) + "  " +
                 PadRight(ColoursText(w.textColor, w.background), 16) + "  " + FromGbk(w.text) +
                 "\n");
  return kDone;
}

// What a display shows: the operator, the routed items, or nothing.
std::string Shows(int displayId) {
  if (IsOperatorDisplay(displayId)) return "工号";
  std::string items;
  int count = 0;
  const ResultRoute* routes = ResultRoutes(&count);
  for (int i = 0; i < count; ++i)
    if (routes[i].displayId == displayId)
      items += (items.empty() ? "item " : ", ") + std::to_string(routes[i].itemCode);
  return items.empty() ? std::string("-") : items;
}

// The value displays group by group, in the window's order.
std::vector<std::pair<std::string, std::vector<int>>> DisplaysByGroup() {
  std::vector<std::pair<std::string, std::vector<int>>> groups;
  for (const DlgControl& c : MainDialogTemplate())
    if (c.kind == ControlKind::GroupBox) groups.push_back({c.text, {}});
  for (int id : kValueDisplayIds) {
    const std::string caption(GroupCaptionOf(id));
    auto it = std::find_if(groups.begin(), groups.end(),
                           [&](const auto& g) { return g.first == caption; });
    if (it == groups.end()) it = groups.insert(groups.end(), {caption, {}});
    it->second.push_back(id);
  }
  groups.erase(
      std::remove_if(groups.begin(), groups.end(), [](const auto& g) { return g.second.empty(); }),
      groups.end());
  return groups;
}

std::string RunText(const archive::RunRow& run) {
  return "run " + std::to_string(run.id) + ", started " + FromUtf8(run.startedLocal) +
         (run.stopped ? ", stopped " : ", last heard ") + LocalText(run.heartbeatUtcMs);
}

int ShowPanel(archive::ArchiveReader& reader, const HistoryOptions& o, std::FILE* out,
              std::string* error) {
  const std::vector<int> ids(std::begin(kValueDisplayIds), std::end(kValueDisplayIds));
  archive::Panel panel;
  if (!reader.PanelAt(o.panelUtcMs, ids, &panel, error)) return kUnreadable;
  const std::string when = LocalText(o.panelUtcMs);
  if (!panel.haveRun) {
    *error = "the archive holds nothing at or before " + when;
    return kNothing;
  }
  if (!panel.running) {
    *error = "the monitor was not running at " + when + " (" + RunText(panel.run) + ")";
    return kNothing;
  }
  std::map<int, const archive::PanelDisplay*> byId;
  for (const archive::PanelDisplay& d : panel.displays) byId[d.displayId] = &d;
  if (o.csv) {
    Put(out, Join({"display", "group", "shows", "text", "text_colour", "background", "since",
                   "result"}));
  } else {
    Put(out, "Panel at " + when + " (" + RunText(panel.run) + ")\n");
  }
  for (const auto& [caption, displays] : DisplaysByGroup()) {
    if (!o.csv) Put(out, "\n" + Group(caption) + "\n");
    for (int id : displays) {
      const archive::PanelDisplay& d = *byId.at(id);
      const std::string since = d.written ? LocalText(d.utcMs) : "";
      const std::string result = d.resultId > 0 ? std::to_string(d.resultId) : "";
      if (o.csv) {
        Put(out, Join({std::to_string(id), Group(caption), Shows(id), FromGbk(d.text),
                       ColourName(d.textColor), ColourName(d.background), since, result}));
      } else {
        Put(out, Right(std::to_string(id), 6) + "  " + PadRight(Shows(id), 22) + "  " +
                     PadRight(ColoursText(d.textColor, d.background), 16) + "  " +
                     PadRight(FromGbk(d.text), 12) +
                     (result.empty() ? "" : "  (result " + result + ")") + "\n");
      }
    }
  }
  return kDone;
}

int ListRuns(archive::ArchiveReader& reader, const HistoryOptions& o, std::FILE* out,
             std::string* error) {
  std::int64_t from = o.filter.fromUtcMs, to = o.filter.toUtcMs;
  if (!o.filter.day.empty()) {
    archive::ParseLocalTime(o.filter.day, &from);
    archive::ParseLocalTime(o.filter.day, &to);
    to += 24LL * 3600 * 1000;  // (a day of a clock change is an hour off: runs overlap anyway)
  }
  if (o.csv) {
    Put(out,
        Join({"run", "started_local", "last_heard_local", "stopped", "how", "process", "version"}));
  } else {
    Put(out, Right("RUN", 6) + "  " + PadRight("STARTED (local)", 23) + "  " +
                 PadRight("LAST HEARD / STOPPED", 23) + "  " + PadRight("HOW", 12) + "  PROCESS\n");
  }
  const bool ok = reader.Runs(
      from, to,
      [&](const archive::RunRow& r) {
        const std::string how =
            r.stopped ? (r.stopHow.empty() ? "stopped" : FromUtf8(r.stopHow)) : "no stop row";
        if (o.csv) {
          Put(out, Join({std::to_string(r.id), FromUtf8(r.startedLocal),
                         LocalText(r.heartbeatUtcMs), r.stopped ? "yes" : "no", how,
                         std::to_string(r.processId), FromUtf8(r.version)}));
        } else {
          Put(out, Right(std::to_string(r.id), 6) + "  " + PadRight(FromUtf8(r.startedLocal), 23) +
                       "  " + PadRight(LocalText(r.heartbeatUtcMs), 23) + "  " + PadRight(how, 12) +
                       "  " + std::to_string(r.processId) + "\n");
        }
        return true;
      },
      error);
  return ok ? kDone : kUnreadable;
}

}  // namespace

int RunReport(const std::shared_ptr<archive::ArchiveReader>& reader, const HistoryOptions& options,
              const reports::VehicleRule& rule, std::FILE* out, std::string* error) {
  switch (options.command) {
    case Command::kShow:
      return ShowResult(*reader, options, out, error);
    case Command::kPanel:
      return ShowPanel(*reader, options, out, error);
    case Command::kRuns:
      return ListRuns(*reader, options, out, error);
    case Command::kReport:
      return PrintReport(reader, options, rule, out, error);
    default:
      return ListResults(reader, options, rule, out, error);
  }
}

}  // namespace history
