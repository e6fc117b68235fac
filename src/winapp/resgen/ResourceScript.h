// ResourceScript - the Windows window's resources as a resource script
// (.rc) for windres, written from the panel model: dialog templates 100,
// 102 and 129, string 101, icon 128, the version and the manifest. The
// build makes the script from the tables both windows read, so the Windows
// templates cannot drift from them. Plain C++: the generator runs on the
// build machine.
#ifndef BRENNA_WINAPP_RESGEN_RESOURCESCRIPT_H
#define BRENNA_WINAPP_RESGEN_RESOURCESCRIPT_H

#include <string>

#include "panel/DialogTemplate.h"

struct ResourceFiles {
  std::string icon;      // icon 128 (.ico), as the script names it
  std::string manifest;  // the application manifest
  std::string version;   // "1.0.0"
};

// The whole script, UTF-8 (it says so to windres).
std::string ResourceScript(const ResourceFiles& files);

// One DIALOGEX statement of the script.
std::string DialogStatement(const DlgTemplate& tpl);

// The window class a control of this kind is made of: "Button", "Static"
// or "Edit".
const char* ControlClassName(ControlKind kind);

#endif  // BRENNA_WINAPP_RESGEN_RESOURCESCRIPT_H
