// Breaks the layers on purpose: the data path reaches up into app/ in angle
// brackets.
#include <app/Window.h>
