// Breaks the layers on purpose: the panel model reaches up into the
// monitor's loop.
#include "monitor/Board.h"
