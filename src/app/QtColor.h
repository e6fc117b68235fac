// QtColor - a COLORREF as Qt paints it. The window side only: below it,
// colours stay COLORREF values (util/Colors.h).
#ifndef BRENNA_APP_QTCOLOR_H
#define BRENNA_APP_QTCOLOR_H

#include <QColor>

#include "util/Colors.h"

inline QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

#endif  // BRENNA_APP_QTCOLOR_H
