// Breaks the layers on purpose: the web view reaches into the monitor's
// loop (its window, its spool lock).
#include "monitor/Board.h"
