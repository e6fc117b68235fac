#include "app/MoveControl.h"

#include <QObject>
#include <QRect>
#include <algorithm>

#include "util/LayoutMath.h"

namespace {

CRect ToCRect(const QRect& r) { return CRect{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }

// right - left without overflow, and never negative.
int Extent(int from, int to) {
  const long long extent = static_cast<long long>(to) - from;
  return static_cast<int>(std::clamp<long long>(extent, 0, QWIDGETSIZE_MAX));
}

// Holds back the repaints each move would cause; the parent repaints once,
// all of it, when the moves are done (or abandoned).
class UpdatesHeld {
 public:
  explicit UpdatesHeld(QWidget* w) : m_w(w), m_wasEnabled(w->updatesEnabled()) {
    m_w->setUpdatesEnabled(false);
  }
  ~UpdatesHeld() {
    m_w->setUpdatesEnabled(m_wasEnabled);
    m_w->update();
  }
  UpdatesHeld(const UpdatesHeld&) = delete;
  UpdatesHeld& operator=(const UpdatesHeld&) = delete;

 private:
  QWidget* m_w;
  bool m_wasEnabled;
};

}  // namespace

CMoveControl::CMoveControl() = default;
CMoveControl::~CMoveControl() = default;

void CMoveControl::InitLayout(QWidget* parent) {
  if (parent == nullptr) return;
  m_pParent = parent;
  m_nChildren = 0;
  m_children.fill(nullptr);
  // Child widgets in window order; windows of their own (dialogs, menus
  // parented here) are not part of the client area.
  for (QObject* object : parent->children()) {
    if (m_nChildren == kMaxChildren) break;
    if (!object->isWidgetType()) continue;
    QWidget* child = static_cast<QWidget*>(object);
    if (child->isWindow()) continue;
    m_rcChild[m_nChildren] = ToCRect(child->geometry());
    m_children[m_nChildren] = child;
    ++m_nChildren;
  }
  m_rcParent = CRect{0, 0, parent->width(), parent->height()};
}

int CMoveControl::ResizeControls() {
  if (m_pParent.isNull()) return 0;
  try {
    if (!LayoutIsScalable(m_rcParent)) return 0;
    // The widget's own size, not a resize event's: under some window
    // managers the event's size is stale after a maximise.
    const int width = m_pParent->width();
    const int height = m_pParent->height();
    UpdatesHeld held(m_pParent);
    for (int i = 0; i < m_nChildren; ++i) {
      QWidget* child = m_children[i];
      if (child == nullptr || child->parentWidget() != m_pParent) continue;
      const CRect r = ScaleRect(m_rcChild[i], m_rcParent, width, height);
      child->setGeometry(r.left, r.top, Extent(r.left, r.right), Extent(r.top, r.bottom));
    }
    return 1;
  } catch (...) {
    return 0;
  }
}
