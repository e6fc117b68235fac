#include "winapp/MoveControl.h"

#include "util/LayoutMath.h"

CMoveControl::CMoveControl() = default;
CMoveControl::~CMoveControl() = default;

void CMoveControl::InitLayout(HWND pParent) {
  if (pParent == nullptr) return;
  m_pParent = pParent;
  m_nChildren = 0;
  for (HWND child = GetWindow(pParent, GW_CHILD); child != nullptr && m_nChildren < kMaxChildren;
       child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, pParent, reinterpret_cast<POINT*>(&r), 2);
    m_rcChild[m_nChildren] = CRect{r.left, r.top, r.right, r.bottom};
    m_children[m_nChildren] = child;
    ++m_nChildren;
  }
  RECT client;
  GetClientRect(pParent, &client);
  m_rcParent = CRect{client.left, client.top, client.right, client.bottom};
}

int CMoveControl::ResizeControls() {
  if (m_pParent == nullptr || !IsWindow(m_pParent) || !LayoutIsScalable(m_rcParent)) return 0;
  RECT client;
  GetClientRect(m_pParent, &client);
  for (int i = 0; i < m_nChildren; ++i) {
    HWND child = m_children[i];
    if (!IsWindow(child) || GetParent(child) != m_pParent) continue;
    const CRect r = ScaleRect(m_rcChild[i], m_rcParent, client.right, client.bottom);
    MoveWindow(child, r.left, r.top, r.Width(), r.Height(), FALSE);
  }
  InvalidateRect(m_pParent, nullptr, TRUE);
  return 1;
}
