// CValueDisplay - the self-painting value display of the Windows window: a
// disabled flat button of template 102 that, once bound, paints a text in
// a heavy face fitted to the control, in its own text and background
// colours. Every redraw paints the whole control off-screen (CMemDC) and
// shows it in one step.
//
// Callers change a display only through SetColors and SetText. On the
// window's thread SetText draws at once through a client DC; from another
// thread (the network worker's idle state) both calls are queued, in order,
// to the window's thread, which does the same.
#ifndef BRENNA_WINAPP_VALUEDISPLAY_H
#define BRENNA_WINAPP_VALUEDISPLAY_H

#include <windows.h>

#include "monitor/ValueDisplayBase.h"

class CValueDisplay : public ValueDisplayBase {
 public:
  // Empty text, white on white, not bound yet.
  CValueDisplay();
  ~CValueDisplay() override;
  CValueDisplay(const CValueDisplay&) = delete;
  CValueDisplay& operator=(const CValueDisplay&) = delete;

  // Binds the display to control nID of `parent` (on the parent's thread):
  // from then on it paints the control.
  bool SubclassDlgItem(int nID, HWND parent);

  // Draws the complete control into dc: the background over all of rect,
  // then the text in the fitted font.
  void DrawContent(HDC dc, RECT rect);

  HWND GetSafeHwnd() const { return m_hWnd; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self);
  // ValueDisplayBase: the window's thread, a posted message, the drawing
  // through a client DC.
  bool OnOwnThread() const override;
  void Wake() override;
  void TextChanged() override;
  void OnPaint();
  // The redraw shared by painting and SetText, onto the window's DC.
  void Redraw(HDC windowDc);
  void ReleaseCache();

  std::wstring m_shownText;  // m_text converted once, for drawing
  // The first redraw's background, made once. Every redraw copies it first
  // and DrawContent then fills the whole rectangle, so it never shows: a
  // later colour or size need not rebuild it.
  HBITMAP m_bmpCache = nullptr;
  HGDIOBJ m_pOldBitmap = nullptr;
  HDC m_dcCache = nullptr;
  RECT m_rcClient{};  // read again before every redraw
  HWND m_hWnd = nullptr;
  DWORD m_threadId = 0;
};

#endif  // BRENNA_WINAPP_VALUEDISPLAY_H
