// Breaks the layers on purpose: the Qt window reaches into the Windows
// window beside it.
#include "winapp/Window.h"
