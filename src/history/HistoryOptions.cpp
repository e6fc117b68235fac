#include "history/HistoryOptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveTime.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "platform/Gbk.h"
#include "reports/DayReport.h"
#include "reports/ShownValues.h"

namespace history {

namespace {

constexpr std::int64_t kMsPerDay = 24LL * 3600 * 1000;

bool ParseCount(const std::string& text, std::int64_t max, std::int64_t* value) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  *value = std::strtoll(text.c_str(), nullptr, 10);
  return *value >= 1 && *value <= max;
}

// "today", "yesterday" or a date, as "YYYY-MM-DD".
bool ParseDay(const std::string& text, std::int64_t nowUtcMs, std::string* day) {
  if (text == "today" || text == "yesterday") {
    *day = archive::ToLocal(nowUtcMs - (text == "yesterday" ? kMsPerDay : 0)).day;
    return true;
  }
  if (!archive::IsDay(text)) return false;
  *day = text;
  return true;
}

// A group by its caption or by a device code of it.
bool ParseGroup(const std::string& text, archive::ResultFilter* f, std::string* known) {
  std::int64_t code = 0;
  for (const DeviceOperator& d : kDeviceOperators) {
    const std::string caption(GroupCaptionOf(d.displayId));
    *known += (known->empty() ? "" : ", ") + caption + " (" + std::to_string(d.deviceCode) + ")";
    if (text == caption) {
      f->group = caption;
      return true;
    }
  }
  if (ParseCount(text, 1000000, &code)) {
    f->deviceCode = static_cast<int>(code);
    return true;
  }
  return false;
}

bool ParseGbk(const std::string& utf8, std::string* gbk) { return Utf8ToGbkExact(utf8, gbk); }

// A result id as given: digits only. One beyond what an id can be is no
// mistake of form but an id the archive does not hold (-1).
bool ParseResultId(const std::string& text, std::int64_t* id) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const std::size_t first = std::min(text.find_first_not_of('0'), text.size());
  if (text.size() - first > 18) {
    *id = -1;
    return true;
  }
  *id = std::strtoll(text.c_str() + first, nullptr, 10);
  return true;
}

// "DAY" or "DAY..DAY": a day's report, or one of the days from one to the
// other.
bool ParseReportDays(const std::string& v, std::int64_t nowUtcMs, HistoryOptions* o,
                     std::string* error) {
  const std::size_t dots = v.find("..");
  const std::string from = v.substr(0, dots);
  const std::string to = dots == std::string::npos ? from : v.substr(dots + 2);
  if (!ParseDay(from, nowUtcMs, &o->reportFrom) || !ParseDay(to, nowUtcMs, &o->reportTo)) {
    *error = "--report '" + v +
             "' is no day or range of days: give DAY or DAY..DAY, each YYYY-MM-DD, today or "
             "yesterday";
    return false;
  }
  int days = 0;
  std::string why;
  if (!reports::CheckReportRange(o->reportFrom, o->reportTo, &days, &why)) {
    *error = "--report '" + v + "' takes no such range: " + why;
    return false;
  }
  return true;
}

const char* CommandName(Command c) {
  switch (c) {
    case Command::kShow:
      return "--show";
    case Command::kPanel:
      return "--panel";
    case Command::kRuns:
      return "--runs";
    case Command::kReport:
      return "--report";
    default:
      return "";
  }
}

// One command a run: a second one is refused rather than one of them
// silently dropped.
bool TakeCommand(Command c, HistoryOptions* o, std::string* error) {
  if (o->command != Command::kList && o->command != c) {
    *error = std::string(CommandName(o->command)) + " and " + CommandName(c) +
             " cannot be given together: one command a run";
    return false;
  }
  o->command = c;
  return true;
}

// What the options have chosen so far, beyond HistoryOptions itself.
struct Selection {
  bool spanGiven = false;  // --day, --from or --to
  bool selected = false;   // a filter other than the time
  std::int64_t from = 0;
  std::int64_t to = 0;
  std::int64_t toSpan = 1;           // how much of the moment --to names is kept
  std::vector<std::string> given;    // the options with a value, as given
  std::vector<std::string> filters;  // of those, the filters
};

bool IsTimeFilter(const std::string& a) { return a == "--day" || a == "--from" || a == "--to"; }

bool IsFilter(const std::string& a) {
  static const char* const kFilters[] = {"--group",   "--operator", "--transfer", "--vehicle",
                                         "--verdict", "--since",    "--limit"};
  bool filter = IsTimeFilter(a);
  for (const char* name : kFilters) filter = filter || a == name;
  return filter;
}

// An option given once more would silently take the place of the first.
bool NoteGiven(const std::string& a, Selection* s, std::string* error) {
  if (std::find(s->given.begin(), s->given.end(), a) != s->given.end()) {
    *error = a + " is given twice: give it once";
    return false;
  }
  s->given.push_back(a);
  if (IsFilter(a)) s->filters.push_back(a);
  return true;
}

// A command takes only the filters it uses: one it would pass over is
// refused rather than silently ignored.
bool CommandTakesFilters(const Selection& s, const HistoryOptions& o, std::string* error) {
  if (o.command == Command::kList) return true;
  for (const std::string& f : s.filters) {
    if (o.command == Command::kRuns && IsTimeFilter(f)) continue;
    *error = std::string(CommandName(o.command)) + " takes no " + f +
             (o.command == Command::kRuns ? ": the runs are chosen by --day, --from and --to"
                                          : ": it chooses what it shows by itself");
    return false;
  }
  return true;
}

bool TakesValue(const std::string& a) {
  static const char* const kWithValue[] = {"--archive", "--config",  "--day",      "--from",
                                           "--to",      "--group",   "--operator", "--transfer",
                                           "--vehicle", "--since",   "--limit",    "--show",
                                           "--panel",   "--verdict", "--report",   "--rows"};
  bool known = false;
  for (const char* name : kWithValue) known = known || a == name;
  return known;
}

// --day, --from and --to.
bool ApplySpan(const std::string& a, const std::string& v, std::int64_t nowUtcMs, HistoryOptions* o,
               Selection* s, std::string* error) {
  if (a == "--day") {
    if (!ParseDay(v, nowUtcMs, &o->filter.day)) {
      *error = "--day '" + v + "' is no day: give YYYY-MM-DD, today or yesterday";
      return false;
    }
  } else {
    if (!archive::ParseLocalTime(v, a == "--from" ? &s->from : &s->to)) {
      *error = a + " '" + v + "' is no time: give YYYY-MM-DD hh:mm[:ss] (local time)";
      return false;
    }
    // --to names the last moment wanted, to the precision given: the
    // whole day, minute or second it names is kept.
    if (a == "--to")
      s->toSpan = v.size() == 10 ? kMsPerDay : v.size() == 16 ? 60000 : v.size() == 19 ? 1000 : 1;
  }
  s->spanGiven = true;
  return true;
}

// An option that takes a value, with its value v.
bool ApplyValue(const std::string& a, const std::string& v, std::int64_t nowUtcMs,
                HistoryOptions* o, Selection* s, std::string* error) {
  std::int64_t n = 0;
  if (a == "--archive" || a == "--config") {
    (a == "--archive" ? o->archivePath : o->configPath) = v;
  } else if (a == "--rows") {
    if (v != "result" && v != "value") {
      *error = "--rows '" + v + "' is no kind of row: give result or value";
      return false;
    }
    o->rowPerResult = v == "result";
  } else if (a == "--day" || a == "--from" || a == "--to") {
    return ApplySpan(a, v, nowUtcMs, o, s, error);
  } else if (a == "--group") {
    std::string groups;
    if (!ParseGroup(v, &o->filter, &groups)) {
      *error = "--group '" + v + "' is no device group; one of " + groups;
      return false;
    }
    s->selected = true;
  } else if (a == "--operator" || a == "--transfer" || a == "--vehicle") {
    std::string* gbk = a == "--operator"   ? &o->filter.operatorText
                       : a == "--transfer" ? &o->filter.transferPart
                                           : &o->filter.vehicle;
    if (!ParseGbk(v, gbk) || gbk->empty()) {
      *error = a + " must be UTF-8 text that GBK can hold";
      return false;
    }
    if (a == "--operator") o->filter.byOperator = true;
    if (a == "--vehicle") o->vehicleText = v;
    s->selected = true;
  } else if (a == "--since") {
    if (!ParseResultId(v, &n)) {
      *error = "--since '" + v + "' is no result id";
      return false;
    }
    // Beyond what an id can be: no mistake of form, but nothing can follow.
    o->sinceBeyond = n < 0;
    o->sinceText = v;
    o->filter.afterId = n < 0 ? 0 : n;
    s->selected = true;
  } else if (a == "--limit") {
    if (!ParseCount(v, kMaxLimit, &o->filter.limit)) {
      *error = "--limit '" + v + "' must be a number from 1 to " + std::to_string(kMaxLimit);
      return false;
    }
  } else if (a == "--show") {
    if (!ParseResultId(v, &o->showId)) {
      *error = "--show '" + v + "' is no result id";
      return false;
    }
    o->showText = v;
    return TakeCommand(Command::kShow, o, error);
  } else if (a == "--verdict") {
    Verdict verdict;
    if (!reports::ParseVerdictFilter(v, &verdict)) {
      *error = "--verdict '" + v + "' is no verdict to list by: give veto or advisory";
      return false;
    }
    reports::ApplyVerdictFilter(verdict, &o->filter);
  } else if (a == "--report") {
    if (!ParseReportDays(v, nowUtcMs, o, error)) return false;
    return TakeCommand(Command::kReport, o, error);
  } else if (a == "--panel") {
    if (v == "now") {
      o->panelUtcMs = nowUtcMs;
    } else if (!archive::ParseLocalTime(v, &o->panelUtcMs)) {
      *error = "--panel '" + v + "' is no time: give YYYY-MM-DD hh:mm[:ss[.mmm]] or now";
      return false;
    }
    return TakeCommand(Command::kPanel, o, error);
  }
  return true;
}

// The time span, once every option is read.
bool SettleSelection(const Selection& s, std::int64_t nowUtcMs, HistoryOptions* o,
                     std::string* error) {
  if (!CommandTakesFilters(s, *o, error)) return false;
  if (std::find(s.given.begin(), s.given.end(), "--rows") != s.given.end() &&
      (!o->csv || o->command != Command::kList)) {
    *error = "--rows is for the list of results as CSV (--csv)";
    return false;
  }
  // --to names a last moment to the precision given: a --from within the
  // minute or day it names is no later than it.
  const bool toGiven = s.to != std::numeric_limits<std::int64_t>::max();
  if (toGiven && s.from >= s.to + s.toSpan) {
    *error = "--from is after --to";
    return false;
  }
  o->filter.fromUtcMs = s.from;
  if (toGiven) o->filter.toUtcMs = s.to + s.toSpan;
  // Nothing asked for: today's results (or runs).
  if (!s.spanGiven && (!s.selected || o->command == Command::kRuns))
    o->filter.day = archive::ToLocal(nowUtcMs).day;
  return true;
}

}  // namespace

bool ParseHistoryOptions(const std::vector<std::string>& args, std::int64_t nowUtcMs,
                         HistoryOptions* o, std::string* error) {
  *o = HistoryOptions();
  Selection s;
  s.from = o->filter.fromUtcMs;
  s.to = o->filter.toUtcMs;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > kMaxArgument) {
      *error = "an argument of " + std::to_string(a.size()) + " bytes is too long";
      return false;
    }
    if (a == "-h" || a == "--help") {
      o->command = Command::kHelp;
      return true;
    }
    if (a == "--csv") {
      o->csv = true;
      continue;
    }
    if (a == "--runs") {
      if (!TakeCommand(Command::kRuns, o, error)) return false;
      continue;
    }
    if (!TakesValue(a)) {
      *error = "unknown argument '" + a + "'";
      return false;
    }
    if (i + 1 >= args.size()) {
      *error = a + " needs a value";
      return false;
    }
    const std::string& v = args[++i];
    if (v.size() > kMaxArgument) {
      *error = "the value of " + a + " is too long";
      return false;
    }
    if (!NoteGiven(a, &s, error) || !ApplyValue(a, v, nowUtcMs, o, &s, error)) return false;
  }
  return SettleSelection(s, nowUtcMs, o, error);
}

const char* HistoryUsage() {
  return "Usage: brenna-history [OPTIONS]\n"
         "What the BrennaCenter monitor showed, from its archive.\n"
         "\n"
         "  (no command)          list results: today's, or those the filters select\n"
         "  --show ID             one result: its items as sent and every display write\n"
         "  --panel TIME|now      the panel as it stood at that moment, display by display\n"
         "  --runs                when the monitor ran (today's, or those of --day/--from/--to)\n"
         "  --report DAY[..DAY]   the report of a day or of days: per group, operator and value\n"
         "\n"
         "Filters of the list (all that are given must hold; each option once):\n"
         "  --day DAY             shown on that local day: YYYY-MM-DD, today, yesterday\n"
         "  --from TIME --to TIME shown from / up to (local) YYYY-MM-DD hh:mm[:ss]\n"
         "  --group GROUP         a device group: its caption (制动设备) or a device code (25)\n"
         "  --operator TEXT       the operator number exactly as shown\n"
         "  --transfer PART       transfer names holding this text\n"
         "  --vehicle KEY         every result of a vehicle, any day (docs/archive.md, Vehicles)\n"
         "  --verdict VERDICT     only results with a value shown as veto or advisory\n"
         "  --since ID            only results after result ID\n"
         "  --limit N             at most N results\n"
         "\n"
         "  --csv                 for a spreadsheet: the list one row per value shown (--rows\n"
         "                        result: one per result), the report one row per group\n"
         "  --archive FILE        another archive than " BRENNA_DEFAULT_ARCHIVE_TEXT
         "\n"
         "  --config FILE         the settings that say how a transfer name names its vehicle\n"
         "                        (default: brenna-web.ini, [Vehicle] KeyPattern)\n"
         "  -h, --help            this text\n"
         "\n"
         "Exit status: 0 done, 1 the archive cannot be read or the output not written,\n"
         "2 bad arguments, 3 nothing to show.\n";
}

}  // namespace history
