#include "SpoolWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t kEvents = IN_MOVED_TO | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_DELETE;
const char kSuffix[] = ".DOING";

}  // namespace

SpoolWatch::~SpoolWatch() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_fd >= 0) close(m_fd);
}

bool SpoolWatch::Start(const std::string& spool) {
  m_spool = spool;
  m_fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (m_fd < 0 || !Rewatch()) return false;
  m_thread = std::thread([this] { Run(); });
  return true;
}

bool SpoolWatch::Rewatch() { return inotify_add_watch(m_fd, m_spool.c_str(), kEvents) >= 0; }

std::map<std::string, SpoolWatch::Times> SpoolWatch::Snapshot() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_times;
}

bool SpoolWatch::WaitUntilShown(const std::set<std::string>& names,
                                std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    size_t shown = 0;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      for (const std::string& n : names) {
        auto it = m_times.find(n);
        shown += it != m_times.end() && it->second.isShown ? 1 : 0;
      }
    }
    if (shown == names.size()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void SpoolWatch::Run() {
  alignas(inotify_event) char buf[16384];
  const std::string suffix = kSuffix;
  while (!m_stop) {
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = read(m_fd, buf, sizeof buf);
    const Clock::time_point now = Clock::now();
    for (ssize_t off = 0; n > 0 && off < n;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
      off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      if (ev->len == 0) continue;
      std::string name(ev->name);
      if (name.size() <= suffix.size() ||
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        continue;
      name.resize(name.size() - suffix.size());
      std::lock_guard<std::mutex> lock(m_mutex);
      Times& t = m_times[name];
      if ((ev->mask & (IN_MOVED_TO | IN_CLOSE_WRITE)) && !t.isPublished) {
        t.published = now;
        t.isPublished = true;
      }
      if ((ev->mask & IN_CLOSE_NOWRITE) && !t.isRead) {
        t.read = now;
        t.isRead = true;
      }
      if ((ev->mask & IN_DELETE) && !t.isShown) {
        t.shown = now;
        t.isShown = true;
      }
    }
  }
}
