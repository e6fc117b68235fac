// ExecutionState - keeps the screen on while the Windows window runs: the
// thread that holds it tells Windows the display and the system are needed
// (SetThreadExecutionState), so neither the screensaver nor the power
// settings blank the screen the hall glances at. Held and released on the
// window's thread, which lives as long as the window.
#ifndef BRENNA_WINAPP_EXECUTIONSTATE_H
#define BRENNA_WINAPP_EXECUTIONSTATE_H

#include "monitor/ScreenAwake.h"

class ExecutionStateAwake : public IScreenAwake {
 public:
  ExecutionStateAwake() = default;
  ~ExecutionStateAwake() override;  // Release()
  ExecutionStateAwake(const ExecutionStateAwake&) = delete;
  ExecutionStateAwake& operator=(const ExecutionStateAwake&) = delete;

  void Hold() override;
  void Release() override;
  bool Held() const { return m_held; }

 private:
  bool m_held = false;
};

#endif  // BRENNA_WINAPP_EXECUTIONSTATE_H
