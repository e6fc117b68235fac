// SpoolWatch - when each result file of a spool directory was published,
// read by the window and removed, by transfer name, as inotify reports it.
// The window shows a result by reading "<name>.DOING" and removes it half a
// second later, so results shown and removed between two looks at the
// directory are still seen.
#ifndef BRENNA_E2E_SPOOLWATCH_H
#define BRENNA_E2E_SPOOLWATCH_H

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

class SpoolWatch {
 public:
  using Clock = std::chrono::steady_clock;

  SpoolWatch() = default;
  ~SpoolWatch();
  SpoolWatch(const SpoolWatch&) = delete;
  SpoolWatch& operator=(const SpoolWatch&) = delete;

  // Starts watching the directory; false when it cannot be watched.
  bool Start(const std::string& spool);
  // Watches the directory again after it was removed and created anew.
  bool Rewatch();

  struct Times {
    Clock::time_point published{};  // "<name>.DOING" moved or written into place
    Clock::time_point read{};       // a reader closed it (the window after reading it)
    Clock::time_point shown{};      // removed (by the window, after showing it)
    bool isPublished = false;
    bool isRead = false;
    bool isShown = false;
  };
  std::map<std::string, Times> Snapshot();

  // Waits (at most `limit`) until every one of `names` has been removed.
  bool WaitUntilShown(const std::set<std::string>& names, std::chrono::milliseconds limit);

 private:
  void Run();

  std::string m_spool;
  int m_fd = -1;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
  std::mutex m_mutex;
  std::map<std::string, Times> m_times;
};

#endif  // BRENNA_E2E_SPOOLWATCH_H
