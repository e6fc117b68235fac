// MonitorScreen - checks of what the monitor's window shows in a screenshot:
// the colour of text in a value display, the legend panels. Controls are
// found where the window puts them: their place in the designed window,
// scaled to the window's current client area.
#ifndef BRENNA_E2E_MONITORSCREEN_H
#define BRENNA_E2E_MONITORSCREEN_H

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ScreenImage.h"

class MonitorSession;

inline const Rgb kRed{255, 0, 0};
inline const Rgb kBlue{0, 0, 255};
inline const Rgb kGreen{0, 255, 0};
inline const Rgb kBlack{0, 0, 0};
inline const Rgb kWhite{255, 255, 255};

// The control's rectangle on screen, for a main window whose client area
// is `client`; empty for an unknown control.
ScreenBox ControlOnScreen(int controlId, const ScreenBox& client);

// What one screenshot should show; every failed expectation is listed.
class ScreenChecks {
 public:
  ScreenChecks(const ScreenImage& image, const ScreenBox& client)
      : m_image(image), m_client(client) {}

  // Text of this colour is drawn in the display.
  void Shows(int displayId, Rgb color, const char* what);
  // No pixel of this colour in the display.
  void Lacks(int displayId, Rgb color, const char* what);
  // The legend panel's corners are its colour and its caption is white.
  void Panel(int panelId, Rgb color, const char* what);

  const std::vector<std::string>& failures() const { return m_failures; }

 private:
  void Fail(std::string text) { m_failures.push_back(std::move(text)); }

  const ScreenImage& m_image;
  ScreenBox m_client;
  std::vector<std::string> m_failures;
};

// The window catches up with what the program did once its event loop has
// run: takes screenshots of the main window into pngPath until `checks`
// finds nothing wrong or `limit` passes. The failures of the last look;
// empty when the screen showed everything.
std::vector<std::string> LookUntilShown(MonitorSession& session, const std::string& pngPath,
                                        const std::function<void(ScreenChecks&)>& checks,
                                        std::chrono::milliseconds limit);

#endif  // BRENNA_E2E_MONITORSCREEN_H
