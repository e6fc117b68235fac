// Globals - the program-wide objects that the window, the worker tasks and
// the decoder share. Qt-free, so the core can be tested without a window.
//
// Static objects, constructed in this order at start-up and destroyed in
// reverse at exit: theApp (BrennaCenter.cpp), g_taskMgr, g_rcMainWnd,
// g_spoolLock.
#ifndef BRENNA_MONITOR_GLOBALS_H
#define BRENNA_MONITOR_GLOBALS_H

#include <mutex>
#include <string>

#include "Pallix.h"
#include "acquisition/SpoolAccess.h"
#include "monitor/DisplayBoard.h"
#include "platform/TaskManager.h"
#include "util/Rect.h"

// GCC/Clang keep the order across translation units through init_priority:
// lower runs first. theApp uses BRENNA_PRIORITY_APP.
#if defined(__GNUC__)
#define BRENNA_INIT_PRIORITY(n) __attribute__((init_priority(n)))
#else
#define BRENNA_INIT_PRIORITY(n)
#endif
#define BRENNA_PRIORITY_APP 1000
#define BRENNA_PRIORITY_TASKMGR 1001
#define BRENNA_PRIORITY_SPOOLLOCK 1003

// The one task queue; runs the network tasks.
extern TaskManager g_taskMgr;
// The main window's rectangle as first maximised; restoring returns to it.
extern CRect g_rcMainWnd;
// The spool lock: held by the chunk writer while it writes, publishes and
// sweeps the spool directory's files, and by the result loop while it reads
// and deletes a shown result; it guards too what goes with those files in
// memory: the transfer ledger, the publication hook and the publication
// order. Other locks (the task queue's, the journal's, the archive writer's,
// libPallix's own) each guard their own object and are never taken to reach
// a spool file.
extern std::mutex g_spoolLock;

// The display board: the main dialog, seen only through its value displays,
// which is all the worker tasks and the decoder need of it (the name is the
// dialog's, as that is what it points to). Null until the dialog's
// initialisation stores it.
extern IDisplayBoard* g_pMainDlg;
// The listening port; written once at start-up.
extern int g_nNetPort;
// The site configuration the library fills at start-up.
extern SiteConfig g_siteConfig;

// The base directory (holds BrennaCenter.ini) and the spool directory named
// by g_siteConfig; empty when the field holds no terminated text.
std::string SiteBaseDirectory();
std::string SiteSpoolDirectory();

// What the pipeline hands the network task, the chunk writer and the result
// loop: g_spoolLock and the spool directory of g_siteConfig.
const SpoolAccess& MonitorSpoolAccess();

#endif  // BRENNA_MONITOR_GLOBALS_H
