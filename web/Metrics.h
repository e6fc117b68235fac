// Metrics - /metrics in the Prometheus text format (version 0.0.4): results
// shown per device group and when each group last showed one, whether the
// monitor runs and how old its heartbeat is, the archive's size, and the
// live pages connected.
#ifndef BRENNA_WEB_METRICS_H
#define BRENNA_WEB_METRICS_H

#include <cstdint>
#include <string>

#include "web/LiveFeed.h"

namespace web {

// The archive file with its WAL, in bytes (0 when there is none).
std::uint64_t ArchiveBytes(const std::string& archivePath);

std::string MetricsText(const FeedState& state, std::int64_t nowUtcMs, std::uint64_t archiveBytes,
                        int liveClients);

}  // namespace web

#endif  // BRENNA_WEB_METRICS_H
