// CMoveControl - keeps every child of a window at the same fractions of the
// parent's client area as when the layout was recorded.
#ifndef BRENNA_UTIL_MOVECONTROL_H
#define BRENNA_UTIL_MOVECONTROL_H

class QWidget;

class CMoveControl {
 public:
  CMoveControl();
  ~CMoveControl();
  CMoveControl(const CMoveControl&) = delete;
  CMoveControl& operator=(const CMoveControl&) = delete;

  // Records the parent's children (window order, at most 500) and its client
  // rectangle. A null parent changes nothing.
  void InitLayout(QWidget* parent);
  // Rescales every recorded child from the recorded layout. 1 when done, 0
  // before InitLayout or when something failed.
  int ResizeControls();

 private:
  QWidget* m_pParent = nullptr;
};

#endif  // BRENNA_UTIL_MOVECONTROL_H
