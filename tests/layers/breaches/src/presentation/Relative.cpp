// Breaks the layers on purpose: the data path reaches up into app/ by a
// path relative to itself.
#include "../app/Window.h"
