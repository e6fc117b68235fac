// CMemDC - draws a whole image off-screen and copies it to its target in
// one step when it goes out of scope, so the screen never shows a
// half-drawn control.
//
//   {
//     CMemDC memDC(hdc, &rect);
//     FillRect(memDC, ...);        // draw as on the target itself
//   }                              // the finished image lands here
//
// On a printer the drawing goes straight to the target: a bitmap there
// would only lose quality.
#ifndef BRENNA_WINAPP_MEMDC_H
#define BRENNA_WINAPP_MEMDC_H

#include <windows.h>

class CMemDC {
 public:
  // `pDC` is a valid device context that outlives this object; `pRect` the
  // area to draw in its logical units, null for its clip box. The area
  // starts filled with the target's background colour.
  explicit CMemDC(HDC pDC, const RECT* pRect = nullptr);
  ~CMemDC();
  CMemDC(const CMemDC&) = delete;
  CMemDC& operator=(const CMemDC&) = delete;

  operator HDC() const { return m_hDC; }
  bool IsMemDC() const { return m_bMemDC; }

 private:
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_oldBitmap = nullptr;
  HDC m_pDC;
  RECT m_rect{};
  bool m_bMemDC;
  HDC m_hDC = nullptr;  // the memory DC, or the target when printing
};

#endif  // BRENNA_WINAPP_MEMDC_H
