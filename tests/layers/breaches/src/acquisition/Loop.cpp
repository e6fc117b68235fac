// Breaks the layers on purpose: receiving reaches up into the monitor's
// loop.
#include "monitor/Board.h"
