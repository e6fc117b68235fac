// CMoveControl - keeps every child window of a dialog at the same fractions
// of the dialog's client area as when the layout was recorded (the
// arithmetic is util/LayoutMath's, shared with the Linux window).
//
// The window records its layout once, at its designed size, and rescales on
// every size change. Positions always come from the recording, never from
// the current ones, so shrinking to nothing and growing again accumulates
// no error. A parent whose client area is empty when recorded has no
// proportions to keep: ResizeControls then moves nothing and returns 0.
#ifndef BRENNA_WINAPP_MOVECONTROL_H
#define BRENNA_WINAPP_MOVECONTROL_H

#include <windows.h>

#include <array>

#include "util/Rect.h"

class CMoveControl {
 public:
  static constexpr int kMaxChildren = 500;

  CMoveControl();
  ~CMoveControl();
  CMoveControl(const CMoveControl&) = delete;
  CMoveControl& operator=(const CMoveControl&) = delete;

  // Records the parent's child windows (window order, at most 500), their
  // rectangles in the parent's client coordinates, and the parent's client
  // rectangle. A null parent changes nothing.
  void InitLayout(HWND pParent);
  // Moves every recorded child to its recorded fractions of the parent's
  // current client area without repainting it, then repaints the parent
  // once, background included. 1 when done; 0 before InitLayout, when the
  // recording is empty or the parent is gone.
  int ResizeControls();

 private:
  HWND m_pParent = nullptr;
  CRect m_rcParent;
  std::array<CRect, kMaxChildren> m_rcChild{};
  // The child each rectangle was taken from: one destroyed since is
  // skipped, one created since is not moved.
  std::array<HWND, kMaxChildren> m_children{};
  int m_nChildren = 0;
};

#endif  // BRENNA_WINAPP_MOVECONTROL_H
