#include "MonitorScreen.h"

#include <algorithm>
#include <sstream>
#include <thread>

#include "MonitorSession.h"
#include "panel/DialogTemplate.h"
#include "panel/Templates.h"

namespace {

// A short value in the smallest display still covers far more pixels.
constexpr int kTextPixels = 8;

// The box less `margin` pixels on every side: rounding of the proportional
// layout may move an edge by a pixel or two.
ScreenBox Inset(const ScreenBox& b, int margin) {
  return ScreenBox{b.x + margin, b.y + margin, std::max(0, b.width - 2 * margin),
                   std::max(0, b.height - 2 * margin)};
}

std::string Describe(const ScreenBox& b) {
  std::ostringstream s;
  s << b.width << "x" << b.height << "+" << b.x << "+" << b.y;
  return s.str();
}

}  // namespace

ScreenBox ControlOnScreen(int controlId, const ScreenBox& client) {
  const DlgTemplate& tpl = MainDialogTemplate();
  const DlgControl* ctl = FindControl(tpl, controlId);
  if (ctl == nullptr) return ScreenBox{};
  const CRect designed = DluToPixels(tpl.rect);
  const CRect px = DluToPixels(ctl->rect);
  auto sx = [&](int v) { return client.x + v * client.width / designed.Width(); };
  auto sy = [&](int v) { return client.y + v * client.height / designed.Height(); };
  return ScreenBox{sx(px.left), sy(px.top), sx(px.right) - sx(px.left), sy(px.bottom) - sy(px.top)};
}

void ScreenChecks::Shows(int displayId, Rgb color, const char* what) {
  const ScreenBox box = Inset(ControlOnScreen(displayId, m_client), 3);
  const int n = m_image.Count(box, color);
  if (n < kTextPixels)
    Fail(std::string(what) + ": display " + std::to_string(displayId) + " at " + Describe(box) +
         " has " + std::to_string(n) + " pixels of " + ToString(color));
}

void ScreenChecks::Lacks(int displayId, Rgb color, const char* what) {
  const ScreenBox box = Inset(ControlOnScreen(displayId, m_client), 3);
  const int n = m_image.Count(box, color);
  if (n != 0)
    Fail(std::string(what) + ": display " + std::to_string(displayId) + " at " + Describe(box) +
         " still has " + std::to_string(n) + " pixels of " + ToString(color));
}

void ScreenChecks::Panel(int panelId, Rgb color, const char* what) {
  const ScreenBox box = Inset(ControlOnScreen(panelId, m_client), 3);
  const int corner = 4;
  const ScreenBox corners[] = {
      {box.x, box.y, corner, corner},
      {box.x + box.width - corner, box.y, corner, corner},
      {box.x, box.y + box.height - corner, corner, corner},
      {box.x + box.width - corner, box.y + box.height - corner, corner, corner}};
  for (const ScreenBox& c : corners) {
    if (m_image.Count(c, color) != corner * corner)
      Fail(std::string(what) + ": panel corner at " + Describe(c) + " is " +
           ToString(m_image.Pixel(c.x, c.y)) + ", not " + ToString(color));
  }
  if (m_image.Count(box, kWhite) < kTextPixels)
    Fail(std::string(what) + ": no white caption in panel at " + Describe(box));
}

std::vector<std::string> LookUntilShown(MonitorSession& session, const std::string& pngPath,
                                        const std::function<void(ScreenChecks&)>& checks,
                                        std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::vector<std::string> failures;
  do {
    std::string error;
    ScreenBox client;
    ScreenImage image;
    if (!session.display().Geometry(session.MainWindow(), &client)) {
      failures = {"the main window is not there"};
    } else if (!session.display().Screenshot(pngPath, &error) ||
               !image.Load(pngPath, session.work(), &error)) {
      failures = {error};
    } else {
      ScreenChecks check(image, client);
      checks(check);
      failures = check.failures();
    }
    if (failures.empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  } while (std::chrono::steady_clock::now() < deadline);
  for (std::string& f : failures) f += " (screenshot " + pngPath + ")";
  return failures;
}
