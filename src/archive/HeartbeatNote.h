// HeartbeatNote - the monitor's heartbeat beside its archive, for the time
// another program holds the archive locked: the run's row cannot take a
// heartbeat then, and a reader (brenna-web, brenna-history) would take a
// monitor that shows every result for silent. Shared by the writer, which
// writes the note each heartbeat while the archive is held and removes it
// once the row takes heartbeats again, and the readers, which take the
// later of the row's heartbeat and the note's.
//
// "<archive>.heartbeat", its owner's alone, one line of four decimal
// numbers: the run's id, its start and the process (which tell the run's
// row; a note of another run is no heartbeat of this one), and the
// heartbeat, UTC milliseconds: "12 1796732400000 4711 1796732461000\n".
#ifndef BRENNA_ARCHIVE_HEARTBEATNOTE_H
#define BRENNA_ARCHIVE_HEARTBEATNOTE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace archive {

inline constexpr char kHeartbeatNoteSuffix[] = ".heartbeat";
// A note is one short line; anything longer is none.
inline constexpr std::size_t kHeartbeatNoteMaxBytes = 128;

struct HeartbeatNote {
  std::int64_t runId = 0;
  std::int64_t startedUtcMs = 0;
  long processId = 0;
  std::int64_t heartbeatUtcMs = 0;
};

std::string HeartbeatNotePath(const std::string& archivePath);
// Replaces the note beside the archive in one step; false with the reason.
bool WriteHeartbeatNote(const std::string& archivePath, const HeartbeatNote& note,
                        std::string* error);
void RemoveHeartbeatNote(const std::string& archivePath);
// The heartbeat of the run `runId` (started at `startedUtcMs` by process
// `processId`) that its row says, `rowHeartbeatUtcMs`, or the note's when
// the note is of that run and later.
std::int64_t LatestHeartbeat(const std::string& archivePath, std::int64_t runId,
                             std::int64_t startedUtcMs, long processId,
                             std::int64_t rowHeartbeatUtcMs);

}  // namespace archive

#endif  // BRENNA_ARCHIVE_HEARTBEATNOTE_H
