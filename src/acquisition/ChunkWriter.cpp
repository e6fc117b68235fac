#include "acquisition/ChunkWriter.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "PallixByteOrder.h"
#include "PallixWire.h"
#include "acquisition/PublicationHook.h"
#include "acquisition/SpoolAccess.h"
#include "acquisition/SpoolIo.h"
#include "acquisition/SpoolNames.h"
#include "acquisition/TransferLedger.h"
#include "journal/Journal.h"
#include "platform/FileOps.h"

namespace {

// Paths are held to what a 260-byte buffer takes.
constexpr size_t kMaxPath = 259;

struct FileChunk {
  int total;
  int index;
  int count;
  std::string name;
  bool nameTerminated;
  const unsigned char* data;
};

FileChunk Decode(const unsigned char* record) {
  FileChunk c;
  c.total = PallixGetI16(record + FILE_CHUNK_TOTAL_OFFSET);
  c.index = PallixGetI16(record + FILE_CHUNK_INDEX_OFFSET);
  c.count = PallixGetI16(record + FILE_CHUNK_COUNT_OFFSET);
  const char* name = reinterpret_cast<const char*>(record + FILE_CHUNK_NAME_OFFSET);
  const void* nul = std::memchr(name, 0, FILE_CHUNK_NAME_SIZE);
  c.nameTerminated = nul != nullptr;
  c.name.assign(name, c.nameTerminated ? static_cast<const char*>(nul) - name : 0);
  c.data = record + FILE_CHUNK_DATA_OFFSET;
  return c;
}

// The journal's key of a station: its address, without the port.
const char* PeerKey(const FramePeer& peer) {
  return peer.address.empty() ? nullptr : peer.address.c_str();
}

bool SpoolInfoWanted() {
  return journal::Enabled(journal::Level::kInfo, journal::Category::kSpool);
}

int ChunkCount(int total) { return (total + FILE_CHUNK_DATA_SIZE - 1) / FILE_CHUNK_DATA_SIZE; }

// The writer's answer when the file layer says "not now": the chunk is
// kept by the caller and handed in again. 0 for any other result.
int NotNow(SpoolIo::Result r) {
  if (r == SpoolIo::Result::kNoDescriptors) return kChunkNoDescriptors;
  if (r == SpoolIo::Result::kNoRoom) return kChunkSpoolUnwritable;
  return 0;
}

// Who sent the transfer an older chunk file belonged to, for the line that
// says it is dropped.
std::string OlderSender(const TransferLedger::Entry* e) {
  if (e == nullptr) return "its chunks came before this run";
  return "its last chunk came from " + PeerText(e->last);
}

double SecondsSince(TransferLedger::Clock::time_point since,
                    TransferLedger::Clock::time_point now) {
  return std::chrono::duration<double>(now - since).count();
}

void SayPublished(const std::string& name, size_t bytes, int total, const TransferLedger::Entry& e,
                  const FramePeer& peer, TransferLedger::Clock::time_point now) {
  if (!journal::Enabled(journal::Level::kInfo, journal::Category::kSpool)) {
    BRENNA_EVENT(kInfo, kSpool, kTransferPublished, PeerKey(peer), nullptr, "published");
    return;
  }
  std::string origin = "sent by " + PeerText(peer);
  if (!e.firstSeen) {
    origin += " (its first chunks came before this run)";
  } else if (!SamePeer(e.first, peer)) {
    origin += ", its first chunk by " + PeerText(e.first);
  }
  const int chunks = ChunkCount(total);
  std::string detail;
  if (e.chunks > chunks) detail += ", " + std::to_string(e.chunks - chunks) + " sent again";
  if (e.firstSeen && chunks > 1) {
    char took[32];
    std::snprintf(took, sizeof took, ", in %.0f ms", 1000.0 * SecondsSince(e.started, now));
    detail += took;
  }
  BRENNA_EVENT(kInfo, kSpool, kTransferPublished, PeerKey(peer), nullptr,
               "result '%s' published: %zu bytes from %d chunk%s%s; %s",
               journal::JournalName(name).c_str(), bytes, chunks, chunks == 1 ? "" : "s",
               detail.c_str(), origin.c_str());
}

// One chunk on its way to the spool, and what every step of it needs.
struct ChunkJob {
  SpoolIo& io;
  const std::string& spoolDir;
  const FramePeer& peer;
  const char* key;  // the journal's key of the station
  FileChunk chunk;
  std::string chunkPath;  // "<spool>/<name>.compress"
  long slot = 0;          // where the chunk's data goes in that file
};

// A step's answer: the chunk's result when handling ends there, nothing
// when the next step follows.
using Outcome = std::optional<int>;

// The chunk file goes and the ledger forgets the transfer: the station must
// send it again from the start.
void DropTransfer(const ChunkJob& job) PALLIX_REQUIRES(theSpoolLock) {
  job.io.Remove(job.chunkPath);
  TransferLedger::Spool().Take(job.chunk.name);
}

int RefuseFrameLength(const FramePeer& peer, int length) {
  BRENNA_EVENT(kWarning, kSpool, kTransferRefused, PeerKey(peer), "bounds",
               "chunk from %s refused: its frame says %d bytes of data (0 to %d)",
               PeerText(peer).c_str(), length, FILE_CHUNK_SIZE);
  return kChunkOutOfRange;
}

// What a transfer's name must be here, for the journal (CanNameFile).
#if defined(_WIN32)
constexpr char kWindowsNameRule[] = "; GBK text without ':'";
#else
constexpr char kWindowsNameRule[] = "";
#endif

// The name first, then the total, then the chunk's place in the file.
Outcome RefuseBadHeader(const ChunkJob& job) {
  const FileChunk& chunk = job.chunk;
  if (chunk.name.empty()) {
    BRENNA_EVENT(kWarning, kSpool, kTransferRefused, job.key, "name",
                 "chunk from %s refused: it names no transfer (empty or unterminated name)",
                 PeerText(job.peer).c_str());
    return kChunkBadName;
  }
  if (!chunk.nameTerminated || !IsUsableTransferName(chunk.name)) {
    BRENNA_EVENT(kWarning, kSpool, kTransferRefused, job.key, "name",
                 "chunk of transfer '%s' from %s refused: the name cannot be a file name here "
                 "(1 to %d bytes, not \".\" or \"..\", no '/', backslash, control character, "
                 "nor any of ? * \" < > |%s)",
                 journal::JournalName(chunk.name).c_str(), PeerText(job.peer).c_str(),
                 FILE_CHUNK_NAME_SIZE - 1, kWindowsNameRule);
    return kChunkBadName;
  }
  if (chunk.total <= 0) {
    BRENNA_EVENT(kWarning, kSpool, kTransferRefused, job.key, "total",
                 "chunk of transfer '%s' from %s refused: it announces a file of %d bytes "
                 "(1 to %d)",
                 journal::JournalName(chunk.name).c_str(), PeerText(job.peer).c_str(), chunk.total,
                 FILE_CHUNK_MAX_TOTAL);
    return kChunkBadTotal;
  }
  if (chunk.index < 0 || chunk.count < 0 || chunk.count > FILE_CHUNK_DATA_SIZE) {
    BRENNA_EVENT(kWarning, kSpool, kTransferRefused, job.key, "bounds",
                 "chunk of transfer '%s' from %s refused: index %d, %d bytes (an index from 0, "
                 "0 to %d bytes)",
                 journal::JournalName(chunk.name).c_str(), PeerText(job.peer).c_str(), chunk.index,
                 chunk.count, FILE_CHUNK_DATA_SIZE);
    return kChunkOutOfRange;
  }
  return std::nullopt;
}

// The longest path the writer makes for a transfer: its result written
// aside, "<name>.DOING.part". Every file of the transfer must fit, or its
// chunks would be confirmed and its result lost where paths end at 259
// characters.
std::string LongestPath(const std::string& spoolDir, const std::string& name) {
  return JoinPath(spoolDir, name + kResultFileSuffix + kPartFileSuffix);
}

int RefuseChunkPath(const ChunkJob& job, const std::string& longest) {
  BRENNA_EVENT(kWarning, kSpool, kTransferRefused, job.key, "path",
               "chunk of transfer '%s' from %s refused for good: %s",
               journal::JournalName(job.chunk.name).c_str(), PeerText(job.peer).c_str(),
               job.spoolDir.empty()
                   ? "no spool directory is known (the site configuration gave none)"
                   : ("a spool file of it would have a path longer than 259 characters (the "
                      "spool directory and the name together at most 247): " +
                      journal::JournalName(longest))
                         .c_str());
  return kChunkOutOfRange;
}

// A slot that ends beyond the announced total makes the file longer than
// total: the transfer is abandoned, as it would be after writing the slot,
// but without writing it first.
int AbandonSlotBeyondTotal(const ChunkJob& job) PALLIX_REQUIRES(theSpoolLock) {
  DropTransfer(job);
  BRENNA_EVENT(kWarning, kSpool, kTransferAbandoned, job.key, "size",
               "transfer '%s' refused for good: chunk %d from %s ends at byte %ld, beyond the "
               "announced %d bytes (chunks cut wrongly); its chunk file is removed",
               journal::JournalName(job.chunk.name).c_str(), job.chunk.index,
               PeerText(job.peer).c_str(), job.slot + job.chunk.count, job.chunk.total);
  return kChunkOutOfRange;
}

// A leftover this transfer cannot continue goes first, so the chunk starts
// a fresh file: one longer than the total (another file of the same name)
// or an abandoned one. Its chunks were confirmed to their station: dropping
// them is worth a warning. Whether the chunk starts a fresh file.
bool ClearLeftover(const ChunkJob& job) PALLIX_REQUIRES(theSpoolLock) {
  SpoolIo::FileInfo leftover;
  const bool found = job.io.Inspect(job.chunkPath, &leftover) == SpoolIo::Result::kOk;
  if (!found || !leftover.exists) return true;
  const FileChunk& chunk = job.chunk;
  if (leftover.size <= chunk.total && !IsAbandonedTransfer(chunk.name, leftover.age)) return false;
  const TransferLedger::Entry* older = TransferLedger::Spool().Find(chunk.name);
  const long long quiet =
      older != nullptr ? static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(
                                                    TransferLedger::Clock::now() - older->lastSeen)
                                                    .count())
                       : static_cast<long long>(leftover.age.count());
  const std::string sender = OlderSender(older);
  DropTransfer(job);
  BRENNA_EVENT(kWarning, kSpool, kChunkFilesRemoved, job.key, "leftover",
               "an older chunk file of '%s' (%lld bytes, last written %lld s ago; %s) dropped: "
               "%s; the transfer from %s starts afresh",
               journal::JournalName(chunk.name).c_str(), leftover.size, quiet, sender.c_str(),
               leftover.size > chunk.total ? "it is longer than the new transfer"
                                           : "no chunk of it had come for 10 minutes",
               PeerText(job.peer).c_str());
  return true;
}

// The chunk cannot be written for good (a planted non-file or hard link
// under the name, no permission): it is lost.
int LoseChunk(const ChunkJob& job, SpoolIo::Result written) {
  const char* why =
      written == SpoolIo::Result::kNotRegular
          ? "is not a regular file (a link, FIFO or folder put there?): remove it"
      : written == SpoolIo::Result::kHardLinked
          ? "has another name too (a hard link put there?): it is never written; remove it"
          : "cannot be written (permissions of the spool directory?)";
  const char* reason = written == SpoolIo::Result::kNotRegular   ? "not a file"
                       : written == SpoolIo::Result::kHardLinked ? "hard link"
                                                                 : "write failed";
  BRENNA_EVENT(kWarning, kSpool, kTransferRefused, job.key, reason,
               "chunk %d of transfer '%s' from %s lost: %s %s", job.chunk.index,
               journal::JournalName(job.chunk.name).c_str(), PeerText(job.peer).c_str(),
               journal::JournalName(job.chunkPath).c_str(), why);
  return kChunkHandled;
}

// Writes the slot and takes the file's length. A spool directory that has
// gone is made again. A spool that cannot be written now (or a process
// short of descriptors) keeps nothing of the chunk and asks for it again;
// anything else loses this chunk.
Outcome WriteSlot(const ChunkJob& job, long* fileLength) {
  const FileChunk& chunk = job.chunk;
  SpoolIo::Result written = job.io.WriteAt(job.chunkPath, job.slot, chunk.data,
                                           static_cast<size_t>(chunk.count), fileLength);
  if (written == SpoolIo::Result::kMissing) {
    const SpoolIo::Result made = job.io.MakeDirectory(job.spoolDir);
    // Waiting would not help: nothing clears a file in the way by itself.
    if (made == SpoolIo::Result::kNotDirectory) return kChunkNoSpool;
    if (made != SpoolIo::Result::kOk)
      return NotNow(made) != 0 ? NotNow(made) : kChunkSpoolUnwritable;
    BRENNA_LOG(kWarning, kSpool, "the spool directory %s had gone: made again",
               journal::JournalName(job.spoolDir).c_str());
    written = job.io.WriteAt(job.chunkPath, job.slot, chunk.data, static_cast<size_t>(chunk.count),
                             fileLength);
  }
  if (NotNow(written) != 0) return NotNow(written);
  if (written == SpoolIo::Result::kMissing) return kChunkSpoolUnwritable;
  // A spool directory that is a link going round in a circle looks like a
  // planted link under the chunk's name.
  if (written == SpoolIo::Result::kNotRegular &&
      job.io.MakeDirectory(job.spoolDir) == SpoolIo::Result::kNotDirectory)
    return kChunkNoSpool;
  if (written != SpoolIo::Result::kOk) return LoseChunk(job, written);
  return std::nullopt;
}

// The ledger's record of the transfer, with this chunk in it.
const TransferLedger::Entry& NoteWritten(const ChunkJob& job, bool fresh,
                                         TransferLedger::Clock::time_point now)
    PALLIX_REQUIRES(theSpoolLock) {
  const FileChunk& chunk = job.chunk;
  const TransferLedger::Entry& noted =
      TransferLedger::Spool().Note(chunk.name, chunk.index, chunk.total, job.peer, fresh, now);
  // A transfer of one chunk is said once, when published. Neither this nor
  // the leftover's line is counted, so when not wanted nothing is built.
  if (fresh && ChunkCount(chunk.total) > 1 && SpoolInfoWanted()) {
    BRENNA_EVENT(kInfo, kSpool, kTransferStarted, job.key, nullptr,
                 "transfer '%s' from %s started: %d bytes in %d chunk%s, chunk %d came first",
                 journal::JournalName(chunk.name).c_str(), PeerText(job.peer).c_str(), chunk.total,
                 ChunkCount(chunk.total), ChunkCount(chunk.total) == 1 ? "" : "s", chunk.index);
  }
  return noted;
}

int AbandonOverlongFile(const ChunkJob& job, long fileLength) PALLIX_REQUIRES(theSpoolLock) {
  DropTransfer(job);
  BRENNA_EVENT(kWarning, kSpool, kTransferAbandoned, job.key, "size",
               "transfer '%s' abandoned: its chunk file grew to %ld bytes, beyond the %d "
               "announced by chunk %d from %s (two files under one name?); removed",
               journal::JournalName(job.chunk.name).c_str(), fileLength, job.chunk.total,
               job.chunk.index, PeerText(job.peer).c_str());
  return kChunkHandled;
}

int AwaitMoreChunks(const ChunkJob& job, long fileLength) {
  BRENNA_LOG(kDebug, kSpool, "chunk %d of transfer '%s' from %s stored: %ld of %d bytes",
             job.chunk.index, journal::JournalName(job.chunk.name).c_str(),
             PeerText(job.peer).c_str(), fileLength, job.chunk.total);
  return kChunkHandled;
}

// Decompresses the complete chunk file to rtdata.dat. The chunk file stays
// until its result is published, so a spool that fills up on the way loses
// nothing: the same chunk, handed in again, completes it again.
Outcome Decompress(const ChunkJob& job, const TransferLedger::Entry& noted)
    PALLIX_REQUIRES(theSpoolLock) {
  const FileChunk& chunk = job.chunk;
  const int unpacked = job.io.UnCompress(job.chunkPath, job.spoolDir);
  if (unpacked == PALLIX_UNCOMPRESS_NO_ROOM) return kChunkSpoolUnwritable;
  if (unpacked == PALLIX_UNCOMPRESS_NO_DESCRIPTORS) return kChunkNoDescriptors;
  if (unpacked == PALLIX_UNCOMPRESS_TOO_LARGE) {
    // More than a record: no later chunk can change that.
    DropTransfer(job);
    BRENNA_EVENT(kWarning, kSpool, kTransferRefused, job.key, "too large",
                 "transfer '%s' from %s refused for good: it decompresses to more than %d bytes, "
                 "more than one result record; its chunk file is removed",
                 journal::JournalName(chunk.name).c_str(), PeerText(job.peer).c_str(), kResultMax);
    return kChunkTooLarge;
  }
  if (unpacked > 0) return std::nullopt;
  // A gap or damage: the file stays and every further chunk tries again.
  if (AllChunksSeen(noted.slots, chunk.total)) {
    BRENNA_EVENT(kWarning, kSpool, kTransferRefused, job.key, "decompression",
                 "transfer '%s' from %s is complete (%d bytes, %d chunks) but does not "
                 "decompress (UnCompressFile %d: damaged or not gzip/zlib); its chunk file "
                 "waits for a chunk sent again and is swept after 10 minutes",
                 journal::JournalName(chunk.name).c_str(), PeerText(job.peer).c_str(), chunk.total,
                 ChunkCount(chunk.total), unpacked);
  } else {
    BRENNA_LOG(kDebug, kSpool,
               "transfer '%s' has its full length but chunks are missing (UnCompressFile "
               "%d): waiting for them",
               journal::JournalName(chunk.name).c_str(), unpacked);
  }
  return kChunkHandled;
}

// Reads rtdata.dat into the result buffer and removes it. A result that
// cannot be read back is lost: one longer than the display can read is
// dropped whole, never cut.
Outcome TakeDecompressed(const ChunkJob& job, unsigned char* buffer, size_t* n)
    PALLIX_REQUIRES(theSpoolLock) {
  const std::string rtdata = JoinPath(job.spoolDir, kUncompressedName);
  const SpoolIo::Result read = job.io.ReadAll(rtdata, buffer, kResultMax, n);
  if (read != SpoolIo::Result::kMissing && read != SpoolIo::Result::kNotRegular)
    job.io.Remove(rtdata);
  if (NotNow(read) != 0) return NotNow(read);
  if (read == SpoolIo::Result::kOk) return std::nullopt;
  DropTransfer(job);
  BRENNA_EVENT(kError, kSpool, kTransferRefused, job.key, "publication",
               "result '%s' from %s lost: its decompressed file %s could not be read back",
               journal::JournalName(job.chunk.name).c_str(), PeerText(job.peer).c_str(),
               journal::JournalName(rtdata).c_str());
  return kChunkHandled;
}

// Publishes in one step: write aside and flush, then rename over
// "<name>.DOING", so the scan never sees a half-written result, not even
// after a power loss.
int Publish(const ChunkJob& job, const unsigned char* buffer, size_t n,
            TransferLedger::Clock::time_point now) PALLIX_REQUIRES(theSpoolLock) {
  const std::string result = JoinPath(job.spoolDir, job.chunk.name + kResultFileSuffix);
  const std::string part = result + kPartFileSuffix;
  SpoolIo::Result published = job.io.WriteAll(part, buffer, n);
  const bool planted =
      published == SpoolIo::Result::kNotRegular || published == SpoolIo::Result::kHardLinked;
  if (published == SpoolIo::Result::kOk) published = job.io.Rename(part, result);
  if (published != SpoolIo::Result::kOk) {
    if (!planted) job.io.Remove(part);
    if (NotNow(published) != 0) return NotNow(published);
    DropTransfer(job);
    BRENNA_EVENT(kError, kSpool, kTransferRefused, job.key, planted ? "not a file" : "publication",
                 "result '%s' from %s lost: it cannot be published as %s (a link, hard link, "
                 "FIFO or folder under that name or its .part?)",
                 journal::JournalName(job.chunk.name).c_str(), PeerText(job.peer).c_str(),
                 journal::JournalName(result).c_str());
    return kChunkHandled;
  }
  TellResultPublished(result);
  job.io.Remove(job.chunkPath);
  const TransferLedger::Entry origin = TransferLedger::Spool().Take(job.chunk.name);
  TransferLedger::Spool().NotePublished(job.chunk.name, origin, job.peer, now);
  SayPublished(job.chunk.name, n, job.chunk.total, origin, job.peer, now);
  return kChunkPublished;
}

}  // namespace

bool IsAbandonedTransfer(const std::string& name, std::chrono::seconds fileAge) {
  const TransferLedger::Entry* e = TransferLedger::Spool().Find(name);
  if (e == nullptr) return IsAbandonedAge(fileAge);
  // Written in this run: the time stamp, which a clock change moves, does
  // not count; and a station still connected may yet send the rest.
  if (e->stationThere) return false;
  return TransferLedger::Clock::now() - e->lastSeen > kAbandonedAfter;
}

bool IsUsableTransferName(const std::string& name) {
  // The rule stations check, and what this system takes for a file's name.
  return PallixIsUsableTransferName(name.data(), name.size()) != 0 && CanNameFile(name);
}

int SaveRecvChunk(const void* data, int length, const FramePeer& peer) {
  SpoolIo io;
  return SaveRecvChunkIn(io, CurrentSpoolAccess().spoolDirectory(), data, length, peer);
}

int SaveRecvChunkIn(SpoolIo& io, const std::string& spoolDir, const void* data, int length,
                    const FramePeer& peer) {
  // Every refusal names the station and the rule it broke: the journal is
  // where a crew finds out why a result did not appear.
  if (length < 0 || length > FILE_CHUNK_SIZE) return RefuseFrameLength(peer, length);
  // A zeroed record with the frame's bytes over its start. Nothing beyond
  // the record is ever read or written.
  unsigned char record[FILE_CHUNK_SIZE] = {};
  if (length > 0) std::memcpy(record, data, static_cast<size_t>(length));
  ChunkJob job{io, spoolDir, peer, PeerKey(peer), Decode(record), std::string(), 0};
  // Folded lines about this chunk keep its transfer's name.
  const journal::EventName named(job.chunk.name);
  if (const Outcome refused = RefuseBadHeader(job)) return *refused;

  job.chunkPath = JoinPath(spoolDir, job.chunk.name + kChunkFileSuffix);
  const std::string longest = LongestPath(spoolDir, job.chunk.name);
  if (spoolDir.empty() || longest.size() > kMaxPath) return RefuseChunkPath(job, longest);
  job.slot = static_cast<long>(job.chunk.index) * FILE_CHUNK_DATA_SIZE;
  if (job.slot + job.chunk.count > job.chunk.total) return AbandonSlotBeyondTotal(job);

  const bool fresh = ClearLeftover(job);
  long fileLength = 0;
  if (const Outcome unwritten = WriteSlot(job, &fileLength)) return *unwritten;
  const auto now = TransferLedger::Clock::now();
  const TransferLedger::Entry& noted = NoteWritten(job, fresh, now);
  // Complete only when the length equals total.
  if (fileLength > job.chunk.total) return AbandonOverlongFile(job, fileLength);
  if (fileLength < job.chunk.total) return AwaitMoreChunks(job, fileLength);

  if (const Outcome notYet = Decompress(job, noted)) return *notYet;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kResultMax]);
  if (!buffer) {
    BRENNA_LOG(kError, kSpool,
               "out of memory while publishing transfer '%s': it is tried again with its next "
               "chunk",
               journal::JournalName(job.chunk.name).c_str());
    return kChunkHandled;
  }
  size_t n = 0;
  if (const Outcome lost = TakeDecompressed(job, buffer.get(), &n)) return *lost;
  return Publish(job, buffer.get(), n, now);
}
