#include "monitor/PublicationOrder.h"

void PublicationOrder::Place(const std::string& path) {
  auto [it, added] = m_sequenceOf.emplace(path, 0);
  if (!added) m_pathAt.erase(it->second);
  it->second = ++m_last;
  m_pathAt.emplace(m_last, path);
}

void PublicationOrder::Published(const std::string& path) { Place(path); }

void PublicationOrder::Found(const std::vector<std::string>& paths) {
  for (const std::string& path : paths)
    if (!Knows(path)) Place(path);
}

PublicationOrder::Entry PublicationOrder::After(std::uint64_t sequence) const {
  const auto it = m_pathAt.upper_bound(sequence);
  if (it == m_pathAt.end()) return Entry();
  return Entry{it->first, it->second};
}

void PublicationOrder::Forget(const std::string& path, std::uint64_t sequence) {
  const auto it = m_sequenceOf.find(path);
  if (it == m_sequenceOf.end() || it->second != sequence) return;
  m_pathAt.erase(sequence);
  m_sequenceOf.erase(it);
}
