#include "acquisition/SpoolSweep.h"

#include <cstdio>
#include <vector>

#include "PallixWire.h"
#include "acquisition/ChunkWriter.h"
#include "acquisition/SpoolIo.h"
#include "acquisition/SpoolNames.h"
#include "acquisition/TransferLedger.h"
#include "journal/Journal.h"
#include "platform/FileOps.h"
#include "platform/JournalIo.h"

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool StartsWith(const std::string& s, const std::string& head) {
  return s.compare(0, head.size(), head) == 0;
}

// Whether a spool file name is one the sweep looks at.
bool IsLeftoverName(const std::string& name) {
  // Never a name ending in ".DOING": a result waiting to be shown.
  static const std::string publishing = std::string(kResultFileSuffix) + kPartFileSuffix;
  static const std::string uncompressing = std::string(kUncompressedName) + ".";
  return EndsWith(name, kChunkFileSuffix) || EndsWith(name, publishing) ||
         name == kUncompressedName ||
         (StartsWith(name, uncompressing) && EndsWith(name, kPartFileSuffix));  // its temporary
}

}  // namespace

int SweepSpool(SpoolIo& io, const std::string& spoolDir) {
  int removed = 0;
  int transfers = 0;  // chunk files: transfers that never completed or never decompressed
  std::string named;  // the first few of them and their stations, for the journal
  // Regular files only: what else sits under a spool name is not ours.
  std::vector<std::string> names;
  if (!ListFileNames(spoolDir, &names)) return 0;
  for (const std::string& name : names) {
    if (!IsLeftoverName(name)) continue;
    const std::string path = JoinPath(spoolDir, name);
    SpoolIo::FileInfo info;
    if (io.Inspect(path, &info) != SpoolIo::Result::kOk) continue;
    const bool chunkFile = EndsWith(name, kChunkFileSuffix);
    const std::string transfer =
        chunkFile ? name.substr(0, name.size() - std::string(kChunkFileSuffix).size()) : "";
    if (!(chunkFile ? IsAbandonedTransfer(transfer, info.age) : IsAbandonedAge(info.age))) continue;
    if (!io.Remove(path)) continue;
    ++removed;
    if (!chunkFile) continue;
    const TransferLedger::Entry e = TransferLedger::Spool().Take(transfer);
    if (++transfers > 5) continue;
    named += (named.empty() ? "'" : ", '") + journal::JournalName(transfer) + "'";
    named += e.chunks > 0 ? " from " + PeerText(e.last) : " (from before this run)";
  }
  // One line per sweep, and only when it removed something. Transfers
  // dropped are results that never arrived whole: a warning.
  if (removed > 0) {
    if (transfers > 5) named += ", ...";
    char text[journal::kMaxText];
    std::snprintf(text, sizeof text,
                  "spool swept: %d file%s nobody had written to for 10 minutes removed: %d "
                  "abandoned transfer%s%s%s, %d left by an interrupted publication",
                  removed, removed == 1 ? "" : "s", transfers, transfers == 1 ? "" : "s",
                  transfers > 0 ? " " : "", named.c_str(), removed - transfers);
    if (transfers > 0)
      BRENNA_EVENT(kWarning, kSpool, kChunkFilesRemoved, nullptr, "abandoned", "%s", text);
    else
      BRENNA_EVENT(kInfo, kSpool, kChunkFilesRemoved, nullptr, "abandoned", "%s", text);
  }
  return removed;
}

int WatchTransfers(TransferLedger& ledger,
                   const std::function<PeerState(const FramePeer&)>& connection) {
  int ended = 0;
  const auto now = TransferLedger::Clock::now();
  const auto wallNow = std::chrono::system_clock::now();
  ledger.ForEach([&](const std::string& name, TransferLedger::Entry& e) {
    if (e.stationGone || e.last.address.empty()) return;
    const PeerState state = connection(e.last);
    e.stationThere = state == PeerState::kConnected;
    if (state != PeerState::kGone) return;
    e.stationGone = true;
    // Every chunk came, but it does not decompress: said when it was
    // complete.
    if (AllChunksSeen(e.slots, e.total)) return;
    ++ended;
    // Given up once no chunk has come for kAbandonedAfter; the sweep after
    // that (within kSweepPeriod) removes its chunk file.
    const auto left = std::chrono::duration_cast<std::chrono::system_clock::duration>(
        e.lastSeen + kAbandonedAfter - now);
    const std::string when = journal_io::LocalTimestamp(wallNow + left).substr(11, 8);
    const int total = e.total > 0 ? (e.total + FILE_CHUNK_DATA_SIZE - 1) / FILE_CHUNK_DATA_SIZE : 0;
    const journal::EventName named(name);  // a folded line keeps the names
    BRENNA_EVENT(kWarning, kSpool, kTransferIncomplete, e.last.address.c_str(), "connection ended",
                 "transfer '%s' from %s incomplete: its connection ended with %d of %d chunk%s "
                 "received; the rest must come by %s (10 minutes after its last chunk), else it is "
                 "given up and the station must send it again",
                 journal::JournalName(name).c_str(), PeerText(e.last).c_str(),
                 ChunksSeen(e.slots, e.total), total, total == 1 ? "" : "s", when.c_str());
  });
  return ended;
}
