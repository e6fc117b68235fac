// Breaks the layers on purpose: the station guide's generator reaches into
// the monitor's window instead of the panel model.
#include "app/Window.h"
