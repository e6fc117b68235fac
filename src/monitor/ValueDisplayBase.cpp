#include "monitor/ValueDisplayBase.h"

#include <utility>

void ValueDisplayBase::SetColors(COLORREF background, COLORREF text) {
  if (!OnOwnThread()) {
    // Queued like SetText, so colours and text arrive together and in order.
    if (m_queued.PostColors(background, text)) Wake();
    return;
  }
  m_background = background;
  m_textColor = text;
}

void ValueDisplayBase::SetText(std::string text) {
  if (!OnOwnThread()) {
    if (m_queued.PostText(std::move(text))) Wake();
    return;
  }
  m_text = std::move(text);
  TextChanged();
}
