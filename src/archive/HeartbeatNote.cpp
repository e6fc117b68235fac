#include "archive/HeartbeatNote.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "platform/FileOps.h"
#include "platform/PrivateFileIo.h"

namespace archive {

std::string HeartbeatNotePath(const std::string& archivePath) {
  return archivePath + kHeartbeatNoteSuffix;
}

bool WriteHeartbeatNote(const std::string& archivePath, const HeartbeatNote& note,
                        std::string* error) {
  char line[kHeartbeatNoteMaxBytes];
  std::snprintf(line, sizeof line, "%" PRId64 " %" PRId64 " %ld %" PRId64 "\n", note.runId,
                note.startedUtcMs, note.processId, note.heartbeatUtcMs);
  return private_file_io::ReplacePrivate(HeartbeatNotePath(archivePath), line, error);
}

void RemoveHeartbeatNote(const std::string& archivePath) {
  RemoveRegularFile(HeartbeatNotePath(archivePath));
}

std::int64_t LatestHeartbeat(const std::string& archivePath, std::int64_t runId,
                             std::int64_t startedUtcMs, long processId,
                             std::int64_t rowHeartbeatUtcMs) {
  std::string text, why;
  if (archivePath.empty() ||
      private_file_io::ReadPrivate(HeartbeatNotePath(archivePath), kHeartbeatNoteMaxBytes, &text,
                                   &why) != private_file_io::Read::kOk)
    return rowHeartbeatUtcMs;
  HeartbeatNote note;
  char end = 0;
  if (std::sscanf(text.c_str(), "%" SCNd64 " %" SCNd64 " %ld %" SCNd64 "%c", &note.runId,
                  &note.startedUtcMs, &note.processId, &note.heartbeatUtcMs, &end) != 5 ||
      end != '\n')
    return rowHeartbeatUtcMs;
  if (note.runId != runId || note.startedUtcMs != startedUtcMs || note.processId != processId)
    return rowHeartbeatUtcMs;
  return std::max(rowHeartbeatUtcMs, note.heartbeatUtcMs);
}

}  // namespace archive
