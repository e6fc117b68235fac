#include "web/LineWatch.h"

#include <httplib.h>

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>

#include "web/LineClient.h"
#include "web/LiveStateFormat.h"
#include "web/WebText.h"

namespace web {

namespace {

using Document = nlohmann::json;

// An update is a few kilobytes; a line that sends more than this without
// ending an event is sending something else.
constexpr std::size_t kMaxUpdate = 256 * 1024;
constexpr std::size_t kMaxText = 256;
constexpr std::size_t kMaxGroups = 16;
// An update nests four deep ({"line":{"groups":[{...}]}}); anything deeper
// is refused before it is parsed.
constexpr int kMaxDepth = 4;

bool ShallowEnough(const std::string& json) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (char c : json) {
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > kMaxDepth) return false;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return true;
}

std::string Text(const Document& o, const char* key) {
  const auto it = o.find(key);
  if (it == o.end() || !it->is_string()) return std::string();
  return CleanUtf8(it->get_ref<const std::string&>().substr(0, kMaxText));
}

std::int64_t Number(const Document& o, const char* key, std::int64_t max) {
  const auto it = o.find(key);
  if (it == o.end() || !it->is_number_integer()) return 0;
  if (it->is_number_unsigned())
    return it->get<std::uint64_t>() > static_cast<std::uint64_t>(max) ? 0 : it->get<std::int64_t>();
  const std::int64_t n = it->get<std::int64_t>();
  return n < 0 || n > max ? 0 : n;
}

constexpr std::int64_t kAny = std::numeric_limits<std::int64_t>::max();

std::string NoStateWithin(std::chrono::milliseconds t) {
  return "no state within " + std::to_string(t.count()) + " ms of the connection";
}

// One event of the stream: its name and data ("event:" and "data:" lines).
void ReadEvent(const std::string& block, std::string* name, std::string* data) {
  std::size_t at = 0;
  while (at <= block.size()) {
    std::size_t end = block.find('\n', at);
    if (end == std::string::npos) end = block.size();
    std::string line = block.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto colon = line.find(':');
    const std::string field = line.substr(0, colon);
    std::string value = colon == std::string::npos ? std::string() : line.substr(colon + 1);
    if (!value.empty() && value[0] == ' ') value.erase(0, 1);
    if (field == "event") *name = value;
    if (field == "data") *data += (data->empty() ? "" : "\n") + value;
    at = end + 1;
  }
}

}  // namespace

bool ReadLineState(const std::string& text, LineView* view) {
  if (!ShallowEnough(text)) return false;
  const Document j = Document::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) return false;
  const auto running = j.find(live::kRunning);
  if (!j.contains(live::kTitle) || running == j.end() || !running->is_boolean()) return false;
  view->title = Text(j, live::kTitle);
  view->running = running->get<bool>();
  view->head = Text(j, live::kHead);
  view->detail = Text(j, live::kDetail);
  const auto idle = j.find(live::kIdle);
  view->idle = idle != j.end() && idle->is_object();
  view->idleHead = view->idle ? Text(*idle, live::kHead) : std::string();
  view->idleDetail = view->idle ? Text(*idle, live::kDetail) : std::string();
  view->name.clear();
  view->lastResultUtcMs = 0;
  view->todayKnown = false;
  view->todayResults = view->todayVetoed = 0;
  view->groups.clear();
  const auto line = j.find(live::kLine);
  if (line != j.end() && line->is_object()) {
    view->name = Text(*line, live::kName);
    view->lastResultUtcMs = Number(*line, live::kLast, kAny);
    const auto today = line->find(live::kToday);
    if (today != line->end() && today->is_object()) {
      view->todayKnown = true;
      view->todayResults = Number(*today, live::kTodayResults, kAny);
      view->todayVetoed = Number(*today, live::kTodayVetoed, kAny);
    }
    const auto groups = line->find(live::kGroups);
    if (groups != line->end() && groups->is_array()) {
      for (const Document& g : *groups) {
        if (view->groups.size() == kMaxGroups) break;
        if (!g.is_object()) continue;
        GroupView v;
        v.group = Text(g, live::kGroup);
        v.resultId = Number(g, live::kResult, kAny);
        v.shownUtcMs = Number(g, live::kShown, kAny);
        v.operatorText = Text(g, live::kOperator);
        v.judge = static_cast<int>(Number(g, live::kJudge, 9));
        v.vetoes = static_cast<int>(Number(g, live::kVetoes, 10000));
        view->groups.push_back(std::move(v));
      }
    }
  }
  view->known = true;
  return true;
}

LineWatch::LineWatch(SiteLine line, WatchTiming timing, std::function<void()> changed,
                     std::function<std::int64_t()> clock)
    : line_(std::move(line)),
      timing_(timing),
      changed_(std::move(changed)),
      clock_(std::move(clock)) {
  view_.sinceUtcMs = clock_();
}

LineWatch::~LineWatch() { Stop(); }

void LineWatch::Start() {
  if (thread_.joinable()) return;
  {
    MutexLock hold(lock_);
    running_ = true;
  }
  thread_ = std::thread([this] {
    Run();
    MutexLock hold(lock_);
    running_ = false;
    wake_.notify_all();
  });
}

void LineWatch::Stop() {
  {
    MutexLock hold(lock_);
    stopped_ = true;
    wake_.notify_all();
    // Ends a connection being read at once (the library shuts its socket);
    // one still being made when the stop came, as soon as it is there.
    while (running_) {
      if (client_ != nullptr) client_->stop();
      wake_.wait_for(lock_, std::chrono::milliseconds(50));
    }
  }
  if (thread_.joinable()) thread_.join();
}

bool LineWatch::Stopping() const {
  MutexLock hold(lock_);
  return stopped_;
}

LineView LineWatch::Current() const {
  MutexLock hold(lock_);
  return view_;
}

void LineWatch::Run() {
  using Clock = std::chrono::steady_clock;
  std::chrono::milliseconds step{0};
  while (true) {
    const auto began = Clock::now();
    bool stated = false;
    const Ended ended = Follow(&stated);
    if (ended == Ended::kStopped) return;
    if (ended == Ended::kAgain) continue;  // as the line asked: at once
    // A line that was up is tried again soon; one that keeps failing
    // less often, but never so seldom that its return goes unseen for long:
    // the step is counted from the start of the attempt that failed.
    step = stated || step.count() == 0 ? timing_.firstRetry : std::min(step * 2, timing_.lastRetry);
    const auto next = began + step;
    MutexLock hold(lock_);
    while (!stopped_ && Clock::now() < next) wake_.wait_until(lock_, next);
    if (stopped_) return;
  }
}

LineWatch::Ended LineWatch::Follow(bool* stated) {
  using Clock = std::chrono::steady_clock;
  bool silent = false;
  Clock::time_point connected{};
  // Called while the connection waits for the line: a line that took it
  // but has sent no state by now is said to be silent.
  auto tick = [&] {
    const auto now = Clock::now();
    if (connected == Clock::time_point{}) connected = now;
    if (silent || *stated || now - connected < timing_.firstState) return;
    silent = true;
    Failed(LineView::Reach::kSilent, NoStateWithin(timing_.firstState));
  };
  LineClient client(line_.host, line_.port, timing_.silence, tick);
  client.set_connection_timeout(timing_.connect);
  client.set_write_timeout(timing_.connect);
  {
    MutexLock hold(lock_);
    if (stopped_) return Ended::kStopped;
    client_ = &client;
  }
  httplib::Headers headers = {{"Host", line_.Address()}, {"Accept", "text/event-stream"}};
  // The token goes to the line alone, in this header; never to a browser.
  if (!line_.token.empty()) headers.emplace("Authorization", "Bearer " + line_.token);
  int status = 0;
  std::string buffer;
  Ended ended = Ended::kFailed;
  bool garbled = false;
  client.Get(
      "/events", headers,
      [&](const httplib::Response& r) {
        status = r.status;
        // A web page, or any answer but the line's updates, is no line.
        garbled = r.status == 200 &&
                  r.get_header_value("Content-Type").rfind("text/event-stream", 0) != 0;
        return r.status == 200 && !garbled;
      },
      [&](const char* data, size_t n) {
        client.Delivered();
        buffer.append(data, n);
        if (TakeEvents(&buffer, &ended, stated)) return !Stopping();
        garbled = ended == Ended::kFailed;
        return false;
      });
  {
    MutexLock hold(lock_);
    client_ = nullptr;
    if (stopped_) return Ended::kStopped;
  }
  if (ended == Ended::kAgain) return ended;
  Classify(client, status, garbled, silent && !*stated);
  return Ended::kFailed;
}

void LineWatch::Classify(const LineClient& client, int status, bool garbled, bool silent) {
  using Reach = LineView::Reach;
  if (status == 403) {
    Failed(Reach::kRefused, "403 Forbidden");
  } else if (status == 503) {
    Failed(Reach::kBusy, "503 Service Unavailable");
  } else if (garbled || client.OverLimit()) {
    Failed(Reach::kGarbled,
           client.OverLimit() ? "an answer without end" : "an update that is none");
  } else if (status != 0 && status != 200) {
    Failed(Reach::kGarbled, "HTTP status " + std::to_string(status));
  } else if (status == 0 && client.Received() > 0) {
    Failed(Reach::kGarbled, "an answer that is no HTTP");
  } else if (silent) {
    Failed(Reach::kSilent, NoStateWithin(timing_.firstState));
  } else {
    Failed(Reach::kUnreachable, client.Connected() ? "the connection ended" : "no connection");
  }
}

bool LineWatch::TakeEvents(std::string* buffer, Ended* ended, bool* stated) {
  // Of the states that came together only the last is read: a page shows
  // no more than that.
  std::string latest;
  bool state = false, again = false;
  std::size_t at = 0;
  for (std::size_t end; !again && (end = buffer->find("\n\n", at)) != std::string::npos;
       at = end + 2) {
    std::string name, data;
    ReadEvent(buffer->substr(at, end - at), &name, &data);
    again = name == live::kAgainEvent;
    if (name != live::kStateEvent) continue;  // a ping, the retry time
    latest = std::move(data);
    state = true;
  }
  buffer->erase(0, at);
  if (state) {
    LineView view = Current();
    if (!ReadLineState(latest, &view)) {
      *ended = Ended::kFailed;
      return false;
    }
    *stated = true;
    Update(view);
  }
  if (again) {
    *ended = Ended::kAgain;
    return false;
  }
  if (buffer->size() <= kMaxUpdate) return true;
  *ended = Ended::kFailed;
  return false;
}

void LineWatch::Failed(LineView::Reach reach, const std::string& why) {
  {
    MutexLock hold(lock_);
    if (view_.reach == reach && view_.why == why) return;
    if (view_.reach != reach) view_.sinceUtcMs = clock_();
    view_.reach = reach;
    view_.why = why;
  }
  changed_();
}

void LineWatch::Update(const LineView& view) {
  {
    MutexLock hold(lock_);
    const std::int64_t since = view_.reach == LineView::Reach::kUp ? view_.sinceUtcMs : clock_();
    view_ = view;
    view_.reach = LineView::Reach::kUp;
    view_.sinceUtcMs = since;
    view_.why.clear();
  }
  changed_();
}

}  // namespace web
