// MessageBox - how the Windows window asks or tells the operator something:
// MessageBoxW with a GBK text and caption (converted from code page 936,
// whatever the system's own code page is), waiting for the answer; or, for
// news that must not hold the start up, an OK box beside the window that
// leaves the program running.
#ifndef BRENNA_WINAPP_MESSAGEBOX_H
#define BRENNA_WINAPP_MESSAGEBOX_H

#include <windows.h>

#include <string>

#include "panel/Resource.h"

// Shows the box over `owner` (null: none) and waits for the answer (IDOK,
// IDYES, IDNO ...). The caption defaults to the application's name.
int ShowMessageBox(HWND owner, const std::string& gbkText, const std::string& gbkCaption = kAppName,
                   UINT type = MB_OK);

// Shows an OK box on a thread of its own and returns at once: the window
// goes on, and takes input, while it stands.
void ShowMessageBoxBeside(const std::string& gbkText, const std::string& gbkCaption = kAppName);

#endif  // BRENNA_WINAPP_MESSAGEBOX_H
