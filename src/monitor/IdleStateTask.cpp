#include "monitor/IdleStateTask.h"

#include "monitor/DisplayBoard.h"
#include "monitor/Globals.h"
#include "panel/IdleLook.h"

int IdleStateTask() {
  IDisplayBoard* board = g_pMainDlg;
  if (board == nullptr) return 1;
  for (int id : kOperatorDisplays) {
    IValueDisplay* display = board->ValueDisplay(id);
    if (display == nullptr) continue;
    display->SetColors(kIdleBackground, kIdleTextColor);
    display->SetText(IdleStateText());
  }
  return 1;
}
