// CMoveControl - keeps every child of a window at the same fractions of the
// parent's client area as when the layout was recorded.
//
// The window records its layout once, at its designed size, and rescales on
// every size change. Positions always come from the recording, never from
// the current ones, so shrinking to nothing and growing again accumulates
// no error.
//
// A parent whose client area is empty when recorded has no proportions to
// keep: ResizeControls then leaves every child where it is and returns 0
// until InitLayout is called again on a non-empty parent.
#ifndef BRENNA_APP_MOVECONTROL_H
#define BRENNA_APP_MOVECONTROL_H

#include <QPointer>
#include <QWidget>
#include <array>

#include "util/Rect.h"

class CMoveControl {
 public:
  static constexpr int kMaxChildren = 500;

  CMoveControl();
  ~CMoveControl();
  CMoveControl(const CMoveControl&) = delete;
  CMoveControl& operator=(const CMoveControl&) = delete;

  // Records the parent's child widgets (window order, at most 500), their
  // rectangles in the parent's client coordinates, and the parent's client
  // rectangle. A null parent changes nothing.
  void InitLayout(QWidget* parent);
  // Moves and stretches every recorded child to its recorded fractions of
  // the parent's current client area, then repaints the parent once. 1 when
  // done; 0 before InitLayout, when the recording is empty, when the parent
  // is gone, or when something failed.
  int ResizeControls();

  int RecordedChildren() const { return m_nChildren; }

 private:
  QPointer<QWidget> m_pParent;
  CRect m_rcParent;
  std::array<CRect, kMaxChildren> m_rcChild{};
  // The child each rectangle was taken from. A child destroyed since is
  // skipped; one created since is not moved.
  std::array<QPointer<QWidget>, kMaxChildren> m_children;
  int m_nChildren = 0;
};

#endif  // BRENNA_APP_MOVECONTROL_H
