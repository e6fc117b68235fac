// ShipMark - brenna-ship's one write into the archive: how far it has
// shipped the archive to the company database (every result up to that id
// is there). The monitor's trim reads it and keeps what lies beyond while
// the disk has room (ArchiveStore::EnforceLimits); without a mark the trim
// is the archive's own limits alone. Each write is one short transaction:
// the monitor's writer waits out a lock held that briefly.
#ifndef BRENNA_ARCHIVE_SHIPMARK_H
#define BRENNA_ARCHIVE_SHIPMARK_H

#include <cstdint>
#include <string>

#include "archive/Sqlite.h"

namespace archive {

class ShipMark {
 public:
  ShipMark() = default;
  ShipMark(const ShipMark&) = delete;
  ShipMark& operator=(const ShipMark&) = delete;

  // Opens the archive at `path` (through a link too) for the mark; never
  // makes one. False with the reason: no file, not an archive, one of a
  // newer schema, or one that has no identity yet (a monitor older than
  // this build wrote it last).
  bool Open(const std::string& path, std::string* error);
  void Close() { db_.Close(); }

  // The archive's identity: 32 hexadecimal digits given once with the file.
  const std::string& Identity() const { return identity_; }
  // The mark; -1 when there is none.
  std::int64_t Through();
  // Sets the mark to `throughId` at `utcMs`. False with the reason.
  bool Write(std::int64_t throughId, std::int64_t utcMs, std::string* error);
  // Removes the mark: the archive is shipped no more, and its trim is its
  // own limits' alone again.
  bool Clear(std::string* error);

  // The highest result id the file ever gave (0: none); a copy restored
  // from a backup has given fewer than the archive it was copied from.
  std::int64_t HighestResultId();
  // Gives the file a new identity: a copy restored from a backup goes on
  // giving ids the archive it was copied from gave already, to other
  // results. False with the reason.
  bool Renew(std::string* error);

 private:
  bool Failed(int rc, std::string* error);

  sql::Db db_;
  std::string identity_;
};

}  // namespace archive

#endif  // BRENNA_ARCHIVE_SHIPMARK_H
