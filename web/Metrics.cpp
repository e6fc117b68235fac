#include "web/Metrics.h"

#include <cstdio>

#include "platform/FileOps.h"

namespace web {

namespace {

// A label value: backslash, quote and line feed escaped.
std::string Label(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"')
      out += std::string("\\") + c;
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string Seconds(std::int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(ms) / 1000.0);
  return text;
}

std::string Family(const char* name, const char* type, const char* help) {
  return std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

// Today's figures of each group, all seven even before their first result.
std::string TodayText(const reports::DayReport& today) {
  const struct {
    const char* name;
    const char* help;
    std::int64_t reports::ReportCounts::*count;
  } kFamilies[] = {
      {"brenna_today_results_total",
       "Results shown today (local day) per device group, read from the archive: a restart of "
       "brenna-web keeps the count; it starts from 0 at midnight.",
       &reports::ReportCounts::results},
      {"brenna_today_vetoed_results_total",
       "Results shown today with at least one value shown as a veto, per device group.",
       &reports::ReportCounts::vetoed},
      {"brenna_today_advisory_results_total",
       "Results shown today with at least one value shown as an advisory, per device group.",
       &reports::ReportCounts::advisory},
      {"brenna_today_retests_total",
       "Results shown today that retest a vehicle (its transfer name's vehicle tested at the "
       "same group earlier that day), per device group.",
       &reports::ReportCounts::retests},
  };
  std::string out;
  for (const auto& family : kFamilies) {
    out += Family(family.name, "counter", family.help);
    for (const reports::GroupLine& g : today.groups)
      out += std::string(family.name) + "{group=\"" + Label(g.group) + "\"} " +
             std::to_string(g.counts.*family.count) + "\n";
  }
  return out;
}

}  // namespace

std::uint64_t ArchiveBytes(const std::string& archivePath) {
  std::uint64_t total = 0;
  for (const std::string& path : {archivePath, archivePath + "-wal"}) {
    std::string resolved;
    RegularFileInfo file;
    if (ResolveFile(path, &resolved) == FileFault::kNone &&
        InspectFile(resolved, &file) == FileFault::kNone)
      total += static_cast<std::uint64_t>(file.size);
  }
  return total;
}

std::string MetricsText(const FeedState& state, std::int64_t nowUtcMs, std::uint64_t archiveBytes,
                        int liveClients, const reports::DayReport* today) {
  std::string out = Family("brenna_results_shown_total", "counter",
                           "Results the monitor showed, per device group: those the archive held "
                           "when brenna-web started, and every one since.");
  for (const auto& [group, count] : state.groups)
    out += "brenna_results_shown_total{group=\"" + Label(group) + "\"} " +
           std::to_string(count.results) + "\n";
  out += Family("brenna_last_shown_timestamp_seconds", "gauge",
                "When the device group last showed a result (Unix time); groups that never did "
                "are left out.");
  for (const auto& [group, count] : state.groups)
    if (count.lastShownUtcMs > 0)
      out += "brenna_last_shown_timestamp_seconds{group=\"" + Label(group) + "\"} " +
             Seconds(count.lastShownUtcMs) + "\n";
  if (today != nullptr) out += TodayText(*today);
  out += Family("brenna_monitor_running", "gauge",
                "1 while the monitor runs: its last run has not stopped and its heartbeat is at "
                "most 5 s old.");
  out += "brenna_monitor_running " + std::string(state.monitor.Running() ? "1" : "0") + "\n";
  if (state.heartbeatUtcMs > 0) {
    out += Family("brenna_monitor_heartbeat_age_seconds", "gauge",
                  "Seconds since the monitor was last heard of (its heartbeat, or its stop).");
    out +=
        "brenna_monitor_heartbeat_age_seconds " + Seconds(nowUtcMs - state.heartbeatUtcMs) + "\n";
  }
  out += Family("brenna_archive_readable", "gauge", "1 when brenna-web can read the archive.");
  out += "brenna_archive_readable " + std::string(state.archiveOpen ? "1" : "0") + "\n";
  out += Family("brenna_archive_size_bytes", "gauge", "The archive file with its WAL, in bytes.");
  out += "brenna_archive_size_bytes " + std::to_string(archiveBytes) + "\n";
  out += Family("brenna_web_live_clients", "gauge", "Pages following the live panel now.");
  out += "brenna_web_live_clients " + std::to_string(liveClients) + "\n";
  return out;
}

}  // namespace web
