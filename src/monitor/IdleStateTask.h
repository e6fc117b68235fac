// IdleStateTask - the network worker's first task: the idle look
// (panel/IdleLook.h) on the seven operator displays of the window in
// g_pMainDlg, before the first result comes. Nothing without a window.
// Always 1: the task queue runs it once per start.
#ifndef BRENNA_MONITOR_IDLESTATETASK_H
#define BRENNA_MONITOR_IDLESTATETASK_H

int IdleStateTask();

#endif  // BRENNA_MONITOR_IDLESTATETASK_H
