// Breaks the layers on purpose: libPallix reaches into the monitor by a
// relative path.
#include "../../src/app/Window.h"
