#include "web/AlertRules.h"

#include <algorithm>

#include "archive/ArchiveTime.h"
#include "util/PrivateProfile.h"
#include "web/WebSettings.h"
#include "web/WebText.h"

namespace web {

namespace {

constexpr char kSection[] = "Alerts";
constexpr std::int64_t kMinuteMs = 60000;
constexpr std::size_t kMaxWebhook = 2048;

std::string Clock(std::int64_t utcMs) { return archive::ToLocal(utcMs).text.substr(11, 8); }

// "3 分钟", "45 秒": how long, in the words a supervisor reads.
std::string Span(std::int64_t ms) {
  const std::int64_t s = std::max<std::int64_t>(ms, 0) / 1000;
  if (s < 120) return std::to_string(s) + " 秒";
  if (s < 7200) return std::to_string(s / 60) + " 分钟";
  return std::to_string(s / 3600) + " 小时 " + std::to_string(s / 60 % 60) + " 分钟";
}

bool IsWebhook(const std::string& url) {
  const bool scheme = url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
  const std::size_t host = url.find("://") + 3;
  return scheme && url.size() > host && url.size() <= kMaxWebhook && url[host] != '/' &&
         CleanUtf8(url) == url && url.find_first_of(" \t") == std::string::npos;
}

}  // namespace

AlertSettings ReadAlertSettings(const std::string& text, const std::string& path,
                                std::vector<std::string>* warnings) {
  AlertSettings s;
  auto read = [&](const char* key) {
    return GetPrivateProfileStringFromText(kSection, key, "", text);
  };
  auto refuse = [&](const std::string& what) {
    warnings->push_back(what + " in section [" + kSection + "] of " + path);
  };
  const std::string hook = read("Webhook");
  if (!hook.empty() && !IsWebhook(hook))
    refuse("Webhook is not an http:// or https:// address (no alerts are sent);");
  else
    s.webhook = hook;
  const struct {
    const char* key;
    int min, max;
    int* value;
  } counts[] = {{"MonitorDownSeconds", 1, 86400, &s.monitorDownSeconds},
                {"StationSilentMinutes", 0, 1440, &s.stationSilentMinutes},
                {"VetoesPerHour", 0, 100000, &s.vetoesPerHour}};
  for (const auto& c : counts) {
    const std::string value = read(c.key);
    if (!value.empty() && !ParseCount(value, c.min, c.max, c.value))
      refuse(std::string(c.key) + "=" + CleanUtf8(value) + " is not a number from " +
             std::to_string(c.min) + " to " + std::to_string(c.max) + ": " +
             std::to_string(*c.value) + " used,");
  }
  return s;
}

AlertRules::AlertRules(AlertSettings settings, std::string line, std::int64_t startUtcMs)
    : settings_(std::move(settings)), line_(std::move(line)), start_(startUtcMs) {
  if (line_.empty()) line_ = "检测线";
}

std::string AlertRules::Say(const std::string& text) const { return "【" + line_ + "】" + text; }

std::vector<AlertMessage> AlertRules::Look(const LineNow& now) {
  std::vector<AlertMessage> out;
  Monitor(now, &out);
  // A group's silence and its vetoes are the monitor's to tell while it
  // runs; while it does not, its own alert says enough.
  if (now.running) {
    Silent(now, &out);
    Vetoes(now, &out);
  }
  return out;
}

void AlertRules::Monitor(const LineNow& now, std::vector<AlertMessage>* out) {
  if (now.running) {
    if (monitorDown_)
      out->push_back(
          {"monitor", true,
           Say("恢复：监控程序又在运行（停了 " + Span(now.nowUtcMs - downSince_) + "）")});
    monitorDown_ = false;
    return;
  }
  const std::int64_t since = std::max(now.lastHeardUtcMs, start_);
  if (monitorDown_ || now.nowUtcMs - since < settings_.monitorDownSeconds * 1000LL) return;
  monitorDown_ = true;
  downSince_ = since;
  out->push_back({"monitor", false,
                  Say("监控程序未运行：" +
                      (now.lastHeardUtcMs > 0 ? "最后联系 " + Clock(now.lastHeardUtcMs) +
                                                    (now.stopped ? "（已退出）" : "")
                                              : std::string("没有它的运行记录")) +
                      "，已 " + Span(now.nowUtcMs - since))});
}

void AlertRules::Silent(const LineNow& now, std::vector<AlertMessage>* out) {
  const std::int64_t quiet = settings_.stationSilentMinutes * kMinuteMs;
  for (const GroupActivity& g : now.groups) {
    const auto said = silent_.find(g.group);
    if (said != silent_.end()) {
      if (g.lastShownUtcMs <= said->second) continue;
      silent_.erase(said);
      out->push_back({"silent " + g.group, true, Say("恢复：" + g.group + "又有检测结果")});
      continue;
    }
    // A group that never showed a result has no station to miss.
    if (quiet <= 0 || g.lastShownUtcMs == 0) continue;
    if (now.nowUtcMs - std::max(g.lastShownUtcMs, start_) < quiet) continue;
    const bool othersWork = std::any_of(now.groups.begin(), now.groups.end(), [&](auto& o) {
      return o.group != g.group && o.lastShownUtcMs > 0 && now.nowUtcMs - o.lastShownUtcMs < quiet;
    });
    if (!othersWork) continue;
    silent_[g.group] = g.lastShownUtcMs;
    out->push_back(
        {"silent " + g.group, false,
         Say(g.group + " " + std::to_string(settings_.stationSilentMinutes) +
             " 分钟没有检测结果，其他设备组仍在检测（最后结果 " + Clock(g.lastShownUtcMs) + "）")});
  }
}

void AlertRules::Vetoes(const LineNow& now, std::vector<AlertMessage>* out) {
  const int most = settings_.vetoesPerHour;
  for (const GroupActivity& g : now.groups) {
    bool& said = vetoes_[g.group];
    const std::string n = std::to_string(most);
    if (!said && most > 0 && g.vetoesLastHour >= most) {
      said = true;
      out->push_back({"vetoes " + g.group, false,
                      Say(g.group + "一小时内 " + std::to_string(g.vetoesLastHour) +
                          " 条结果有否决项（告警线 " + n + " 条）")});
    } else if (said && g.vetoesLastHour < most) {
      said = false;
      out->push_back({"vetoes " + g.group, true,
                      Say("恢复：" + g.group + "一小时内有否决项的结果少于 " + n + " 条")});
    }
  }
}

}  // namespace web
