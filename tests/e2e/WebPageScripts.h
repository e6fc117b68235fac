// WebPageScripts - what the browser tests read off brenna-web's pages with
// JavaScript, and a request as a program elsewhere on the LAN sends it;
// shared by every test that looks at them (tests/e2e/WebViewTest.cpp,
// WebViewAcrossSystemsTest.cpp).
#ifndef BRENNA_E2E_WEBPAGESCRIPTS_H
#define BRENNA_E2E_WEBPAGESCRIPTS_H

#include <string>

#include "TestSocket.h"

// Every value display of the page: its text, colours, whether the text is
// drawn and lies inside the display, and where the display sits as a
// share of the panel.
inline constexpr char kReadDisplays[] = R"JS(
(() => {
  const p = document.getElementById('panel').getBoundingClientRect();
  return [...document.querySelectorAll('#panel .vd')].map(vd => {
    const s = vd.firstElementChild, b = vd.getBoundingClientRect(), t = s.getBoundingClientRect();
    return {id: Number(vd.id.slice(1)), text: s.textContent, fg: getComputedStyle(s).color,
            bg: getComputedStyle(vd).backgroundColor,
            drawn: getComputedStyle(s).visibility === 'visible',
            inside: t.left >= b.left - 1 && t.right <= b.right + 1 && t.top >= b.top - 1 &&
                    t.bottom <= b.bottom + 1,
            x: (b.left - p.left) / p.width, y: (b.top - p.top) / p.height,
            w: b.width / p.width, h: b.height / p.height};
  });
})()
)JS";

// What the page's script would have run had a station's text become
// markup: nothing of it may be there.
inline constexpr char kNothingInjected[] =
    "typeof window.pwned === 'undefined' && "
    "document.querySelectorAll('img, i, iframe, .vd b, td b, script:not([src=\"/app.js\"])')"
    ".length === 0";

// What the page says, for a failure's message.
inline constexpr char kPageSummary[] =
    "[location.href, document.title, (document.getElementById('state-head') || {}).textContent, "
    "(document.getElementById('state-detail') || {}).textContent, "
    "(document.getElementById('link') || {}).textContent, "
    "(document.getElementById('d1119') || {}).textContent]";

// GET `path` from the brenna-web at `port` under the PC's LAN name, with
// further header lines; the whole answer.
inline std::string GetFromTheLan(int port, const std::string& path, const std::string& headers) {
  const test_socket::Handle s = test_socket::ConnectLoopback(port);
  const std::string request = "GET " + path +
                              " HTTP/1.1\r\nHost: station-pc:" + std::to_string(port) +
                              "\r\nConnection: close\r\n" + headers + "\r\n";
  test_socket::SendAll(s, request.data(), request.size());
  bool closed = false;
  std::string answer = test_socket::Receive(s, 30000, &closed);
  test_socket::Close(s);
  return answer;
}

#endif  // BRENNA_E2E_WEBPAGESCRIPTS_H
