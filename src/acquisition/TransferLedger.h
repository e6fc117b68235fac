// TransferLedger - who sends the transfers in progress, so that the line of
// a publication names the station. A chunk frame carries no sender: the
// network task learns it from the library (ReadFramePeer) and the chunk
// writer notes it here, by transfer name, with every chunk it writes.
// It is also this run's record of when each transfer last got a chunk (on
// the monotonic clock, which no clock change moves) and whether its
// station is still connected: what decides that a transfer is abandoned.
//
// Bounded: at most kMaxTransfers names are remembered; a new one makes room
// by forgetting the one not heard of for longest (a transfer that never
// finishes). The caller holds the spool lock, as the chunk writer does.
#ifndef BRENNA_ACQUISITION_TRANSFERLEDGER_H
#define BRENNA_ACQUISITION_TRANSFERLEDGER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "acquisition/SpoolLock.h"
#include "platform/FramePeer.h"

class TransferLedger {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kMaxTransfers = 256;

  struct Entry {
    FramePeer first;          // the station of the first chunk seen
    FramePeer last;           // the station of the latest chunk
    bool firstSeen = false;   // false: the transfer began before this run
    int chunks = 0;           // chunks written, repeats included
    std::uint32_t slots = 0;  // bit k: chunk k written at least once
    int total = 0;            // bytes announced by its latest chunk
    Clock::time_point started{};
    Clock::time_point lastSeen{};
    // The connection of its latest chunk, as last looked at: known to have
    // ended (and said so), or known to be there still.
    bool stationGone = false;
    bool stationThere = false;
  };

  TransferLedger() = default;
  TransferLedger(const TransferLedger&) = delete;
  TransferLedger& operator=(const TransferLedger&) = delete;

  // Notes chunk `index` of `name` (GBK) from `peer`, just written. `fresh`:
  // it began the transfer's chunk file, so whatever was noted of the name
  // before belongs to an older transfer. Returns the transfer's entry.
  const Entry& Note(const std::string& name, int index, int total, const FramePeer& peer,
                    bool fresh, Clock::time_point now);
  // The entry of `name`, or null when nothing is noted of it.
  Entry* Find(const std::string& name);
  // The entry of `name`, taken out (published, abandoned or refused); a
  // default entry when nothing is noted of it.
  Entry Take(const std::string& name);
  std::size_t Size() const { return m_entries.size(); }
  // Forgets every transfer (a fresh start; tests).
  void Clear() {
    m_entries.clear();
    m_published.clear();
  }
  // Every entry, for a walk over the transfers in progress.
  template <class Visit>
  void ForEach(Visit visit) {
    for (auto& [name, entry] : m_entries) visit(name, entry);
  }

  // The stations of a result just published under `name`, kept until the
  // window shows it (the archive names them): the station of its last
  // chunk, after the one of its first when that was another. Bounded like
  // the transfers in progress.
  void NotePublished(const std::string& name, const Entry& entry, const FramePeer& last,
                     Clock::time_point now);
  // "10.1.2.3:40001[, 10.1.2.4:40002]", taken out; empty when not known (a
  // result published before this run).
  std::string TakePublished(const std::string& name);

  // The one beside the spool directory.
  static TransferLedger& Spool() PALLIX_REQUIRES(theSpoolLock);

 private:
  std::unordered_map<std::string, Entry> m_entries;
  struct Published {
    std::string stations;
    Clock::time_point when;
  };
  std::unordered_map<std::string, Published> m_published;
};

// Whether every chunk of a file of `total` bytes is marked in `slots`.
bool AllChunksSeen(std::uint32_t slots, int total);
// How many of the chunks of a file of `total` bytes are marked in `slots`.
int ChunksSeen(std::uint32_t slots, int total);

#endif  // BRENNA_ACQUISITION_TRANSFERLEDGER_H
