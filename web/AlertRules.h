// AlertRules - when brenna-web tells the supervisor something is wrong
// (docs/web-view.md, "Alerts"), as data: the settings' [Alerts] section and
// the rules that turn what the line looks like now into alerts, each once,
// each followed by its all-clear once it is over.
//
//   [Alerts]
//   Webhook=https://...            where the alerts go (HTTP POST, JSON)
//   MonitorDownSeconds=60          the monitor not running for this long
//   StationSilentMinutes=30        a group without a result this long while
//                                  another group shows results (0: off)
//   VetoesPerHour=5                this many results with a veto at one
//                                  group within the last hour (0: off)
//
// The rules hold no clock and no thread: they are given the moment and the
// line at it (web/AlertWatch), and answer what to send.
#ifndef BRENNA_WEB_ALERTRULES_H
#define BRENNA_WEB_ALERTRULES_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace web {

inline constexpr int kDefaultMonitorDownSeconds = 60;

struct AlertSettings {
  std::string webhook;  // empty: no alerts
  int monitorDownSeconds = kDefaultMonitorDownSeconds;
  int stationSilentMinutes = 0;  // 0: not watched
  int vetoesPerHour = 0;         // 0: not watched
};

// The section [Alerts] of the settings file's text; every value it does not
// take is said in *warnings (naming key, value and file) and left at its
// default. A webhook is an http:// or https:// address.
AlertSettings ReadAlertSettings(const std::string& settingsText, const std::string& path,
                                std::vector<std::string>* warnings);

// One device group at the moment looked at.
struct GroupActivity {
  std::string group;                // caption, UTF-8
  std::int64_t lastShownUtcMs = 0;  // its last result; 0: none ever
  int vetoesLastHour = 0;           // its results with a veto in the last hour
};

// The line at the moment looked at.
struct LineNow {
  std::int64_t nowUtcMs = 0;
  bool running = false;
  bool stopped = false;             // not running because its run has a stop (a quit)
  std::int64_t lastHeardUtcMs = 0;  // when the monitor was last heard of; 0: never
  std::vector<GroupActivity> groups;
};

// A message for the supervisor: an alert, or the all-clear of one.
struct AlertMessage {
  std::string key;  // which alert ("monitor", "silent 制动设备", ...)
  bool allClear = false;
  std::string text;  // UTF-8, the line's name first
};

class AlertRules {
 public:
  // `line`: the line's name the messages begin with; `startUtcMs`: when
  // brenna-web began to look (a monitor or group already quiet then counts
  // from there).
  AlertRules(AlertSettings settings, std::string line, std::int64_t startUtcMs);

  // What to send now: alerts that have just come about, all-clears of
  // those that are over. Each alert once until its all-clear.
  std::vector<AlertMessage> Look(const LineNow& now);

 private:
  void Monitor(const LineNow& now, std::vector<AlertMessage>* out);
  void Silent(const LineNow& now, std::vector<AlertMessage>* out);
  void Vetoes(const LineNow& now, std::vector<AlertMessage>* out);
  std::string Say(const std::string& text) const;

  AlertSettings settings_;
  std::string line_;
  std::int64_t start_;
  bool monitorDown_ = false;
  std::int64_t downSince_ = 0;
  std::map<std::string, std::int64_t> silent_;  // group -> its last result when it was said
  std::map<std::string, bool> vetoes_;          // group -> said
};

}  // namespace web

#endif  // BRENNA_WEB_ALERTRULES_H
