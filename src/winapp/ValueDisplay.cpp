#include "winapp/ValueDisplay.h"

#include <commctrl.h>

#include "panel/FontFit.h"
#include "platform/GbkWide.h"
#include "winapp/Fonts.h"
#include "winapp/Gdi.h"
#include "winapp/MemDC.h"

namespace {

// The queued calls of other threads wait for this message.
constexpr UINT kApplyPending = WM_APP + 0x40;
constexpr UINT_PTR kSubclassId = 1;

// The font of the values: Arial at weight 900 in the fitted cell height and
// average width; its face's own width when the width is 0.
void CreateValueFont(CFont* font, int height, int width) {
  font->CreateFont(height, width, 900, ANSI_CHARSET, FF_SWISS, ValueFace());
}

// The same cell in the Song face, for the characters Arial has no glyph
// for (the Chinese ones): what the system's font linking does on a Chinese
// Windows, done here on every PC.
void CreateChineseFont(CFont* font, int height, int width) {
  font->CreateFont(height, width, 900, GB2312_CHARSET, FF_DONTCARE, SongFace());
}

// Draws `text` from (x, y), the top of the character cell, in the selected
// font, and each run of characters that font has no glyph for in `other`.
void DrawWithFallback(HDC dc, int x, int y, const std::wstring& text, CFont& other, int height,
                      int width) {
  std::vector<WORD> glyphs(text.size());
  if (GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                       GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
    glyphs.assign(text.size(), 0);
  std::size_t start = 0;
  while (start < text.size()) {
    const bool missing = glyphs[start] == 0xFFFF;
    std::size_t end = start + 1;
    while (end < text.size() && (glyphs[end] == 0xFFFF) == missing) ++end;
    HGDIOBJ old = nullptr;
    if (missing) {
      if (other.GetSafeHandle() == nullptr) CreateChineseFont(&other, height, width);
      old = SelectObject(dc, other);
    }
    const int n = static_cast<int>(end - start);
    TextOutW(dc, x, y, text.c_str() + start, n);
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str() + start, n, &extent);
    x += extent.cx;
    if (old != nullptr) SelectObject(dc, old);
    start = end;
  }
}

}  // namespace

CValueDisplay::CValueDisplay() = default;

CValueDisplay::~CValueDisplay() {
  if (m_hWnd != nullptr) RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
  ReleaseCache();
}

void CValueDisplay::ReleaseCache() {
  if (m_dcCache != nullptr) {
    SelectObject(m_dcCache, m_pOldBitmap);
    DeleteDC(m_dcCache);
  }
  if (m_bmpCache != nullptr) DeleteObject(m_bmpCache);
  m_dcCache = nullptr;
  m_bmpCache = nullptr;
  m_pOldBitmap = nullptr;
}

bool CValueDisplay::SubclassDlgItem(int nID, HWND parent) {
  HWND control = GetDlgItem(parent, nID);
  if (control == nullptr ||
      !SetWindowSubclass(control, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
    return false;
  m_hWnd = control;
  m_threadId = GetWindowThreadProcessId(control, nullptr);
  return true;
}

bool CValueDisplay::OnOwnThread() const {
  return m_hWnd == nullptr || GetCurrentThreadId() == m_threadId;
}

void CValueDisplay::Wake() {
  // A display gone before the message arrives takes the message with it.
  PostMessageW(m_hWnd, kApplyPending, 0, 0);
}

void CValueDisplay::TextChanged() {
  m_shownText = GbkToWide(m_text);
  if (m_hWnd == nullptr) return;
  // Drawn now through a client DC, not left to WM_PAINT: each value shows
  // while the rest of a result is still being decoded.
  HDC dc = GetDC(m_hWnd);
  Redraw(dc);
  ReleaseDC(m_hWnd, dc);
}

void CValueDisplay::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  Redraw(dc);
  EndPaint(m_hWnd, &ps);
}

void CValueDisplay::Redraw(HDC windowDc) {
  GetClientRect(m_hWnd, &m_rcClient);
  CMemDC memDC(windowDc, &m_rcClient);
  const int width = m_rcClient.right - m_rcClient.left;
  const int height = m_rcClient.bottom - m_rcClient.top;
  if (m_dcCache == nullptr || m_bmpCache == nullptr) {
    ReleaseCache();
    m_dcCache = CreateCompatibleDC(windowDc);
    m_bmpCache = CreateCompatibleBitmap(windowDc, width, height);
    m_pOldBitmap = SelectObject(m_dcCache, m_bmpCache);
    const COLORREF old = SetBkColor(m_dcCache, m_background);
    ExtTextOutW(m_dcCache, 0, 0, ETO_OPAQUE, &m_rcClient, nullptr, 0, nullptr);
    SetBkColor(m_dcCache, old);
  }
  BitBlt(memDC, 0, 0, width, height, m_dcCache, 0, 0, SRCCOPY);
  DrawContent(memDC, m_rcClient);
}

void CValueDisplay::DrawContent(HDC dc, RECT rect) {
  const COLORREF old = SetBkColor(dc, m_background);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
  SetBkColor(dc, old);
  if (m_text.empty()) return;

  const FontFit fit = FitFont(rect.right - rect.left, rect.bottom - rect.top, m_text.size());
  // Opaque (the DC's default): the text cells in the background colour.
  SetBkColor(dc, m_background);
  SetTextColor(dc, m_textColor);
  CFont font;
  CFont chinese;
  CreateValueFont(&font, fit.height, fit.width);
  HGDIOBJ previous = SelectObject(dc, font);
  DrawWithFallback(dc, rect.left + fit.x, rect.top + fit.y, m_shownText, chinese, fit.height,
                   fit.width);
  SelectObject(dc, previous);
}

LRESULT CALLBACK CValueDisplay::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR, DWORD_PTR self) {
  auto* display = reinterpret_cast<CValueDisplay*>(self);
  switch (message) {
    case WM_PAINT:
      display->OnPaint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // every pixel is painted by OnPaint
    case kApplyPending:
      display->ApplyQueued();
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hWnd, SubclassProc, kSubclassId);
      display->m_hWnd = nullptr;
      display->ReleaseCache();
      break;
    default:
      break;
  }
  return DefSubclassProc(hWnd, message, wParam, lParam);
}
