#include "winapp/MemDC.h"

namespace {

bool IsPrinting(HDC dc) { return GetDeviceCaps(dc, TECHNOLOGY) == DT_RASPRINTER; }

void FillSolidRect(HDC dc, const RECT& rect, COLORREF color) {
  const COLORREF old = SetBkColor(dc, color);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
  SetBkColor(dc, old);
}

}  // namespace

CMemDC::CMemDC(HDC pDC, const RECT* pRect) : m_pDC(pDC), m_bMemDC(!IsPrinting(pDC)) {
  if (pRect != nullptr) {
    m_rect = *pRect;
  } else {
    GetClipBox(pDC, &m_rect);
  }
  if (m_bMemDC) {
    m_hDC = CreateCompatibleDC(pDC);
    // The bitmap's size in device units, the drawing in the target's
    // logical ones.
    LPtoDP(pDC, reinterpret_cast<POINT*>(&m_rect), 2);
    m_bitmap = CreateCompatibleBitmap(pDC, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top);
    m_oldBitmap = SelectObject(m_hDC, m_bitmap);
    SetMapMode(m_hDC, GetMapMode(pDC));
    DPtoLP(pDC, reinterpret_cast<POINT*>(&m_rect), 2);
    SetWindowOrgEx(m_hDC, m_rect.left, m_rect.top, nullptr);
  } else {
    m_hDC = pDC;
  }
  FillSolidRect(m_hDC, m_rect, GetBkColor(pDC));
}

CMemDC::~CMemDC() {
  if (!m_bMemDC) return;  // drawn on the target itself, which is not ours
  BitBlt(m_pDC, m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top,
         m_hDC, m_rect.left, m_rect.top, SRCCOPY);
  SelectObject(m_hDC, m_oldBitmap);
  DeleteObject(m_bitmap);
  DeleteDC(m_hDC);
}
