#include "web/WebSettings.h"

#include <algorithm>
#include <cstdlib>

#include "platform/ArchiveFolder.h"
#include "platform/FileOps.h"
#include "platform/FileStore.h"
#include "platform/StreamSocket.h"
#include "util/PrivateProfile.h"

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

// A whole number within [min, max], nothing else on the line.
bool ParseCount(const std::string& text, int min, int max, int* value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const int v = std::atoi(text.c_str());
  if (v < min || v > max) return false;
  *value = v;
  return true;
}

}  // namespace

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

std::string DefaultSettingsPath() {
  const std::string folder = SettingsFolder();
  return folder.empty() ? std::string() : JoinPath(folder, "brenna-web.ini");
}

WebSettings ReadWebSettings(const std::string& path, std::vector<std::string>* warnings) {
  WebSettings s;
  if (path.empty()) return s;
  std::string text;
  const FileStore::ReadResult got = FileStore::System().Read(path, &text);
  if (got != FileStore::ReadResult::kOk && got != FileStore::ReadResult::kMissing)
    warnings->push_back("settings file " + path + " not read: " + FileStore::Why(got) +
                        "; every setting its default");
  // An editor's UTF-8 byte order mark is no part of the first line.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
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
  return s;
}

}  // namespace web
