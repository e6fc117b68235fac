// PublicationOrder - the order in which the results waiting in the spool
// directory were published, so the result loop shows them in that order
// and the screen ends on the newest result of each group.
//
// Each waiting result file (by its full path) holds a sequence number:
// the chunk writer's publication gives the next one, and so does a
// republication of the same name (the file then holds the newer result). A
// result the scan finds that was not published through the chunk writer
// (there before the start, or put there by hand) gets the next numbers as
// the scan finds it. Not thread-safe by itself: every call is made with
// the spool lock held, the lock the chunk writer publishes under.
#ifndef BRENNA_MONITOR_PUBLICATIONORDER_H
#define BRENNA_MONITOR_PUBLICATIONORDER_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class PublicationOrder {
 public:
  struct Entry {
    std::uint64_t sequence = 0;  // 0: none
    std::string path;
  };

  // A result put in place now: it goes after every result known.
  void Published(const std::string& path);
  // Results found waiting, in the order given; those already known keep
  // their place.
  void Found(const std::vector<std::string>& paths);
  bool Knows(const std::string& path) const { return m_sequenceOf.count(path) != 0; }
  // The first result after `sequence` (0: the first of all); sequence 0
  // when there is none.
  Entry After(std::uint64_t sequence) const;
  // Forgets path when it still holds `sequence`: a republication since then
  // is a result of its own and keeps its place.
  void Forget(const std::string& path, std::uint64_t sequence);
  std::size_t Size() const { return m_sequenceOf.size(); }

 private:
  void Place(const std::string& path);

  std::uint64_t m_last = 0;
  std::map<std::string, std::uint64_t> m_sequenceOf;
  std::map<std::uint64_t, std::string> m_pathAt;
};

#endif  // BRENNA_MONITOR_PUBLICATIONORDER_H
