#include "HeadlessBrowser.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

using json = nlohmann::json;

namespace {

constexpr auto kAnswerLimit = std::chrono::seconds(60);

std::string Base64Decode(const std::string& in) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string out;
  int bits = 0, buffer = 0;
  for (char c : in) {
    const int v = value(c);
    if (v < 0) continue;
    buffer = (buffer << 6) | v;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return out;
}

}  // namespace

HeadlessBrowser::~HeadlessBrowser() { Stop(); }

void HeadlessBrowser::Stop() {
  m_process.Stop(std::chrono::seconds(2));
  if (m_commands >= 0) close(m_commands);
  if (m_answers >= 0) close(m_answers);
  m_commands = m_answers = -1;
}

bool HeadlessBrowser::Start(const std::vector<std::string>& env, const std::string& logPath,
                            int width, int height, std::string* error) {
  int toBrowser[2], fromBrowser[2];
  if (pipe2(toBrowser, O_CLOEXEC) != 0 || pipe2(fromBrowser, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  ChildProcess::Options options;
  options.env = env;
  // Chromium ends at once when the socket it makes under TMPDIR
  // (".../org.chromium.Chromium.XXXXXX/SingletonSocket") would not fit a
  // socket address (107 bytes): a caller's deep TMPDIR, such as a wine
  // prefix's, in a clone checked out deep, must not reach it.
  const std::string own = m_profile.path().string();
  options.env.push_back("TMPDIR=" + (own.size() + 45 <= 107 ? own : std::string("/tmp")));
  options.logPath = logPath;
  options.passFds = {toBrowser[0], fromBrowser[1]};
  const std::string size = std::to_string(width) + "," + std::to_string(height);
  const bool started = m_process.Start(
      {"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
       "--no-first-run", "--disable-background-networking", "--disable-component-update",
       "--disable-sync", "--disable-dev-shm-usage", "--remote-debugging-pipe",
       "--user-data-dir=" + m_profile.file("profile"), "--window-size=" + size, "about:blank"},
      options, error);
  close(toBrowser[0]);
  close(fromBrowser[1]);
  m_commands = toBrowser[1];
  m_answers = fromBrowser[0];
  if (!started) return false;

  std::string result;
  if (!Call("Target.createTarget", R"({"url":"about:blank"})", true, &result, error)) return false;
  const std::string target = json::parse(result).value("targetId", "");
  if (!Call("Target.attachToTarget", json{{"targetId", target}, {"flatten", true}}.dump(), true,
            &result, error))
    return false;
  m_session = json::parse(result).value("sessionId", "");
  return Resize(width, height, false, error);
}

bool HeadlessBrowser::Resize(int width, int height, bool phone, std::string* error) {
  std::string result;
  return Call(
      "Emulation.setDeviceMetricsOverride",
      json{{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", phone}}
          .dump(),
      false, &result, error);
}

bool HeadlessBrowser::Call(const std::string& method, const std::string& paramsJson, bool toBrowser,
                           std::string* result, std::string* error) {
  const int id = m_nextId++;
  json message = {{"id", id}, {"method", method}, {"params", json::parse(paramsJson)}};
  if (!toBrowser) message["sessionId"] = m_session;
  const std::string text = message.dump() + std::string(1, '\0');
  for (std::size_t sent = 0; sent < text.size();) {
    const ssize_t n = write(m_commands, text.data() + sent, text.size() - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = "the browser no longer takes commands (" + m_process.Describe() + ")";
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  const auto deadline = std::chrono::steady_clock::now() + kAnswerLimit;
  for (;;) {
    // Whole messages first; events on the way are passed over.
    for (std::size_t end; (end = m_pending.find('\0')) != std::string::npos;) {
      const std::string one = m_pending.substr(0, end);
      m_pending.erase(0, end + 1);
      const json answer = json::parse(one, nullptr, false);
      if (answer.is_discarded() || !answer.contains("id") || answer["id"] != id) continue;
      if (answer.contains("error")) {
        *error = method + ": " + answer["error"].dump();
        return false;
      }
      *result = answer.value("result", json::object()).dump();
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      *error = method + ": no answer from the browser";
      return false;
    }
    pollfd p{m_answers, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[65536];
    const ssize_t n = read(m_answers, buf, sizeof buf);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      *error = method + ": the browser ended (" + m_process.Describe() + ")";
      return false;
    }
    m_pending.append(buf, static_cast<std::size_t>(n));
  }
}

bool HeadlessBrowser::Navigate(const std::string& url, std::string* error) {
  std::string result;
  if (!Call("Page.navigate", json{{"url", url}}.dump(), false, &result, error)) return false;
  const std::string loaded =
      "document.readyState === 'complete' && location.href === " + json(url).dump();
  return WaitFor(loaded, std::chrono::seconds(60), error);
}

bool HeadlessBrowser::Evaluate(const std::string& expression, std::string* value,
                               std::string* error) {
  std::string result;
  if (!Call(
          "Runtime.evaluate",
          json{{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}}.dump(),
          false, &result, error))
    return false;
  const json r = json::parse(result);
  if (r.contains("exceptionDetails")) {
    *error = "the page's script failed: " + r["exceptionDetails"].dump();
    return false;
  }
  const json& v = r["result"];
  *value = v.contains("value") ? v["value"].dump() : "null";
  return true;
}

bool HeadlessBrowser::WaitFor(const std::string& condition, std::chrono::milliseconds limit,
                              std::string* error) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::string value;
  for (;;) {
    if (!Evaluate("!!(" + condition + ")", &value, error)) return false;
    if (value == "true") return true;
    if (std::chrono::steady_clock::now() >= deadline) {
      *error = "still not so: " + condition;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool HeadlessBrowser::Screenshot(const std::string& pngPath, std::string* error) {
  std::string result;
  if (!Call("Page.captureScreenshot", R"({"format":"png"})", false, &result, error)) return false;
  std::ofstream out(pngPath, std::ios::binary);
  out << Base64Decode(json::parse(result).value("data", ""));
  return static_cast<bool>(out);
}

bool HeadlessBrowser::PrintToPdf(const std::string& pdfPath, int* pages, std::string* error) {
  std::string result;
  if (!Call("Page.printToPDF", R"({"preferCSSPageSize":true,"printBackground":true})", false,
            &result, error))
    return false;
  const std::string pdf = Base64Decode(json::parse(result).value("data", ""));
  std::ofstream out(pdfPath, std::ios::binary);
  out << pdf;
  // Each page is an object of type /Page (the page tree's are /Pages).
  *pages = 0;
  for (std::size_t at = pdf.find("/Type"); at != std::string::npos;
       at = pdf.find("/Type", at + 1)) {
    std::size_t v = pdf.find_first_not_of(" \r\n", at + 5);
    if (v != std::string::npos && pdf.compare(v, 5, "/Page") == 0 &&
        (v + 5 >= pdf.size() || pdf[v + 5] != 's'))
      ++*pages;
  }
  return static_cast<bool>(out);
}

bool HeadlessBrowser::FetchBytes(const std::string& path, std::string* bytes, std::string* error) {
  std::string value;
  const std::string script =
      "fetch(" + json(path).dump() +
      ").then(r => r.arrayBuffer()).then(b => { const u = new Uint8Array(b); let s = ''; "
      "for (let i = 0; i < u.length; i += 8192) s += String.fromCharCode.apply(null, "
      "u.subarray(i, i + 8192)); return btoa(s); })";
  if (!Evaluate(script, &value, error)) return false;
  *bytes = Base64Decode(json::parse(value).get<std::string>());
  return true;
}
