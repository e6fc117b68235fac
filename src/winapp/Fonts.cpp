#include "winapp/Fonts.h"

#include <algorithm>
#include <vector>

#include "panel/FontFaces.h"
#include "platform/GbkWide.h"

namespace {

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM list) {
  // '@' faces are the vertical forms of the same face.
  if (font->lfFaceName[0] != L'@')
    reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(font->lfFaceName);
  return 1;
}

// The faces installed with `charset`; only `face` when one is named.
std::vector<std::wstring> InstalledFaces(BYTE charset, const wchar_t* face = nullptr) {
  std::vector<std::wstring> faces;
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return faces;
  LOGFONTW wanted{};
  wanted.lfCharSet = charset;
  if (face != nullptr) lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
  EnumFontFamiliesExW(dc, &wanted, CollectFace, reinterpret_cast<LPARAM>(&faces), 0);
  ReleaseDC(nullptr, dc);
  std::sort(faces.begin(), faces.end());
  faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
  return faces;
}

bool Contains(const std::vector<std::wstring>& faces, const std::wstring& face) {
  return std::any_of(faces.begin(), faces.end(), [&](const std::wstring& f) {
    return lstrcmpiW(f.c_str(), face.c_str()) == 0;
  });
}

std::wstring PickSongFace() {
  const std::vector<std::wstring> chinese = InstalledFaces(GB2312_CHARSET);
  std::vector<std::wstring> preferred = {L"\x5B8B\x4F53" /* 宋体 */, L"SimSun", L"NSimSun",
                                         L"\x65B0\x5B8B\x4F53" /* 新宋体 */};
  for (const char* face : kSongStandIns) preferred.push_back(Utf8ToWide(face));
  preferred.push_back(L"Microsoft YaHei");
  preferred.push_back(L"\x5FAE\x8F6F\x96C5\x9ED1" /* 微软雅黑 */);
  for (const std::wstring& face : preferred)
    if (Contains(chinese, face)) return face;
  return chinese.empty() ? preferred.front() : chinese.front();
}

std::wstring PickValueFace() {
  if (!InstalledFaces(DEFAULT_CHARSET, L"Arial").empty()) return L"Arial";
  for (const char* face : kArialStandIns) {
    const std::wstring wide = Utf8ToWide(face);
    if (!InstalledFaces(DEFAULT_CHARSET, wide.c_str()).empty()) return wide;
  }
  return L"Arial";
}

}  // namespace

const std::wstring& SongFace() {
  static const std::wstring face = PickSongFace();
  return face;
}

const std::wstring& ValueFace() {
  static const std::wstring face = PickValueFace();
  return face;
}

bool FaceShowsChinese(const std::wstring& face) {
  return !InstalledFaces(GB2312_CHARSET, face.c_str()).empty();
}

std::wstring DialogFace(const std::wstring& templateFace) {
  return FaceShowsChinese(templateFace) ? templateFace : SongFace();
}
