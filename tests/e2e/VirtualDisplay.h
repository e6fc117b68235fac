// VirtualDisplay - a private X server (Xvfb, 1280 x 1024 x 24, no TCP
// listener, display number of its own choosing) with the openbox window
// manager, and the few questions the tests ask it: which windows a program
// shows, their titles and rectangles, a polite close request, a screenshot.
//
// Window questions go through Xlib directly rather than through xprop's
// text output, which depends on the locale for anything but ASCII.
#ifndef BRENNA_E2E_VIRTUALDISPLAY_H
#define BRENNA_E2E_VIRTUALDISPLAY_H

#include <chrono>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "DisplayServer.h"

struct _XDisplay;

struct ScreenBox {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

class VirtualDisplay {
 public:
  using WindowId = unsigned long;

  VirtualDisplay() = default;
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // Starts the server and the window manager (logs in logDir, environment
  // additions `env` for both) and waits until the window manager owns the
  // screen. False with the reason in *error.
  bool Start(const std::string& logDir, const std::vector<std::string>& env, std::string* error);
  // Closes the connection, stops the window manager and the server.
  void Stop();

  // ":N"
  const std::string& name() const { return m_name; }
  // What a program needs in its environment to show up here.
  std::vector<std::string> ClientEnv() const;

  // Mapped top-level windows whose WM_CLASS class is `wmClass`.
  std::vector<WindowId> FindWindows(const std::string& wmClass);
  // The window's title as UTF-8 (_NET_WM_NAME, else WM_NAME); empty when
  // it has none or is gone.
  std::string Title(WindowId window);
  // Whether the window declares itself a dialog (_NET_WM_WINDOW_TYPE).
  bool IsDialog(WindowId window);
  // Whether the window manager offers this action on the window (an atom
  // name of _NET_WM_ALLOWED_ACTIONS, such as "_NET_WM_ACTION_RESIZE").
  bool Offers(WindowId window, const char* action);
  // The window's own area (inside the window manager's frame) in screen
  // coordinates.
  bool Geometry(WindowId window, ScreenBox* box);
  // Asks the window to close, as the close box does (WM_DELETE_WINDOW).
  bool RequestClose(WindowId window);

  // Sends a key press and release (a keysym name such as "Return") to the
  // window, as the keyboard would while the window has the focus.
  bool PressKey(WindowId window, const char* keysymName);

  // The whole screen as a PNG file (ImageMagick's import).
  bool Screenshot(const std::string& pngPath, std::string* error);

 private:
  DisplayServer m_server;
  ChildProcess m_windowManager;
  _XDisplay* m_display = nullptr;
  std::string m_name;
  std::vector<std::string> m_env;
};

#endif  // BRENNA_E2E_VIRTUALDISPLAY_H
