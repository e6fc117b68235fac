// ScreenAwake - keeps the screen on while the monitoring window runs: the
// inspection hall glances at it all day, and a blanked screen shows nothing.
//
// IScreenAwake is what the pipeline asks of the window's platform; on
// Linux it is DBusScreenAwake (app/DBusScreenAwake.h). Qt-free: the
// pipeline holds it without knowing how it is done.
#ifndef BRENNA_MONITOR_SCREENAWAKE_H
#define BRENNA_MONITOR_SCREENAWAKE_H

#include <memory>

class IScreenAwake {
 public:
  virtual ~IScreenAwake() = default;
  // Asks for the screen to stay on. Returns at once; a second call while
  // held changes nothing.
  virtual void Hold() = 0;
  // Lets the screensaver run again; nothing happens when nothing is held.
  virtual void Release() = 0;
};

// The Linux window's default: the desktop's service on the user's session
// bus (SessionBusAddress), never waited for (app/DBusScreenAwake.cpp).
std::unique_ptr<IScreenAwake> CreateSessionScreenAwake();

#endif  // BRENNA_MONITOR_SCREENAWAKE_H
