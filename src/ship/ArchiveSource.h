// ArchiveSource - the line's archive as brenna-ship reads it: opened as
// brenna-history opens it (read-only; the monitor's writer never waits for
// it), its identity, the results after an id with their items, the
// monitor's runs, whether anything was committed since the last look
// (PRAGMA data_version, as brenna-web follows the archive), and whether the
// file at the path is still the one opened (an archive replaced or begun
// anew is another one). Its one write is the mark of what is shipped
// (archive/ShipMark.h).
#ifndef BRENNA_SHIP_ARCHIVESOURCE_H
#define BRENNA_SHIP_ARCHIVESOURCE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "archive/ShipMark.h"
#include "platform/FileOps.h"
#include "reports/ResultBatches.h"

namespace ship {

class ArchiveSource {
 public:
  explicit ArchiveSource(std::string path) : path_(std::move(path)) {}
  ArchiveSource(const ArchiveSource&) = delete;
  ArchiveSource& operator=(const ArchiveSource&) = delete;

  // Opens the archive at the path; false with why (none there yet, not an
  // archive, one a monitor of this version has not yet given an identity).
  bool Open(std::string* error);
  void Close();
  bool IsOpen() const { return reader_ != nullptr; }
  const std::string& Path() const { return path_; }
  const std::string& Identity() const { return mark_.Identity(); }

  // The file at the path is no longer the one open: deleted, moved aside
  // or replaced (the monitor begins a new archive there).
  bool Replaced() const;
  // Whether the monitor (or anyone) committed since the last call.
  bool Changed();

  // Up to `limit` results after id `afterId`, oldest first, with their
  // items. False with why.
  bool ReadAfter(std::int64_t afterId, int limit, std::vector<reports::ResultWithItems>* out,
                 std::string* error);
  // The runs from id `fromId` on, oldest first.
  bool RunsFrom(std::int64_t fromId, std::vector<archive::RunRow>* out, std::string* error);

  // Records that every result up to `throughId` is shipped.
  bool Mark(std::int64_t throughId, std::string* error);
  // Each result's id and when it was shown, oldest first, up to id
  // `throughId`.
  bool ShownTimes(std::int64_t throughId, std::vector<std::pair<std::int64_t, std::int64_t>>* out,
                  std::string* error);
  // The highest result id the file ever gave, and a new identity for a
  // copy restored from a backup (archive/ShipMark.h).
  std::int64_t HighestResultId() { return mark_.HighestResultId(); }
  bool Renew(std::string* error) { return mark_.Renew(error); }

 private:
  std::string path_;
  std::shared_ptr<archive::ArchiveReader> reader_;
  archive::ShipMark mark_;
  FileIdentity file_;
  std::int64_t dataVersion_ = -1;
};

}  // namespace ship

#endif  // BRENNA_SHIP_ARCHIVESOURCE_H
