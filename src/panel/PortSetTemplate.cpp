// Template 129. OK and Cancel come first, so OK is the first tab stop and
// takes the focus when the dialog opens.
#include "panel/PortSetTemplate.h"

#include "panel/Resource.h"

namespace {

using namespace dlgstyle;

// Push buttons are always tab stops; labels start a group each.
constexpr std::uint32_t kButton = kChild | kVisible | kTabStop;
constexpr std::uint32_t kLabel = kChild | kVisible | kGroup | kLeft;

const DlgControl kPortSetControls[] = {
    {ControlKind::CommandButton, dlgid::kOk, "确定", {27, 26, 50, 14}, kButton | kDefPushButton},
    {ControlKind::CommandButton, dlgid::kCancel, "取消", {86, 26, 50, 14}, kButton | kPushButton},
    {ControlKind::Label, IDC_STATIC, "原端口", {5, 7, 25, 8}, kLabel},
    {ControlKind::Edit,
     IDC_EDIT_OLDPORT,
     "",
     {31, 5, 40, 14},
     kChild | kVisible | kDisabled | kBorder | kCenter | kAutoHScroll},
    {ControlKind::Label, IDC_STATIC, "新端口", {92, 7, 25, 8}, kLabel},
    {ControlKind::Edit,
     IDC_EDIT_NEWPORT,
     "",
     {118, 5, 40, 14},
     kChild | kVisible | kBorder | kTabStop | kLeft | kAutoHScroll},
};

const DlgTemplate kPortSetTemplate = {
    IDD_PORTSET, "端口设置",       {0, 0, 165, 45},
    10,          "System",         kPopup | kCaption | kModalFrame | kSetFont,
    0,           kPortSetControls, sizeof(kPortSetControls) / sizeof(kPortSetControls[0]),
};

}  // namespace

const DlgTemplate& PortSetDialogTemplate() { return kPortSetTemplate; }
