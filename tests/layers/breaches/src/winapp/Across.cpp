// Breaks the layers on purpose: the Windows window reaches into the Qt
// window beside it.
#include "app/Window.h"
