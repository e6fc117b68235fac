#include "app/Globals.h"

TaskManager g_taskMgr BRENNA_INIT_PRIORITY(BRENNA_PRIORITY_TASKMGR);
CRect g_rcMainWnd;
std::mutex g_spoolLock BRENNA_INIT_PRIORITY(BRENNA_PRIORITY_SPOOLLOCK);

IDisplayBoard* g_pMainDlg = nullptr;
int g_nNetPort = 0;
SiteConfig g_siteConfig;
