#include "acquisition/TransferLedger.h"

#include "PallixWire.h"

const TransferLedger::Entry& TransferLedger::Note(const std::string& name, int index, int total,
                                                  const FramePeer& peer, bool fresh,
                                                  Clock::time_point now) {
  auto it = m_entries.find(name);
  if (it == m_entries.end()) {
    if (m_entries.size() >= kMaxTransfers) {
      auto oldest = m_entries.begin();
      for (auto e = m_entries.begin(); e != m_entries.end(); ++e)
        if (e->second.lastSeen < oldest->second.lastSeen) oldest = e;
      m_entries.erase(oldest);
    }
    it = m_entries.emplace(name, Entry()).first;
    it->second.firstSeen = fresh;
    it->second.first = peer;
    it->second.started = now;
  } else if (fresh) {
    it->second = Entry();
    it->second.firstSeen = true;
    it->second.first = peer;
    it->second.started = now;
  }
  Entry& e = it->second;
  e.last = peer;
  e.lastSeen = now;
  e.total = total;
  // A chunk just came: its station is there, until looked at again.
  e.stationGone = false;
  e.stationThere = false;
  ++e.chunks;
  if (index >= 0 && index < 32) e.slots |= std::uint32_t{1} << index;
  return e;
}

TransferLedger::Entry* TransferLedger::Find(const std::string& name) {
  auto it = m_entries.find(name);
  return it == m_entries.end() ? nullptr : &it->second;
}

TransferLedger::Entry TransferLedger::Take(const std::string& name) {
  auto it = m_entries.find(name);
  if (it == m_entries.end()) return Entry();
  Entry e = it->second;
  m_entries.erase(it);
  return e;
}

void TransferLedger::NotePublished(const std::string& name, const Entry& entry,
                                   const FramePeer& last, Clock::time_point now) {
  std::string stations;
  if (entry.firstSeen && !entry.first.address.empty() && !SamePeer(entry.first, last))
    stations = PeerText(entry.first);
  if (!last.address.empty()) stations += (stations.empty() ? "" : ", ") + PeerText(last);
  if (m_published.count(name) == 0 && m_published.size() >= kMaxTransfers) {
    auto oldest = m_published.begin();
    for (auto p = m_published.begin(); p != m_published.end(); ++p)
      if (p->second.when < oldest->second.when) oldest = p;
    m_published.erase(oldest);
  }
  m_published[name] = Published{std::move(stations), now};
}

std::string TransferLedger::TakePublished(const std::string& name) {
  auto it = m_published.find(name);
  if (it == m_published.end()) return std::string();
  std::string stations = std::move(it->second.stations);
  m_published.erase(it);
  return stations;
}

TransferLedger& TransferLedger::Spool() {
  // Never destroyed: the network task may write until the process ends.
  static TransferLedger* ledger = new TransferLedger();
  return *ledger;
}

bool AllChunksSeen(std::uint32_t slots, int total) {
  if (total <= 0) return false;
  const int chunks = (total + FILE_CHUNK_DATA_SIZE - 1) / FILE_CHUNK_DATA_SIZE;
  if (chunks > 32) return false;
  const std::uint32_t all = chunks == 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << chunks) - 1;
  return (slots & all) == all;
}

int ChunksSeen(std::uint32_t slots, int total) {
  if (total <= 0) return 0;
  const int chunks = (total + FILE_CHUNK_DATA_SIZE - 1) / FILE_CHUNK_DATA_SIZE;
  int seen = 0;
  for (int k = 0; k < chunks && k < 32; ++k)
    if ((slots >> k) & 1u) ++seen;
  return seen;
}
