// MessageBox - the program's one way to ask or tell the operator something:
// a modal box with a GBK text and caption, an OK or Yes/No choice and an
// optional icon, answered with dlgid::kOk, kCancel, kYes or kNo; or, for
// news that must not hold anything up, a box with only OK that stands
// beside a window while it goes on.
#ifndef BRENNA_APP_MESSAGEBOX_H
#define BRENNA_APP_MESSAGEBOX_H

#include <string>

#include "panel/Resource.h"

class QWidget;

namespace mb {
// Buttons (low four bits).
inline constexpr unsigned kOk = 0x0;
inline constexpr unsigned kOkCancel = 0x1;
inline constexpr unsigned kYesNo = 0x4;
// Icons (next four bits).
inline constexpr unsigned kIconError = 0x10;
inline constexpr unsigned kIconQuestion = 0x20;
inline constexpr unsigned kIconWarning = 0x30;
inline constexpr unsigned kIconInformation = 0x40;
}  // namespace mb

// Shows the box and waits for the answer. Text and caption are GBK; the
// caption defaults to the application's name. Any button code other than
// the three above gives an OK box. A Yes/No box closed without a choice
// answers kNo, an OK/Cancel box kCancel.
int ShowMessageBox(const std::string& text, const std::string& caption = kAppName,
                   unsigned type = mb::kOk);

// Shows an OK box beside `owner` and returns at once: the owner and the rest
// of the program go on, and take input, while it stands. The box belongs to
// the owner (it goes with it) and deletes itself once closed.
void ShowMessageBoxBeside(QWidget* owner, const std::string& text,
                          const std::string& caption = kAppName);

#endif  // BRENNA_APP_MESSAGEBOX_H
