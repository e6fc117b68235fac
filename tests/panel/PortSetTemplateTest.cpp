// Template 129: the port dialog's six controls, its frame and its font.
#include <gtest/gtest.h>

#include "panel/PortSetTemplate.h"
#include "panel/Resource.h"

namespace {

using namespace dlgstyle;

TEST(PortSetTemplate, SixControlsInTemplateOrder) {
  const struct {
    ControlKind kind;
    int id;
    const char* text;
    DluRect rect;
  } expected[] = {
      {ControlKind::CommandButton, dlgid::kOk, "确定", {27, 26, 50, 14}},
      {ControlKind::CommandButton, dlgid::kCancel, "取消", {86, 26, 50, 14}},
      {ControlKind::Label, IDC_STATIC, "原端口", {5, 7, 25, 8}},
      {ControlKind::Edit, IDC_EDIT_OLDPORT, "", {31, 5, 40, 14}},
      {ControlKind::Label, IDC_STATIC, "新端口", {92, 7, 25, 8}},
      {ControlKind::Edit, IDC_EDIT_NEWPORT, "", {118, 5, 40, 14}},
  };
  const DlgTemplate& tpl = PortSetDialogTemplate();
  ASSERT_EQ(tpl.count, std::size(expected));
  for (std::size_t i = 0; i < tpl.count; ++i) {
    const DlgControl& c = tpl.controls[i];
    EXPECT_EQ(c.kind, expected[i].kind) << i;
    EXPECT_EQ(c.id, expected[i].id) << i;
    EXPECT_STREQ(c.text, expected[i].text) << i;
    EXPECT_EQ(c.rect.x, expected[i].rect.x) << i;
    EXPECT_EQ(c.rect.y, expected[i].rect.y) << i;
    EXPECT_EQ(c.rect.cx, expected[i].rect.cx) << i;
    EXPECT_EQ(c.rect.cy, expected[i].rect.cy) << i;
    EXPECT_EQ(c.style & (kChild | kVisible), kChild | kVisible) << i;
  }
  EXPECT_EQ(ControlIndex(tpl, IDC_EDIT_NEWPORT), 5);
}

TEST(PortSetTemplate, CaptionSizeFontAndFrame) {
  const DlgTemplate& tpl = PortSetDialogTemplate();
  EXPECT_EQ(tpl.id, 129);
  EXPECT_STREQ(tpl.caption, "端口设置");
  EXPECT_EQ(tpl.rect.cx, 165);
  EXPECT_EQ(tpl.rect.cy, 45);
  EXPECT_STREQ(tpl.fontFace, "System");
  EXPECT_EQ(tpl.fontPointSize, 10);
  EXPECT_EQ(tpl.style & (kCaption | kModalFrame), kCaption | kModalFrame);
  // No window menu, so no close box either: OK or Cancel end it.
  EXPECT_FALSE(tpl.style & kSysMenu);
  EXPECT_FALSE(tpl.style & kThickFrame);
}

TEST(PortSetTemplate, OnlyTheNewPortTakesInput) {
  const DlgTemplate& tpl = PortSetDialogTemplate();
  const DlgControl* old = FindControl(tpl, IDC_EDIT_OLDPORT);
  const DlgControl* entry = FindControl(tpl, IDC_EDIT_NEWPORT);
  ASSERT_NE(old, nullptr);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(old->style & (kDisabled | kBorder | kAutoHScroll | kTabStop),
            kDisabled | kBorder | kAutoHScroll);
  EXPECT_EQ(old->style & 0x3, kCenter);
  EXPECT_EQ(entry->style & (kDisabled | kBorder | kAutoHScroll | kTabStop),
            kBorder | kAutoHScroll | kTabStop);
  EXPECT_EQ(entry->style & 0x3, kLeft);
  // OK is the default button and, being first, the first tab stop.
  EXPECT_EQ(tpl.controls[0].style & 0xF, kDefPushButton);
  EXPECT_TRUE(tpl.controls[0].style & kTabStop);
  EXPECT_EQ(FindControl(tpl, dlgid::kCancel)->style & 0xF, kPushButton);
}

}  // namespace
