// AlertSender - brenna-web's alerts on their way to the supervisor: an
// HTTP POST of a small JSON body to the settings' webhook, the shape the
// group-chat robots of office messengers take:
//
//   {"msgtype":"text","text":{"content":"【一号线】监控程序未运行：..."}}
//
// Sent from a thread of its own, one message after the other in the order
// they came: a page never waits for it. A message that cannot be delivered
// (no connection, no answer within seconds, an answer other than 2xx) is
// tried again after 2 s, 4 s, ... at most 5 minutes apart, for an hour at
// most; each failure and each delivery is said on brenna-web's output (its
// log), the webhook named by its host alone (its address may hold a key).
// At most kMaxWaiting messages wait; beyond them the oldest is given up,
// and said.
#ifndef BRENNA_WEB_ALERTSENDER_H
#define BRENNA_WEB_ALERTSENDER_H

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <thread>

#include "platform/Mutex.h"

namespace web {

inline constexpr std::size_t kMaxWaiting = 64;

// The JSON body of one message.
std::string AlertBody(const std::string& text);

// Posts `body` to `webhook` once; false with why in *why.
bool PostAlert(const std::string& webhook, const std::string& body, std::string* why);

// The webhook as the log names it: its scheme and host, never its path.
std::string WebhookHost(const std::string& webhook);

class AlertSender {
 public:
  struct Options {
    std::string webhook;
    std::chrono::milliseconds firstRetry{2000};
    std::chrono::milliseconds lastRetry{300000};
    std::chrono::milliseconds giveUpAfter{3600000};
    // Where a line of the log goes (brenna-web: its standard output).
    std::function<void(const std::string&)> say;
  };
  explicit AlertSender(Options options);
  ~AlertSender();
  AlertSender(const AlertSender&) = delete;
  AlertSender& operator=(const AlertSender&) = delete;

  void Start();
  // Ends the thread; a message being posted ends within the post's
  // timeouts (seconds), those waiting are given up and said.
  void Stop() PALLIX_EXCLUDES(lock_);
  // Queues a message; never waits.
  void Send(const std::string& text) PALLIX_EXCLUDES(lock_);

 private:
  void Run() PALLIX_EXCLUDES(lock_);
  // Tries one message until it is delivered, given up or the sender stops;
  // the lock is let go while it is posted, and between tries.
  void Deliver(const std::string& text) PALLIX_REQUIRES(lock_);

  Options options_;
  // Guards the messages handed from the pages' and the watch's threads to
  // the sending one, and the stop.
  Mutex lock_;
  CondVar wake_;  // a message, or the stop
  std::deque<std::string> waiting_ PALLIX_GUARDED_BY(lock_);
  bool stopping_ PALLIX_GUARDED_BY(lock_) = false;
  std::thread thread_;
};

}  // namespace web

#endif  // BRENNA_WEB_ALERTSENDER_H
