// Breaks the layers on purpose: brenna-history reaches into the monitor's
// loop instead of the panel model.
#include "monitor/Board.h"
