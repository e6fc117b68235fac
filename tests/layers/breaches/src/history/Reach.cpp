// Breaks the layers on purpose: brenna-history reaches into the monitor's
// data path instead of the panel model.
#include "presentation/Board.h"
