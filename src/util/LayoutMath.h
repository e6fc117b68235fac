// LayoutMath - the arithmetic of proportional re-layout: a child's edges stay
// at the same fractions of its parent's client width and height. Kept apart
// from the widgets so it can be checked to the last pixel without a window.
#ifndef BRENNA_UTIL_LAYOUTMATH_H
#define BRENNA_UTIL_LAYOUTMATH_H

#include "util/Rect.h"

// part / whole as the nearest 32-bit float. The float is deliberate: its
// rounding decides the last pixel (1 / 800 lies just below 0.00125).
float LayoutRatio(int part, int whole);

// extent x ratio formed in double and truncated toward zero; results beyond
// the int range are clamped to it.
int ScaleEdge(int extent, float ratio);

// Whether a layout recorded in this client rectangle can be rescaled: an
// empty recorded area has no proportions to keep.
bool LayoutIsScalable(const CRect& recordedClient);

// The child rectangle `child`, recorded when the parent's client area was
// `recordedClient`, rescaled to a client area of newWidth x newHeight. Only
// the recorded area's width and height count. On a recording that is not
// scalable the answer is bounded but meaningless; callers check first.
CRect ScaleRect(const CRect& child, const CRect& recordedClient, int newWidth, int newHeight);

#endif  // BRENNA_UTIL_LAYOUTMATH_H
