// First cut: records the parent only; the rescaling follows.
#include "util/MoveControl.h"

#include <QWidget>

CMoveControl::CMoveControl() = default;
CMoveControl::~CMoveControl() = default;

void CMoveControl::InitLayout(QWidget* parent) {
  if (parent != nullptr) m_pParent = parent;
}

int CMoveControl::ResizeControls() { return 0; }
