// PortSetTemplate - template 129, the port-setting dialog, as data: the
// stored port (read only) and the entry for a new one, with OK and Cancel.
#ifndef BRENNA_PANEL_PORTSETTEMPLATE_H
#define BRENNA_PANEL_PORTSETTEMPLATE_H

#include "panel/DialogTemplate.h"

inline constexpr int IDD_PORTSET = 129;
// The port as stored now (never editable) and the entry for the new one.
inline constexpr int IDC_EDIT_OLDPORT = 1024;
inline constexpr int IDC_EDIT_NEWPORT = 1025;

const DlgTemplate& PortSetDialogTemplate();

#endif  // BRENNA_PANEL_PORTSETTEMPLATE_H
