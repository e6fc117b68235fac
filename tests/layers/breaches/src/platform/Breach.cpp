// Breaks the layers on purpose, for the layer check's own test: the lowest
// layer reaches up into util/.
#include "util/Up.h"
