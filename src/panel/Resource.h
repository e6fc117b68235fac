// Resource - identifiers of the dialogs, controls, icon and strings, and the
// application's name. Qt-free: the template tables and the tests share them.
#ifndef BRENNA_PANEL_RESOURCE_H
#define BRENNA_PANEL_RESOURCE_H

// The name the program goes by: message boxes without a caption of their own
// show it.
inline constexpr char kAppName[] = "BrennaCenter";

// Dialog templates, icon, string table.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDD_BRENNACENTER_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;

// The about entry of the window menu. Window-menu commands keep their low
// four bits clear and stay below the system's own commands (0xF000).
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;

// Window-menu commands that come from the window system.
namespace syscmd {
inline constexpr unsigned kRestore = 0xF120;
}

// Control identifiers of the main window. Labels and group boxes share -1.
inline constexpr int IDC_STATIC = -1;
inline constexpr int IDC_BTN_QUIT = 1016;
inline constexpr int IDC_BTN_PORTSET = 1017;
inline constexpr int IDC_ST_VETO = 1023;
inline constexpr int IDC_ST_PASSED = 1025;
inline constexpr int IDC_ST_ADVISORY = 1026;
inline constexpr int IDC_ST_NOTJUDGED = 1027;

// Dialog command and answer identifiers.
namespace dlgid {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace dlgid

#endif  // BRENNA_PANEL_RESOURCE_H
