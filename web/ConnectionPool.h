// ConnectionPool - the threads brenna-web serves connections on. A thread
// is given to a connection only once a whole request has come on it, so
// connections that trickle their requests in byte by byte, or never finish
// them, hold no thread: one thread of their own (the gate) gathers every
// connection's request, with a deadline for the whole request, and hands
// each one on once its head is complete (web/RequestHead); a head too
// large or malformed it answers itself at once (431, 400) and lets the
// connection go. Half-open connections are bounded, in
// all and per address; beyond that the one waiting longest is let go, so a
// newcomer (the kiosk's page) never waits behind them.
//
// At most `workers` requests are answered at once (a live page holds its
// thread for as long as it is open). One more is not queued to wait
// without end: it goes to a small lane of its own whose threads answer it
// at once with 503 (the handlers see Rejecting()); when that lane is full
// too, the gate answers it itself. Between requests a kept-alive
// connection goes back to the gate; requests sent one after the other
// without waiting are answered in turn on the same thread.
//
// The HTTP library hands every accepted socket to enqueue() (HttpServer),
// which passes it on to the gate at once.
#ifndef BRENNA_WEB_CONNECTIONPOOL_H
#define BRENNA_WEB_CONNECTIONPOOL_H

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/Mutex.h"
#include "platform/StreamSocket.h"
#include "web/Connection.h"

namespace web {

struct PoolLimits {
  std::size_t workers = 64;
  std::size_t rejecters = 2;
  std::size_t rejectBacklog = 16;
  // Connections whose request has not come in full yet.
  std::size_t halfOpen = 128;
  std::size_t halfOpenPerAddress = 32;
  // A request must be complete this long after its connection came (or
  // its first byte, on a kept-alive connection).
  std::chrono::milliseconds requestTime{5000};
  // How long a kept-alive connection may wait for its next request.
  std::chrono::milliseconds keepAlive{2000};
  std::chrono::milliseconds writeTimeout{5000};
  // How long a connection whose head was refused is still read (and what
  // comes dropped) after the answer, so that its peer reads the answer.
  std::chrono::milliseconds refusedLinger{2000};
};

class ConnectionPool : public httplib::TaskQueue {
 public:
  // Answers the request waiting on the connection (`rejecting`: with 503);
  // false when the connection is to close after it.
  using Serve = std::function<bool(Connection&, bool rejecting)>;

  // `served` counts the requests being answered, for whoever outlives the
  // pool.
  ConnectionPool(PoolLimits limits, Serve serve, std::shared_ptr<std::atomic<int>> served);
  ~ConnectionPool() override;
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  // The library's job for an accepted socket: run at once (it only passes
  // the socket on to TakeIn).
  void enqueue(std::function<void()> fn) override;
  void shutdown() override PALLIX_EXCLUDES(lock_);

  // A newly accepted connection.
  void TakeIn(socket_t sock) PALLIX_EXCLUDES(lock_);

  // True on a thread that answers a request beyond the limit.
  static bool Rejecting();

 private:
  using Owned = std::unique_ptr<Connection>;
  void Gather() PALLIX_EXCLUDES(lock_);
  // Waits until one of `waiting` (or the waker) is ready, or the first
  // deadline passes; the number ready, -1 when waiting failed.
  int WaitForAny(const std::vector<Owned>& waiting, std::vector<stream_socket::Watch>* fds);
  // What came on a connection the gate holds; false when it leaves the
  // gate (handed on, or gone).
  bool Take(Owned& c) PALLIX_EXCLUDES(lock_);
  void Wake();
  void Admit(std::vector<Owned>& waiting, Owned c) const;
  void Dispatch(Owned c) PALLIX_EXCLUDES(lock_);
  // A thread of a lane: the serving one, or the rejecting one.
  void Work(bool rejecting) PALLIX_EXCLUDES(lock_);
  // The connections waiting for a thread of that lane.
  std::deque<Owned>& Jobs(bool rejecting) PALLIX_REQUIRES(lock_);
  // Answers the requests waiting on `c` in turn; true when it stays open.
  bool ServeWaiting(Connection& c, bool rejecting) PALLIX_EXCLUDES(lock_);

  const PoolLimits limits_;
  const Serve serve_;
  stream_socket::Waker wake_;  // wakes the gate
  // Guards what the library's thread, the gate and the lanes' threads
  // hand each other.
  Mutex lock_;
  CondVar work_;                                          // a job for a lane, or the shutdown
  std::vector<Owned> incoming_ PALLIX_GUARDED_BY(lock_);  // for the gate
  std::deque<Owned> serveJobs_ PALLIX_GUARDED_BY(lock_);
  std::deque<Owned> rejectJobs_ PALLIX_GUARDED_BY(lock_);
  // Started by the constructor, joined by shutdown().
  std::vector<std::thread> serveThreads_, rejectThreads_;
  std::thread gate_;
  // Requests answered or waiting in serveJobs_.
  std::size_t busy_ PALLIX_GUARDED_BY(lock_) = 0;
  std::shared_ptr<std::atomic<int>> served_;  // busy_, for others to read
  bool shutdown_ PALLIX_GUARDED_BY(lock_) = false;
};

}  // namespace web

#endif  // BRENNA_WEB_CONNECTIONPOOL_H
