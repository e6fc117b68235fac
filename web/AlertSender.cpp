#include "web/AlertSender.h"

#include <httplib.h>

#include <algorithm>

#include "web/WebText.h"

namespace web {

namespace {

// A post gives up on a webhook that does not connect or answer within
// these: the sender's stop, and brenna-web's, never waits longer.
constexpr int kConnectSeconds = 2;
constexpr int kAnswerSeconds = 3;

// "https://host:port" and "/path?query" of a webhook.
void SplitUrl(const std::string& url, std::string* base, std::string* path) {
  const std::size_t host = url.find("://") + 3;
  const std::size_t slash = url.find('/', host);
  *base = url.substr(0, slash);
  *path = slash == std::string::npos ? std::string("/") : url.substr(slash);
}

}  // namespace

std::string AlertBody(const std::string& text) {
  return "{\"msgtype\":\"text\",\"text\":{\"content\":" + Json(text) + "}}";
}

std::string WebhookHost(const std::string& webhook) {
  std::string base, path;
  SplitUrl(webhook, &base, &path);
  return base;
}

bool PostAlert(const std::string& webhook, const std::string& body, std::string* why) {
  std::string base, path;
  SplitUrl(webhook, &base, &path);
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
  if (base.rfind("https://", 0) == 0) {
    *why = "this build of brenna-web sends no https";
    return false;
  }
#endif
  httplib::Client client(base);
  if (!client.is_valid()) {
    *why = "no address the client takes";
    return false;
  }
  client.set_connection_timeout(kConnectSeconds, 0);
  client.set_read_timeout(kAnswerSeconds, 0);
  client.set_write_timeout(kAnswerSeconds, 0);
  const httplib::Result res = client.Post(path.c_str(), body, "application/json; charset=utf-8");
  if (!res) {
    *why = httplib::to_string(res.error());
    return false;
  }
  if (res->status < 200 || res->status > 299) {
    *why = "it answered " + std::to_string(res->status);
    return false;
  }
  return true;
}

AlertSender::AlertSender(Options options) : options_(std::move(options)) {
  if (!options_.say) options_.say = [](const std::string&) {};
}

AlertSender::~AlertSender() { Stop(); }

void AlertSender::Start() {
  if (thread_.joinable() || options_.webhook.empty()) return;
  thread_ = std::thread([this] { Run(); });
}

void AlertSender::Stop() {
  {
    MutexLock hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  // No message comes once stopping: those left are said outside the lock.
  std::deque<std::string> left;
  {
    MutexLock hold(lock_);
    left.swap(waiting_);
  }
  for (const std::string& text : left) options_.say("alert not sent (brenna-web stopped): " + text);
}

void AlertSender::Send(const std::string& text) {
  {
    MutexLock hold(lock_);
    if (options_.webhook.empty() || stopping_) return;
    if (waiting_.size() >= kMaxWaiting) {
      options_.say("alert given up (" + std::to_string(kMaxWaiting) +
                   " alerts wait already): " + waiting_.front());
      waiting_.pop_front();
    }
    waiting_.push_back(text);
  }
  wake_.notify_all();
}

void AlertSender::Run() {
  MutexLock hold(lock_);
  while (!stopping_) {
    if (waiting_.empty()) {
      wake_.wait(lock_);
      continue;
    }
    const std::string text = waiting_.front();
    waiting_.pop_front();
    Deliver(text);
  }
}

void AlertSender::Deliver(const std::string& text) {
  const std::string to = WebhookHost(options_.webhook);
  const auto began = std::chrono::steady_clock::now();
  std::chrono::milliseconds pause = options_.firstRetry;
  for (int tries = 1; !stopping_; ++tries) {
    std::string why;
    bool sent = false;
    WhileUnlocked(lock_, [&] { sent = PostAlert(options_.webhook, AlertBody(text), &why); });
    if (sent) {
      options_.say("alert sent to " + to + ": " + text);
      return;
    }
    if (std::chrono::steady_clock::now() - began + pause > options_.giveUpAfter) {
      options_.say("alert given up after " + std::to_string(tries) + " tries (" + why +
                   "): " + text);
      return;
    }
    options_.say("alert not sent to " + to + " (" + why + "), trying again in " +
                 std::to_string((pause.count() + 999) / 1000) + " s: " + text);
    const auto retry = std::chrono::steady_clock::now() + pause;
    while (!stopping_ && wake_.wait_until(lock_, retry) != std::cv_status::timeout) {
    }
    pause = std::min(pause * 2, options_.lastRetry);
  }
  options_.say("alert not sent (brenna-web stopped): " + text);
}

}  // namespace web
