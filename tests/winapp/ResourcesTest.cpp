// The window's resources as they lie in BrennaCenter.exe, read back from the
// program under wine: templates 100, 102 and 129 control for control as the
// panel model has them (the Linux window's tables), string 101 and icon
// 128. The build writes them from the tables; this catches what windres or
// the generator would lose on the way (a control, a style, a text).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "panel/PortSetTemplate.h"
#include "panel/Resource.h"
#include "panel/Templates.h"
#include "platform/GbkWide.h"
#include "winapp/DialogResource.h"
#include "winapp/resgen/IconFile.h"

namespace {

// Resource types.
constexpr int kIcon = 3;
constexpr int kDialog = 5;
constexpr int kGroupIcon = 14;

class Program {
 public:
  Program()
      : m_module(LoadLibraryExW(Utf8ToWide(BRENNA_PROGRAM).c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~Program() {
    if (m_module != nullptr) FreeLibrary(m_module);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  HMODULE module() const { return m_module; }

  // The resource's bytes; empty when there is none.
  std::vector<unsigned char> Resource(int id, int type) const {
    HRSRC found = FindResourceW(m_module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(m_module, found);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    return bytes == nullptr
               ? std::vector<unsigned char>()
               : std::vector<unsigned char>(bytes, bytes + SizeofResource(m_module, found));
  }

 private:
  HMODULE m_module;
};

std::u16string U16(const char* utf8) {
  const std::wstring wide = Utf8ToWide(utf8);
  return std::u16string(wide.begin(), wide.end());
}

// The window class each kind of control is made of.
std::string ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Label:
    case ControlKind::VerdictPanel:
    case ControlKind::Icon:
      return "STATIC";
    case ControlKind::Edit:
      return "EDIT";
    default:
      return "BUTTON";
  }
}

// The class a template names, by its predefined number or by name (the
// dialog manager takes either).
std::string ClassNamed(const SzOrOrd& windowClass) {
  if (windowClass.isOrdinal) {
    switch (windowClass.ordinal) {
      case dlgclass::kButton:
        return "BUTTON";
      case dlgclass::kEdit:
        return "EDIT";
      case dlgclass::kStatic:
        return "STATIC";
      default:
        return "#" + std::to_string(windowClass.ordinal);
    }
  }
  std::string name;
  for (const char16_t c : windowClass.text)
    name += static_cast<char>(c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c);
  return name;
}

// Every difference between the template in the program and the table.
void ExpectSame(const DlgTemplate& tpl, const std::vector<unsigned char>& bytes) {
  SCOPED_TRACE("template " + std::to_string(tpl.id));
  ASSERT_FALSE(bytes.empty()) << "not in the program";
  DialogResource dialog;
  ASSERT_TRUE(ParseDialogEx(bytes.data(), bytes.size(), &dialog));
  EXPECT_EQ(dialog.style, tpl.style);
  EXPECT_EQ(dialog.exStyle, tpl.exStyle);
  EXPECT_EQ(dialog.x, tpl.rect.x);
  EXPECT_EQ(dialog.y, tpl.rect.y);
  EXPECT_EQ(dialog.cx, tpl.rect.cx);
  EXPECT_EQ(dialog.cy, tpl.rect.cy);
  EXPECT_EQ(dialog.title, U16(tpl.caption));
  EXPECT_EQ(dialog.pointSize, tpl.fontPointSize);
  EXPECT_EQ(dialog.typeface, U16(tpl.fontFace));
  ASSERT_EQ(dialog.items.size(), tpl.count);
  for (std::size_t i = 0; i < tpl.count; ++i) {
    const DlgControl& c = tpl.controls[i];
    const DialogItemResource& item = dialog.items[i];
    SCOPED_TRACE("control " + std::to_string(i) + " (" + std::to_string(c.id) + ")");
    EXPECT_EQ(item.id, c.id);
    EXPECT_EQ(ClassNamed(item.windowClass), ClassOf(c.kind));
    EXPECT_EQ(item.style, c.style);
    EXPECT_EQ(item.x, c.rect.x);
    EXPECT_EQ(item.y, c.rect.y);
    EXPECT_EQ(item.cx, c.rect.cx);
    EXPECT_EQ(item.cy, c.rect.cy);
    if (c.kind == ControlKind::Icon) {
      EXPECT_TRUE(item.title.isOrdinal);
      EXPECT_EQ(item.title.ordinal, c.image);
    } else {
      EXPECT_FALSE(item.title.isOrdinal);
      EXPECT_EQ(item.title.text, U16(c.text));
    }
  }
  // What the window makes of a template it gives another face is the
  // template itself: written back unchanged, it is the same bytes.
  std::vector<unsigned char> again = DialogExBytes(dialog);
  again.resize(bytes.size(), 0);
  EXPECT_EQ(again, bytes);
}

}  // namespace

TEST(ProgramResources, TheTemplatesAreThePanelModelsControlForControl) {
  Program program;
  ASSERT_NE(program.module(), nullptr) << BRENNA_PROGRAM;
  ExpectSame(MainDialogTemplate(), program.Resource(IDD_BRENNACENTER_DIALOG, kDialog));
  ExpectSame(AboutDialogTemplate(), program.Resource(IDD_ABOUTBOX, kDialog));
  ExpectSame(PortSetDialogTemplate(), program.Resource(IDD_PORTSET, kDialog));
}

TEST(ProgramResources, TheAboutEntryAndTheIconAreThePanelModels) {
  Program program;
  ASSERT_NE(program.module(), nullptr) << BRENNA_PROGRAM;
  wchar_t text[128] = {};
  ASSERT_GT(LoadStringW(program.module(), IDS_ABOUTBOX, text, 128), 0);
  EXPECT_EQ(std::wstring(text), Utf8ToWide(LoadResString(IDS_ABOUTBOX)));

  // The icon group names one 32 x 32 picture whose bytes are the panel's
  // icon (the .ico file's image, after its 22-byte header).
  EXPECT_FALSE(program.Resource(IDR_MAINFRAME, kGroupIcon).empty());
  const std::string ico = IconFileBytes(*LoadIconResource(IDR_MAINFRAME));
  const std::vector<unsigned char> image = program.Resource(1, kIcon);
  ASSERT_GT(ico.size(), 22u);
  EXPECT_EQ(std::string(image.begin(), image.end()), ico.substr(22));
}
