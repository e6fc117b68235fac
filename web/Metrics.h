// Metrics - /metrics in the Prometheus text format (version 0.0.4): results
// shown per device group and when each group last showed one; today's
// results, vetoes, advisories and retests per group, read from the archive
// (so a restart of brenna-web keeps them); whether the monitor runs and how
// old its heartbeat is, the archive's size, and the live pages connected.
#ifndef BRENNA_WEB_METRICS_H
#define BRENNA_WEB_METRICS_H

#include <cstdint>
#include <string>

#include "reports/DayReport.h"
#include "web/LiveFeed.h"

namespace web {

// The archive file with its WAL, in bytes (0 when there is none).
std::uint64_t ArchiveBytes(const std::string& archivePath);

// `today`: the day's report so far; null when the archive cannot be read
// (today's figures are then left out).
std::string MetricsText(const FeedState& state, std::int64_t nowUtcMs, std::uint64_t archiveBytes,
                        int liveClients, const reports::DayReport* today);

}  // namespace web

#endif  // BRENNA_WEB_METRICS_H
