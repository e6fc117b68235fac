// EventStream - a page's live updates as server-sent events: the state
// when it connects, then every new state of the feed (never a queue of
// them), a ping when nothing changed for a while, and after its lifetime
// "again" before the stream ends, so that the page connects anew at once
// without taking it for a loss (web/LiveStateFormat). The same for a line's
// panel (LiveFeed) and a site's overview (SiteFeed): any feed with
// Current(), WaitForChange() and Stopped() whose state has a version and
// its JSON.
#ifndef BRENNA_WEB_EVENTSTREAM_H
#define BRENNA_WEB_EVENTSTREAM_H

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "web/LiveStateFormat.h"

namespace web {

struct EventStreamLimits {
  int maxLive = 1;                     // live pages at once
  std::chrono::seconds lifetime{600};  // then the page is asked to come again
  std::chrono::seconds ping{10};
};

template <class Feed>
void StreamEvents(Feed& feed, httplib::Response& res, std::atomic<int>& live,
                  const EventStreamLimits& limits) {
  if (live.fetch_add(1) >= limits.maxLive) {
    live.fetch_sub(1);
    res.status = 503;
    res.set_header("Retry-After", "10");
    res.set_header("Cache-Control", "no-store");
    res.set_content(
        "实时面板的连接已满（最多 " + std::to_string(limits.maxLive) + " 个），请稍后再试。\n",
        "text/plain; charset=utf-8");
    return;
  }
  res.set_header("Cache-Control", "no-store");
  struct Follow {
    bool started = false;
    bool ending = false;
    std::uint64_t seen = 0;
    std::chrono::steady_clock::time_point until;
  };
  auto follow = std::make_shared<Follow>();
  follow->until = std::chrono::steady_clock::now() + limits.lifetime;
  const auto ping = std::chrono::duration_cast<std::chrono::milliseconds>(limits.ping);
  res.set_chunked_content_provider(
      "text/event-stream",
      [&feed, follow, ping](size_t, httplib::DataSink& sink) {
        auto event = [](const char* name, const std::string& data) {
          return std::string("event: ") + name + "\ndata: " + data + "\n\n";
        };
        std::string out;
        if (follow->ending) {
          sink.done();  // after "again": the page comes back at once, for the state then
          return true;
        }
        if (!follow->started) {
          follow->started = true;
          const auto now = feed.Current();
          follow->seen = now.version;
          out = "retry: 2000\n\n" + event(live::kStateEvent, *now.json);
        } else {
          const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
              follow->until - std::chrono::steady_clock::now());
          decltype(feed.Current()) next;
          if (left.count() <= 0) {
            follow->ending = true;
            out = event(live::kAgainEvent, "");
          } else if (feed.WaitForChange(follow->seen, std::min(ping, left), &next)) {
            follow->seen = next.version;
            out = event(live::kStateEvent, *next.json);
          } else if (feed.Stopped()) {
            return false;
          } else {
            out = event(live::kPingEvent, "");
          }
        }
        return sink.write(out.data(), out.size());
      },
      [&live](bool) { live.fetch_sub(1); });
}

}  // namespace web

#endif  // BRENNA_WEB_EVENTSTREAM_H
