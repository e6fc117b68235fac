// Breaks the layers on purpose: the monitor's loop reaches up into app/ by
// a path relative to itself.
#include "../app/Window.h"
