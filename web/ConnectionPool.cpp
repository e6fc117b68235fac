#include "web/ConnectionPool.h"

#include <algorithm>

namespace web {

namespace {
thread_local bool t_rejecting = false;
using Clock = Connection::Clock;

int RefusalStatus(HeadState state) { return state == HeadState::kTooLarge ? 431 : 400; }
}  // namespace

ConnectionPool::ConnectionPool(PoolLimits limits, Serve serve,
                               std::shared_ptr<std::atomic<int>> served)
    : limits_(limits), serve_(std::move(serve)), served_(std::move(served)) {
  for (std::size_t i = 0; i < limits_.workers; ++i)
    serveThreads_.emplace_back([this] { Work(false); });
  for (std::size_t i = 0; i < limits_.rejecters; ++i)
    rejectThreads_.emplace_back([this] { Work(true); });
  gate_ = std::thread([this] { Gather(); });
}

ConnectionPool::~ConnectionPool() { shutdown(); }

bool ConnectionPool::Rejecting() { return t_rejecting; }

void ConnectionPool::enqueue(std::function<void()> fn) { fn(); }

void ConnectionPool::TakeIn(socket_t sock) {
  auto c = std::make_unique<Connection>(sock, limits_.writeTimeout);
  const auto now = Clock::now();
  c->Expect(now + limits_.requestTime, now + limits_.requestTime);
  {
    MutexLock hold(lock_);
    if (shutdown_) return;
    incoming_.push_back(std::move(c));
  }
  Wake();
}

void ConnectionPool::Wake() { wake_.Signal(); }

void ConnectionPool::Admit(std::vector<Owned>& waiting, Owned c) const {
  // The one of this address waiting longest makes room first; then the one
  // waiting longest of all. One whose head was refused, and that is only
  // read until it goes, makes room before any.
  auto first = [&](auto matches) {
    const auto closing = std::find_if(waiting.begin(), waiting.end(),
                                      [&](const Owned& w) { return w->Closing() && matches(w); });
    return closing != waiting.end() ? closing
                                    : std::find_if(waiting.begin(), waiting.end(), matches);
  };
  std::size_t same = 0;
  for (const Owned& w : waiting) same += w->Address() == c->Address();
  if (same >= limits_.halfOpenPerAddress) {
    waiting.erase(first([&](const Owned& w) { return w->Address() == c->Address(); }));
  } else if (waiting.size() >= limits_.halfOpen && !waiting.empty()) {
    waiting.erase(first([](const Owned&) { return true; }));
  }
  waiting.push_back(std::move(c));
}

void ConnectionPool::Gather() {
  std::vector<Owned> waiting;  // in the order they came
  std::vector<stream_socket::Watch> fds;
  for (;;) {
    {
      MutexLock hold(lock_);
      if (shutdown_) break;
      for (Owned& c : incoming_) Admit(waiting, std::move(c));
      incoming_.clear();
    }
    const int n = WaitForAny(waiting, &fds);
    if (n < 0) break;
    wake_.Drain();
    std::vector<Owned> still;
    for (std::size_t i = 0; i < waiting.size(); ++i) {
      Owned& c = waiting[i];
      if (n > 0 && fds[i + 1].ready && !Take(c)) continue;
      // A request not complete by its deadline does not come: let go.
      if (Clock::now() < c->Deadline()) still.push_back(std::move(c));
    }
    waiting.swap(still);
  }
}

int ConnectionPool::WaitForAny(const std::vector<Owned>& waiting,
                               std::vector<stream_socket::Watch>* fds) {
  auto next = Clock::now() + std::chrono::seconds(1);
  fds->assign(1, stream_socket::Watch{wake_.Handle()});
  for (const Owned& c : waiting) {
    fds->push_back(stream_socket::Watch{c->Socket()});
    next = std::min(next, c->Deadline());
  }
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
  int timeout = static_cast<int>(std::max<long long>(0, wait.count()) + 1);
  // Without a waker (none could be made) the gate looks again often.
  if (!wake_.Valid()) timeout = std::min(timeout, 10);
  const std::size_t from = wake_.Valid() ? 0 : 1;
  return stream_socket::Wait(fds->data() + from, fds->size() - from, timeout);
}

bool ConnectionPool::Take(Owned& c) {
  if (c->Closing()) return c->Discard();
  const bool open = c->Fill();
  const HeadState head = c->Examine();
  if (head == HeadState::kComplete) {
    if (!open) c->CloseAfter();
    Dispatch(std::move(c));
    return false;
  }
  if (head == HeadState::kIncomplete) return open;  // else gone before its request was complete
  // Answered at once, on no thread of the workers.
  c->Refuse(RefusalStatus(head), Clock::now() + limits_.refusedLinger);
  return true;
}

void ConnectionPool::Dispatch(Owned c) {
  {
    MutexLock hold(lock_);
    if (shutdown_) return;
    if (busy_ < limits_.workers) {
      ++busy_;
      if (served_) served_->store(static_cast<int>(busy_));
      serveJobs_.push_back(std::move(c));
      work_.notify_all();
      return;
    }
    if (rejectJobs_.size() < limits_.rejectBacklog && !rejectThreads_.empty()) {
      rejectJobs_.push_back(std::move(c));
      work_.notify_all();
      return;
    }
  }
  // Both lanes full: answered here; its request has come in full and the
  // short answer fits the connection's empty send buffer.
  t_rejecting = true;
  serve_(*c, true);
  t_rejecting = false;
}

bool ConnectionPool::ServeWaiting(Connection& c, bool rejecting) {
  bool keep = serve_(c, rejecting);
  // Requests sent without waiting for the answer: each in turn.
  HeadState next = HeadState::kIncomplete;
  while (keep && (next = c.Examine()) == HeadState::kComplete) {
    const auto now = Clock::now();
    c.Expect(now + limits_.requestTime, now + limits_.requestTime);
    keep = serve_(c, rejecting);
  }
  if (keep && next != HeadState::kIncomplete)
    c.Refuse(RefusalStatus(next), Clock::now() + limits_.refusedLinger);
  return keep;
}

std::deque<ConnectionPool::Owned>& ConnectionPool::Jobs(bool rejecting) {
  return rejecting ? rejectJobs_ : serveJobs_;
}

void ConnectionPool::Work(bool rejecting) {
  t_rejecting = rejecting;
  for (;;) {
    Owned c;
    {
      MutexLock hold(lock_);
      while (!shutdown_ && Jobs(rejecting).empty()) work_.wait(lock_);
      if (shutdown_) {
        Jobs(rejecting).clear();
        return;
      }
      c = std::move(Jobs(rejecting).front());
      Jobs(rejecting).pop_front();
    }
    const bool keep = ServeWaiting(*c, rejecting);
    MutexLock hold(lock_);
    if (keep && !shutdown_) {
      const auto now = Clock::now();
      if (!c->Closing())
        c->Expect(now + limits_.keepAlive, now + limits_.keepAlive + limits_.requestTime);
      incoming_.push_back(std::move(c));
      Wake();
    }
    if (!rejecting) {
      --busy_;
      if (served_) served_->store(static_cast<int>(busy_));
    }
  }
}

void ConnectionPool::shutdown() {
  {
    MutexLock hold(lock_);
    if (shutdown_) return;
    shutdown_ = true;
    incoming_.clear();
  }
  Wake();
  work_.notify_all();
  if (gate_.joinable()) gate_.join();
  for (auto* lane : {&serveThreads_, &rejectThreads_})
    for (std::thread& t : *lane)
      if (t.joinable()) t.join();
}

}  // namespace web
