// WebViewFixture - what the browser tests of brenna-web share
// (WebViewTest.cpp, WebViewDayTest.cpp): the installed monitor on a
// virtual display with a brenna-web beside it and a headless chromium, the
// page sizes, colours as a page and a screen give them, a settings file of
// its owner's alone, and a script that counts the moments a page looked
// as if it had lost its line.
#ifndef BRENNA_E2E_WEBVIEWFIXTURE_H
#define BRENNA_E2E_WEBVIEWFIXTURE_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "FreePort.h"
#include "HeadlessBrowser.h"
#include "MonitorScreen.h"
#include "MonitorSession.h"
#include "Station.h"
#include "TempDir.h"
#include "WebPageScripts.h"

using json = nlohmann::json;

namespace web_view_fixture {

inline constexpr auto kPatience = std::chrono::seconds(60);
inline constexpr int kPageWidth = 1280;
inline constexpr int kPageHeight = 900;
inline constexpr int kPhoneWidth = 390;
inline constexpr int kPhoneHeight = 844;

inline std::string Css(COLORREF c) {
  return "rgb(" + std::to_string(GetRValue(c)) + ", " + std::to_string(GetGValue(c)) + ", " +
         std::to_string(GetBValue(c)) + ")";
}

inline Rgb ScreenColour(COLORREF c) {
  return Rgb{static_cast<uint8_t>(GetRValue(c)), static_cast<uint8_t>(GetGValue(c)),
             static_cast<uint8_t>(GetBValue(c))};
}

class WebView : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(m_session.StartAndWaitForWindow(&error)) << error << "\n" << m_session.Log();
    m_port = FreePort();
    ASSERT_NE(0, m_port);
    ChildProcess::Options options;
    options.env = m_session.Environment();
    options.logPath = m_session.tree().work() + "/brenna-web.log";
    ASSERT_TRUE(StartListening(&m_web,
                               {BRENNA_WEB_PATH, "--listen", "127.0.0.1:" + std::to_string(m_port)},
                               options, m_port, kPatience, &error))
        << error;
    ASSERT_TRUE(m_browser.Start(m_session.Environment(), m_session.tree().work() + "/chromium.log",
                                kPageWidth, kPageHeight, &error))
        << error;
  }
  void TearDown() override {
    m_browser.Stop();
    m_web.Stop();
  }

  std::string Url(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
  }
  std::string WebLog() {
    return "\nbrenna-web:\n" + ReadFileBytes(m_session.tree().work() + "/brenna-web.log");
  }

  json Eval(const std::string& expression) {
    std::string value, error;
    EXPECT_TRUE(m_browser.Evaluate(expression, &value, &error)) << error;
    return json::parse(value, nullptr, false);
  }
  void WaitFor(const std::string& condition) {
    std::string error, seen;
    if (m_browser.WaitFor(condition, kPatience, &error)) return;
    m_browser.Evaluate(kPageSummary, &seen, &error);
    FAIL() << error << "\nthe page: " << seen << WebLog() << "\nmonitor:\n" << m_session.Log();
  }
  std::map<int, json> Displays() {
    std::map<int, json> byId;
    for (const json& d : Eval(kReadDisplays)) byId[d["id"].get<int>()] = d;
    return byId;
  }

  MonitorSession m_session;
  ChildProcess m_web;
  HeadlessBrowser m_browser;
  int m_port = 0;
};

// A brenna-web.ini of these lines, its owner's alone (it may hold tokens).
inline std::string WriteSettings(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd >= 0) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    ::close(fd);
    if (written == static_cast<ssize_t>(text.size())) return path;
  }
  ADD_FAILURE() << "cannot write " << path;
  return path;
}

// Counts, in the page, every moment it looked as if it had lost its line:
// the panel dimmed or a warning shown over it.
inline constexpr char kCountLosses[] = R"JS(
(() => {
  window.__losses = 0;
  const panel = document.getElementById('panel'), banner = document.getElementById('banner');
  const look = () => {
    if (panel.classList.contains('down') || getComputedStyle(banner).display !== 'none')
      ++window.__losses;
  };
  new MutationObserver(look).observe(panel, {attributes: true, childList: true, subtree: true,
                                             characterData: true});
  return true;
})()
)JS";

}  // namespace web_view_fixture

using namespace web_view_fixture;

#endif  // BRENNA_E2E_WEBVIEWFIXTURE_H
