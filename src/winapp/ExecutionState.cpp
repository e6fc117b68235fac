#include "winapp/ExecutionState.h"

#include <windows.h>

#include "journal/Journal.h"

ExecutionStateAwake::~ExecutionStateAwake() { Release(); }

void ExecutionStateAwake::Hold() {
  if (m_held) return;
  if (SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED) == 0) {
    BRENNA_LOG(kWarning, kStart,
               "Windows refused to keep the screen on (SetThreadExecutionState): the power "
               "settings may blank it");
    return;
  }
  m_held = true;
}

void ExecutionStateAwake::Release() {
  if (!m_held) return;
  SetThreadExecutionState(ES_CONTINUOUS);
  m_held = false;
}
