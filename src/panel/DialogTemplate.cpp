#include "panel/DialogTemplate.h"

#include "panel/Resource.h"

namespace {

// a * num / den rounded half away from zero, in 64 bits.
int MulDivRound(int a, int num, int den) {
  const long long p = static_cast<long long>(a) * num;
  const long long half = den / 2;
  return static_cast<int>(p >= 0 ? (p + half) / den : -((-p + half) / den));
}

}  // namespace

int DluToPixelsX(int dlu) { return MulDivRound(dlu, 6, 4); }

int DluToPixelsY(int dlu) { return MulDivRound(dlu, 12, 8); }

CRect DluToPixels(const DluRect& rc) {
  CRect px;
  px.left = DluToPixelsX(rc.x);
  px.top = DluToPixelsY(rc.y);
  px.right = DluToPixelsX(rc.x + rc.cx);
  px.bottom = DluToPixelsY(rc.y + rc.cy);
  return px;
}

const DlgControl* FindControl(const DlgTemplate& tpl, int id) {
  const int index = ControlIndex(tpl, id);
  return index < 0 ? nullptr : &tpl.controls[index];
}

int ControlIndex(const DlgTemplate& tpl, int id) {
  if (id == IDC_STATIC) return -1;
  for (std::size_t i = 0; i < tpl.count; ++i) {
    if (tpl.controls[i].id == id) return static_cast<int>(i);
  }
  return -1;
}
