#include "web/WebSettings.h"

#include <algorithm>
#include <cstdlib>

#include "platform/Gbk.h"
#include "platform/StreamSocket.h"
#include "reports/SettingsFile.h"
#include "util/PrivateProfile.h"
#include "web/WebText.h"

namespace web {

namespace {

constexpr char kSection[] = "brenna-web";

bool ParsePort(const std::string& text, int* port) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const int p = std::atoi(text.c_str());
  if (p < 1 || p > 65535) return false;
  *port = p;
  return true;
}

}  // namespace

bool ParseCount(const std::string& text, int min, int max, int* value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const int v = std::atoi(text.c_str());
  if (v < min || v > max) return false;
  *value = v;
  return true;
}

bool ParseLineName(const std::string& text, std::string* utf8) {
  // Valid UTF-8 is taken as such; anything else as GBK. A byte that is
  // neither, or a control character, makes it no name.
  std::string name = CleanUtf8(text) == text ? text : GbkToUtf8(text);
  if (name.empty() || name.size() > kMaxLineName || CleanUtf8(name) != name ||
      name.find("\xEF\xBF\xBD") != std::string::npos)
    return false;
  *utf8 = std::move(name);
  return true;
}

bool ListenAddress::Loopback() const {
  std::uint32_t v4 = 0;
  if (stream_socket::ParseIpv4(host, &v4)) return (v4 >> 24) == 127;
  return host == "::1";
}

std::string ListenAddress::Text() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool ParseListenAddress(const std::string& text, ListenAddress* out) {
  ListenAddress a;
  std::string host, port;
  if (!text.empty() && text[0] == '[') {
    const auto close = text.find("]:");
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
    if (!stream_socket::ParseIpv6(host)) return false;
  } else {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host == "localhost") host = "127.0.0.1";
    std::uint32_t v4 = 0;
    if (!stream_socket::ParseIpv4(host, &v4)) return false;
  }
  if (!ParsePort(port, &a.port)) return false;
  a.host = host;
  *out = a;
  return true;
}

std::string DefaultSettingsPath() { return reports::DefaultSettingsFile(); }

std::string SettingsText(const std::string& path, std::vector<std::string>* warnings) {
  return reports::SettingsText(path, warnings);
}

WebSettings ReadWebSettings(const std::string& path, std::vector<std::string>* warnings) {
  WebSettings s;
  if (path.empty()) return s;
  const std::string text = SettingsText(path, warnings);
  auto read = [&](const char* key) {
    return GetPrivateProfileStringFromText(kSection, key, "", text);
  };
  auto refuse = [&](const char* key, const std::string& value, const std::string& range,
                    const std::string& used) {
    warnings->push_back(std::string(key) + "=" + value + " in section [" + kSection + "] of " +
                        path + " is not " + range + ": " + used + " used");
  };

  const std::string listen = read("Listen");
  if (!listen.empty() && !ParseListenAddress(listen, &s.listen))
    refuse("Listen", listen, "an address and port such as 127.0.0.1:10088 or 0.0.0.0:10088",
           s.listen.Text());

  const std::string connections = read("MaxConnections");
  if (!connections.empty() &&
      !ParseCount(connections, kConnectionsBesideLive + 1, kMaxConnectionsLimit, &s.maxConnections))
    refuse("MaxConnections", connections,
           "a number from " + std::to_string(kConnectionsBesideLive + 1) + " to " +
               std::to_string(kMaxConnectionsLimit),
           std::to_string(s.maxConnections));

  const int liveMax = s.maxConnections - kConnectionsBesideLive;
  const std::string live = read("MaxLiveClients");
  if (!live.empty() && !ParseCount(live, 1, liveMax, &s.maxLiveClients)) {
    s.maxLiveClients = std::min(kDefaultMaxLiveClients, liveMax);
    refuse("MaxLiveClients", live, "a number from 1 to " + std::to_string(liveMax),
           std::to_string(s.maxLiveClients));
  } else if (live.empty()) {
    s.maxLiveClients = std::min(kDefaultMaxLiveClients, liveMax);
  }

  const std::string name = read("LineName");
  if (!name.empty() && !ParseLineName(name, &s.lineName))
    refuse(
        "LineName", CleanUtf8(name),
        "a name of at most " + std::to_string(kMaxLineName) + " bytes without control characters",
        "no name");

  const std::string idle = read("IdleMinutes");
  if (!idle.empty() && !ParseCount(idle, 1, 1440, &s.idleMinutes))
    refuse("IdleMinutes", idle, "a number from 1 to 1440", std::to_string(s.idleMinutes));

  const std::string again = read("LiveReconnect");
  if (!again.empty() && !ParseCount(again, 5, 3600, &s.liveReconnectSeconds))
    refuse("LiveReconnect", again, "a number of seconds from 5 to 3600",
           std::to_string(s.liveReconnectSeconds));
  return s;
}

}  // namespace web
