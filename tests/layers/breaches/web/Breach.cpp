// Breaks the layers on purpose: the web view reaches into the monitor's
// globals (its window, its spool lock).
#include "app/Globals.h"
