// HeadlessBrowser - Debian's chromium without a screen, driven the way the
// tests and the benchmark need it: a page opened at an address, JavaScript
// evaluated in it, a screenshot. It is driven over its debugging pipe
// (--remote-debugging-pipe: JSON messages ended by a NUL byte, commands on
// its descriptor 3, answers and events on 4), so no WebSocket is needed.
// Each browser has a fresh profile of its own and dies with the test.
#ifndef BRENNA_E2E_HEADLESSBROWSER_H
#define BRENNA_E2E_HEADLESSBROWSER_H

#include <chrono>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempDir.h"

class HeadlessBrowser {
 public:
  HeadlessBrowser() = default;
  ~HeadlessBrowser();
  HeadlessBrowser(const HeadlessBrowser&) = delete;
  HeadlessBrowser& operator=(const HeadlessBrowser&) = delete;

  // Starts the browser with a page of width x height CSS pixels; its output
  // goes to logPath. False with the reason in *error.
  bool Start(const std::vector<std::string>& env, const std::string& logPath, int width, int height,
             std::string* error);
  // The page becomes width x height CSS pixels, as on a phone (its
  // viewport as the page asks) when `phone`.
  bool Resize(int width, int height, bool phone, std::string* error);
  // Loads the address in the page and waits until it has loaded.
  bool Navigate(const std::string& url, std::string* error);
  // Evaluates a JavaScript expression in the page (a promise is awaited);
  // its value as JSON text in *json ("null" for undefined).
  bool Evaluate(const std::string& expression, std::string* json, std::string* error);
  // Evaluates `condition` until it is true or `limit` passes.
  bool WaitFor(const std::string& condition, std::chrono::milliseconds limit, std::string* error);
  // The page as it is drawn now, as a PNG file.
  bool Screenshot(const std::string& pngPath, std::string* error);
  // The bytes of `path` as the page's own fetch() gets them (its cookies,
  // its origin), untouched by any decoding.
  bool FetchBytes(const std::string& path, std::string* bytes, std::string* error);
  // The page as the browser prints it (its print stylesheet, the page size
  // it asks for), as a PDF file; *pages: how many pages it has.
  bool PrintToPdf(const std::string& pdfPath, int* pages, std::string* error);

  void Stop();

 private:
  // Sends a command (to the page unless `toBrowser`) and waits for its
  // answer; the answer's "result" as JSON text.
  bool Call(const std::string& method, const std::string& paramsJson, bool toBrowser,
            std::string* result, std::string* error);

  ChildProcess m_process;
  TempDir m_profile;
  int m_commands = -1;  // we write, the browser reads (its descriptor 3)
  int m_answers = -1;   // the browser writes, we read (its descriptor 4)
  std::string m_pending;
  int m_nextId = 1;
  std::string m_session;
};

#endif  // BRENNA_E2E_HEADLESSBROWSER_H
