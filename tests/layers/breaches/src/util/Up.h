// Breaks the layers on purpose: a Qt header in a file the core reaches.
#include <QString>
