// ConnectionPool - the threads the HTTP library serves connections on, one
// connection per thread for as long as it stays open (a live panel: as
// long as the page is open). At most `workers` connections are served at
// once. One more is not queued to wait without end: it goes to a small
// lane of its own whose threads answer it at once with 503 (the handlers
// see Rejecting()); when that lane is full too, the accepting thread
// answers it itself, so that nothing piles up and the listener slows
// down instead.
#ifndef BRENNA_WEB_CONNECTIONPOOL_H
#define BRENNA_WEB_CONNECTIONPOOL_H

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace web {

class ConnectionPool : public httplib::TaskQueue {
 public:
  // `served` counts the connections being served (or waiting for a
  // worker), for whoever outlives the pool.
  ConnectionPool(std::size_t workers, std::size_t rejecters, std::size_t rejectBacklog,
                 std::shared_ptr<std::atomic<int>> served);
  ~ConnectionPool() override;
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  void enqueue(std::function<void()> fn) override;
  void shutdown() override;

  // True on a thread that serves a connection beyond the limit.
  static bool Rejecting();

 private:
  struct Lane {
    std::deque<std::function<void()>> jobs;
    std::vector<std::thread> threads;
  };
  void Work(Lane& lane, bool rejecting);

  const std::size_t workers_;
  const std::size_t rejectBacklog_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  Lane serve_, reject_;
  std::size_t busy_ = 0;                      // served or waiting in serve_
  std::shared_ptr<std::atomic<int>> served_;  // busy_, for others to read
  bool shutdown_ = false;
};

}  // namespace web

#endif  // BRENNA_WEB_CONNECTIONPOOL_H
