// Breaks the layers on purpose: the panel model reaches up into the data
// path.
#include "presentation/Board.h"
