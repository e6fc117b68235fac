// DisplayBoard - how the monitor's loop reaches the value displays of
// whatever window shows them.
//
// The worker's idle state and the result decoder change a display only
// through SetColors and SetText, and find it by its control ID. Each
// window is the real board; tests use a recording fake.
#ifndef BRENNA_MONITOR_DISPLAYBOARD_H
#define BRENNA_MONITOR_DISPLAYBOARD_H

#include <string>

#include "util/Colors.h"

class IValueDisplay {
 public:
  virtual ~IValueDisplay() = default;
  // Stores both colours; nothing changes on the screen until SetText or a paint.
  virtual void SetColors(COLORREF background, COLORREF text) = 0;
  // Stores the text (GBK) and redraws at once. Safe from any thread.
  virtual void SetText(std::string text) = 0;
};

class IDisplayBoard {
 public:
  virtual ~IDisplayBoard() = default;
  // The value display with this control ID, or null when there is none.
  virtual IValueDisplay* ValueDisplay(int controlId) = 0;
};

#endif  // BRENNA_MONITOR_DISPLAYBOARD_H
