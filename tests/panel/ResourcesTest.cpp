// Dialog-unit arithmetic, the about box, the string table, the icon and the
// legend colours.
#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>
#include <tuple>

#include "panel/DialogTemplate.h"
#include "panel/Resource.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "panel/VerdictLegend.h"

TEST(DialogUnits, OneAndAHalfPixelsPerUnitRoundedHalfAway) {
  EXPECT_EQ(DluToPixelsX(0), 0);
  EXPECT_EQ(DluToPixelsX(1), 2);
  EXPECT_EQ(DluToPixelsX(2), 3);
  EXPECT_EQ(DluToPixelsX(3), 5);
  EXPECT_EQ(DluToPixelsY(1), 2);
  EXPECT_EQ(DluToPixelsY(677), 1016);
  EXPECT_EQ(DluToPixelsY(509), 764);
  EXPECT_EQ(DluToPixelsX(-1), -2);
  EXPECT_EQ(DluToPixelsX(-3), -5);
  // No overflow at the extremes of a 32-bit coordinate.
  EXPECT_EQ(DluToPixelsX(1000000000), 1500000000);
}

TEST(DialogUnits, EdgesAreConvertedSoNeighboursStillTouch) {
  const CRect portSet = DluToPixels({349, 0, 163, 66});
  const CRect quit = DluToPixels({512, 0, 163, 66});
  EXPECT_EQ(portSet, (CRect{524, 0, 768, 99}));
  EXPECT_EQ(quit, (CRect{768, 0, 1013, 99}));
  EXPECT_EQ(portSet.right, quit.left);
  // Same width in units, widths differ by the rounding of the edges.
  EXPECT_EQ(portSet.Width(), 244);
  EXPECT_EQ(quit.Width(), 245);
}

TEST(AboutBox, TemplateHasIconNameLineAndOk) {
  const DlgTemplate& tpl = AboutDialogTemplate();
  EXPECT_EQ(tpl.id, IDD_ABOUTBOX);
  EXPECT_STREQ(tpl.caption, "关于 BrennaCenter");
  EXPECT_EQ(tpl.rect.cx, 235);
  EXPECT_EQ(tpl.rect.cy, 55);
  EXPECT_STREQ(tpl.fontFace, "宋体");
  EXPECT_FALSE(tpl.style & dlgstyle::kMinimizeBox);
  EXPECT_TRUE(tpl.style & dlgstyle::kSysMenu);
  ASSERT_EQ(tpl.count, 4u);

  const DlgControl* c = tpl.controls;
  EXPECT_EQ(c[0].kind, ControlKind::Icon);
  EXPECT_EQ(c[0].image, IDR_MAINFRAME);
  EXPECT_EQ(c[0].rect.x, 11);
  EXPECT_EQ(c[0].rect.y, 17);
  EXPECT_STREQ(c[1].text, "BrennaCenter 1.0 版");
  EXPECT_TRUE(c[1].style & dlgstyle::kNoPrefix);
  EXPECT_EQ(c[2].kind, ControlKind::Label);
  EXPECT_FALSE(std::string(c[2].text).empty());
  EXPECT_EQ(c[2].rect.y, 25);
  EXPECT_EQ(c[3].kind, ControlKind::CommandButton);
  EXPECT_EQ(c[3].id, dlgid::kOk);
  EXPECT_STREQ(c[3].text, "确定");
  EXPECT_EQ(c[3].style & 0xF, dlgstyle::kDefPushButton);
  EXPECT_EQ(c[3].rect.x, 178);
  EXPECT_EQ(c[3].rect.cx, 50);
}

TEST(AboutBox, MenuEntryTextComesFromTheStringTable) {
  EXPECT_EQ(LoadResString(IDS_ABOUTBOX), "关于 BrennaCenter(&A)...");
  EXPECT_TRUE(LoadResString(0).empty());
  EXPECT_TRUE(LoadResString(-5).empty());
  // A window-menu command: low four bits clear, below the system's range.
  EXPECT_EQ(IDM_ABOUTBOX & 0xF, 0u);
  EXPECT_LT(IDM_ABOUTBOX, 0xF000u);
}

TEST(AppIcon, IsA32By32PictureOfAtMost16Colours) {
  EXPECT_EQ(LoadIconResource(0), nullptr);
  const IconImage* icon = LoadIconResource(IDR_MAINFRAME);
  ASSERT_NE(icon, nullptr);
  ASSERT_EQ(icon->width, 32);
  ASSERT_EQ(icon->height, 32);
  EXPECT_LE(icon->paletteSize, 16);

  std::set<COLORREF> used;
  int opaque = 0;
  for (int y = 0; y < 32; ++y) {
    ASSERT_EQ(std::string(icon->rows[y]).size(), 32u) << "row " << y;
    for (int x = 0; x < 32; ++x) {
      COLORREF c = 0;
      const bool drawn = icon->PixelColor(x, y, &c);
      // Every character is either transparent or in the palette.
      EXPECT_TRUE(drawn || icon->rows[y][x] == IconImage::kTransparent) << x << "," << y;
      if (drawn) {
        used.insert(c);
        ++opaque;
      }
    }
  }
  EXPECT_LE(used.size(), 16u);
  EXPECT_GT(opaque, 32 * 32 / 2);
  // It shows the legend's colours.
  for (COLORREF c : {kColorRed, kColorBlue, kColorGreen, kColorBlack}) EXPECT_TRUE(used.count(c));

  COLORREF c = 0;
  EXPECT_FALSE(icon->PixelColor(-1, 0, &c));
  EXPECT_FALSE(icon->PixelColor(32, 0, &c));
  EXPECT_FALSE(icon->PixelColor(0, 32, &c));
  EXPECT_FALSE(icon->PixelColor(0, 0, &c));  // corner is transparent
}

// The legend's verdicts in its order: as a result record says them, as the
// window shows them and names their colours, as they are told, and each on
// its panel of the main window, in its colour with white text; no other
// control is a legend panel.
TEST(VerdictLegend, TheLegendsVerdictsInItsOrderEachOnItsPanel) {
  const struct {
    int judge;
    const char* text;
    COLORREF colour;
    const char* name;
    int severity, panelId;
  } expected[] = {
      {2, "否决项", 0x0000FF, "red", 1, IDC_ST_VETO},
      {1, "合格项", 0xFF0000, "blue", 3, IDC_ST_PASSED},
      {3, "建议项", 0x00FF00, "green", 2, IDC_ST_ADVISORY},
      {4, "不评项", 0x000000, "black", 4, IDC_ST_NOTJUDGED},
  };
  ASSERT_EQ(std::size(kVerdicts), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const VerdictLook& v = kVerdicts[i];
    const auto& e = expected[i];
    SCOPED_TRACE(e.text);
    EXPECT_EQ(std::tie(v.judgeCode, v.color, v.severity, v.panel.controlId),
              std::tie(e.judge, e.colour, e.severity, e.panelId));
    EXPECT_STREQ(v.legendText, e.text);
    EXPECT_STREQ(v.colourName, e.name);
    const DlgControl* ctl = FindControl(MainDialogTemplate(), e.panelId);
    ASSERT_NE(ctl, nullptr);
    EXPECT_EQ(ctl->kind, ControlKind::VerdictPanel);
    EXPECT_STREQ(ctl->text, e.text);
    ASSERT_EQ(FindPanelColors(e.panelId), &kVerdictPanels[i]) << "compared in the table's order";
    EXPECT_EQ(kVerdictPanels[i].background, JudgeColor(ColorScheme::kFourColour, e.judge));
    EXPECT_EQ(kVerdictPanels[i].text, kColorWhite);
  }
  for (int other : {IDC_STATIC, IDC_BTN_QUIT, IDC_BTN_PORTSET, 1018, 1024, 0})
    EXPECT_EQ(FindPanelColors(other), nullptr) << other;
}
