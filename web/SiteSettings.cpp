#include "web/SiteSettings.h"

#include "platform/StreamSocket.h"
#include "util/PrivateProfile.h"
#include "web/PrivateFile.h"
#include "web/WebText.h"

namespace web {

namespace {

constexpr char kSection[] = "site";
constexpr std::size_t kMaxSettingsFile = 1024 * 1024;

// A host name as DNS spells it: letters, digits, hyphens and dots.
bool HostName(const std::string& host) {
  if (host.empty() || host.size() > 253 || host.front() == '.' || host.front() == '-') return false;
  for (char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::string SiteLine::Address() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string SiteLine::Url() const { return "http://" + Address() + "/"; }

bool ParseLineAddress(const std::string& given, SiteLine* line) {
  std::string text = given;
  if (text.rfind("http://", 0) == 0) text.erase(0, 7);
  if (!text.empty() && text.back() == '/') text.pop_back();
  std::string host, port;
  if (!text.empty() && text[0] == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    const std::string rest = text.substr(close + 1);
    if (!rest.empty() && rest[0] != ':') return false;
    if (!rest.empty()) port = rest.substr(1);
    if (!stream_socket::ParseIpv6(host)) return false;
  } else {
    const auto colon = text.find(':');
    host = text.substr(0, colon);
    if (colon != std::string::npos) port = text.substr(colon + 1);
    if (!HostName(host)) return false;
  }
  int number = kDefaultPort;
  if (!port.empty() && !ParseCount(port, 1, 65535, &number)) return false;
  line->host = host;
  line->port = number;
  return true;
}

SiteSettings ReadSiteSettings(const std::string& path, std::vector<std::string>* warnings) {
  SiteSettings s;
  const std::string text = SettingsText(path, warnings);
  auto read = [&](const std::string& key) {
    return GetPrivateProfileStringFromText(kSection, key.c_str(), "", text);
  };
  auto refuse = [&](const std::string& key, const std::string& value, const std::string& what,
                    const std::string& used) {
    warnings->push_back(key + "=" + value + " in section [" + kSection + "] of " + path +
                        " is not " + what + ": " + used);
  };

  const std::string listen = read("Listen");
  if (!listen.empty() && !ParseListenAddress(listen, &s.listen))
    refuse("Listen", listen, "an address and port such as 127.0.0.1:10089",
           s.listen.Text() + " used");

  for (int n = 1; n <= kMaxSiteLines; ++n) {
    const std::string number = std::to_string(n);
    const std::string address = read("Line" + number);
    if (address.empty()) continue;
    SiteLine line;
    line.number = n;
    if (!ParseLineAddress(address, &line)) {
      refuse("Line" + number, CleanUtf8(address), "an address such as 192.168.1.21:10088",
             "the line is left out");
      continue;
    }
    line.token = read("Token" + number);
    if (!line.token.empty() && !IsHex(line.token, 64)) {
      // Never repeated into a log: it may be most of a token.
      refuse("Token" + number, "...", "64 hexadecimal digits (the line's web-token file)",
             "the line is left out");
      continue;
    }
    const std::string name = read("Name" + number);
    if (!name.empty() && !ParseLineName(name, &line.name))
      refuse(
          "Name" + number, CleanUtf8(name),
          "a name of at most " + std::to_string(kMaxLineName) + " bytes without control characters",
          "the line's own name used");
    s.lines.push_back(line);
  }
  return s;
}

std::string TokensExposed(const std::string& path) {
  std::string text, why;
  if (ReadPrivateFile(path, kMaxSettingsFile, &text, &why) != PrivateRead::kRefused)
    return std::string();
  return why;
}

}  // namespace web
