#include "web/ConnectionPool.h"

namespace web {

namespace {
thread_local bool t_rejecting = false;
}

ConnectionPool::ConnectionPool(std::size_t workers, std::size_t rejecters,
                               std::size_t rejectBacklog, std::shared_ptr<std::atomic<int>> served)
    : workers_(workers), rejectBacklog_(rejectBacklog), served_(std::move(served)) {
  for (std::size_t i = 0; i < workers; ++i)
    serve_.threads.emplace_back([this] { Work(serve_, false); });
  for (std::size_t i = 0; i < rejecters; ++i)
    reject_.threads.emplace_back([this] { Work(reject_, true); });
}

ConnectionPool::~ConnectionPool() { shutdown(); }

bool ConnectionPool::Rejecting() { return t_rejecting; }

void ConnectionPool::enqueue(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (busy_ < workers_) {
      ++busy_;
      if (served_) served_->store(static_cast<int>(busy_));
      serve_.jobs.push_back(std::move(fn));
      wake_.notify_all();
      return;
    }
    if (reject_.jobs.size() < rejectBacklog_ && !reject_.threads.empty()) {
      reject_.jobs.push_back(std::move(fn));
      wake_.notify_all();
      return;
    }
  }
  // Both lanes full: answered here, and the next connection waits in the
  // listener's backlog meanwhile.
  t_rejecting = true;
  fn();
  t_rejecting = false;
}

void ConnectionPool::Work(Lane& lane, bool rejecting) {
  t_rejecting = rejecting;
  for (;;) {
    std::function<void()> fn;
    {
      std::unique_lock<std::mutex> hold(lock_);
      wake_.wait(hold, [&] { return shutdown_ || !lane.jobs.empty(); });
      if (lane.jobs.empty()) return;  // shut down, nothing left
      fn = std::move(lane.jobs.front());
      lane.jobs.pop_front();
    }
    fn();
    if (!rejecting) {
      std::lock_guard<std::mutex> hold(lock_);
      --busy_;
      if (served_) served_->store(static_cast<int>(busy_));
    }
  }
}

void ConnectionPool::shutdown() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (shutdown_) return;
    shutdown_ = true;
  }
  wake_.notify_all();
  for (Lane* lane : {&serve_, &reject_})
    for (std::thread& t : lane->threads)
      if (t.joinable()) t.join();
}

}  // namespace web
