#include "winapp/resgen/ResourceScript.h"

#include <cstdio>

#include "panel/PortSetTemplate.h"
#include "panel/Resource.h"
#include "panel/Templates.h"

namespace {

// A text as a quoted resource string: quotes doubled, backslashes escaped.
std::string Quoted(const char* text) {
  std::string out = "\"";
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '"') {
      out += "\"\"";
    } else if (*p == '\\') {
      out += "\\\\";
    } else {
      out += *p;
    }
  }
  return out + "\"";
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::string Rect(const DluRect& r) {
  return std::to_string(r.x) + ", " + std::to_string(r.y) + ", " + std::to_string(r.cx) + ", " +
         std::to_string(r.cy);
}

std::string ControlStatement(const DlgControl& c) {
  // An icon control's text is the icon's resource number.
  const std::string text = c.kind == ControlKind::Icon ? std::to_string(c.image) : Quoted(c.text);
  return "  CONTROL " + text + ", " + std::to_string(c.id) + ", \"" + ControlClassName(c.kind) +
         "\", " + Hex(c.style) + ", " + Rect(c.rect) + "\n";
}

}  // namespace

const char* ControlClassName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Label:
    case ControlKind::VerdictPanel:
    case ControlKind::Icon:
      return "Static";
    case ControlKind::Edit:
      return "Edit";
    case ControlKind::GroupBox:
    case ControlKind::CommandButton:
    case ControlKind::ValueDisplay:
      break;
  }
  return "Button";
}

std::string DialogStatement(const DlgTemplate& tpl) {
  // Weight 0, not italic, DEFAULT_CHARSET: the face's own.
  std::string out = std::to_string(tpl.id) + " DIALOGEX " + Rect(tpl.rect) + "\n";
  out += "STYLE " + Hex(tpl.style) + "\n";
  if (tpl.exStyle != 0) out += "EXSTYLE " + Hex(tpl.exStyle) + "\n";
  out += "CAPTION " + Quoted(tpl.caption) + "\n";
  out +=
      "FONT " + std::to_string(tpl.fontPointSize) + ", " + Quoted(tpl.fontFace) + ", 0, 0, 0x1\n";
  out += "BEGIN\n";
  for (const DlgControl& c : tpl) out += ControlStatement(c);
  return out + "END\n";
}

std::string ResourceScript(const ResourceFiles& files) {
  std::string out =
      "// The window's resources, made by the build from src/panel: do not edit.\n"
      "#pragma code_page(65001)\n"
      "LANGUAGE 4, 2\n\n";
  out += std::to_string(IDR_MAINFRAME) + " ICON " + Quoted(files.icon.c_str()) + "\n\n";
  out += "STRINGTABLE\nBEGIN\n  " + std::to_string(IDS_ABOUTBOX) + ", " +
         Quoted(std::string(LoadResString(IDS_ABOUTBOX)).c_str()) + "\nEND\n\n";
  out += DialogStatement(AboutDialogTemplate()) + "\n";
  out += DialogStatement(MainDialogTemplate()) + "\n";
  out += DialogStatement(PortSetDialogTemplate()) + "\n";

  // The version as Windows shows it in the file's properties.
  std::string numbers = files.version;
  for (char& ch : numbers)
    if (ch == '.') ch = ',';
  out += "1 VERSIONINFO\nFILEVERSION " + numbers + ",0\nPRODUCTVERSION " + numbers +
         ",0\nFILEOS 0x40004\nFILETYPE 0x1\nBEGIN\n"
         "  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"080404B0\"\n    BEGIN\n"
         "      VALUE \"CompanyName\", \"BrennaCenter\"\n"
         "      VALUE \"FileDescription\", \"BrennaCenter 数据监控\"\n"
         "      VALUE \"FileVersion\", " +
         Quoted(files.version.c_str()) +
         "\n"
         "      VALUE \"InternalName\", \"BrennaCenter\"\n"
         "      VALUE \"OriginalFilename\", \"BrennaCenter.exe\"\n"
         "      VALUE \"ProductName\", \"BrennaCenter\"\n"
         "      VALUE \"ProductVersion\", " +
         Quoted(files.version.c_str()) +
         "\n    END\n  END\n"
         "  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x804, 1200\n  END\n"
         "END\n\n";
  // RT_MANIFEST (24), resource 1: the program's own manifest.
  out += "1 24 " + Quoted(files.manifest.c_str()) + "\n";
  return out;
}
