// Gdi - the window's GDI objects as members that release themselves: a
// font (CFont) and a solid brush (CBrush), created once and deleted with
// their owner.
#ifndef BRENNA_WINAPP_GDI_H
#define BRENNA_WINAPP_GDI_H

#include <windows.h>

#include <string>

class CGdiObject {
 public:
  CGdiObject() = default;
  ~CGdiObject() { DeleteObject(); }
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  void DeleteObject() {
    if (m_hObject != nullptr) ::DeleteObject(m_hObject);
    m_hObject = nullptr;
  }

 protected:
  // Takes `object` over, releasing the one held before.
  bool Attach(HGDIOBJ object) {
    DeleteObject();
    m_hObject = object;
    return object != nullptr;
  }

 private:
  HGDIOBJ m_hObject = nullptr;
};

class CFont : public CGdiObject {
 public:
  // CreateFontW with the same parameters, all else at its default.
  bool CreateFont(int nHeight, int nWidth, int nWeight, BYTE nCharSet, BYTE nPitchAndFamily,
                  const std::wstring& face) {
    return Attach(::CreateFontW(nHeight, nWidth, 0, 0, nWeight, FALSE, FALSE, FALSE, nCharSet,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                nPitchAndFamily, face.c_str()));
  }
  operator HFONT() const { return static_cast<HFONT>(GetSafeHandle()); }
};

class CBrush : public CGdiObject {
 public:
  bool CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
  operator HBRUSH() const { return static_cast<HBRUSH>(GetSafeHandle()); }
};

#endif  // BRENNA_WINAPP_GDI_H
