// The main window's template: the control map the window, the network tasks
// and the decoder all address the display by.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "panel/DialogTemplate.h"
#include "panel/Resource.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"
#include "panel/Verdicts.h"

namespace {

const DlgTemplate& Tpl() { return MainDialogTemplate(); }

std::vector<const DlgControl*> OfKind(ControlKind kind) {
  std::vector<const DlgControl*> out;
  for (const DlgControl& c : Tpl()) {
    if (c.kind == kind) out.push_back(&c);
  }
  return out;
}

const DlgControl& Control(int id) {
  const DlgControl* c = FindControl(Tpl(), id);
  EXPECT_NE(c, nullptr) << "no control " << id;
  static const DlgControl kNone{ControlKind::Label, 0, "", {}, 0};
  return c != nullptr ? *c : kNone;
}

std::vector<const DlgControl*> WithText(const std::string& text) {
  std::vector<const DlgControl*> out;
  for (const DlgControl& c : Tpl()) {
    if (text == c.text) out.push_back(&c);
  }
  return out;
}

void ExpectRect(const DlgControl& c, int x, int y, int cx, int cy) {
  EXPECT_EQ(c.rect.x, x) << c.id << " " << c.text;
  EXPECT_EQ(c.rect.y, y) << c.id << " " << c.text;
  EXPECT_EQ(c.rect.cx, cx) << c.id << " " << c.text;
  EXPECT_EQ(c.rect.cy, cy) << c.id << " " << c.text;
}

}  // namespace

TEST(MainDialogTemplate, WindowItselfIsAFixedMinimisableDialog) {
  EXPECT_EQ(Tpl().id, IDD_BRENNACENTER_DIALOG);
  EXPECT_STREQ(Tpl().caption, "数据监控");
  ExpectRect({ControlKind::Label, 0, "", Tpl().rect, 0}, 0, 0, 677, 509);
  EXPECT_EQ(Tpl().fontPointSize, 9);
  EXPECT_STREQ(Tpl().fontFace, "宋体");
  EXPECT_TRUE(Tpl().style & dlgstyle::kMinimizeBox);
  EXPECT_TRUE(Tpl().style & dlgstyle::kSysMenu);
  EXPECT_FALSE(Tpl().style & dlgstyle::kMaximizeBox);
  EXPECT_FALSE(Tpl().style & dlgstyle::kThickFrame);
  EXPECT_TRUE(Tpl().exStyle & dlgstyle::kExAppWindow);
}

TEST(MainDialogTemplate, HasEveryControlOfEachKind) {
  // A group box per device group, a panel per verdict, a display per value
  // display ID, the two buttons, and labels: nothing else.
  EXPECT_EQ(OfKind(ControlKind::GroupBox).size(), std::size(kDeviceOperators));
  EXPECT_EQ(OfKind(ControlKind::VerdictPanel).size(), std::size(kVerdicts));
  EXPECT_EQ(OfKind(ControlKind::CommandButton).size(), 2u);
  EXPECT_EQ(OfKind(ControlKind::ValueDisplay).size(), std::size(kValueDisplayIds));
  EXPECT_FALSE(OfKind(ControlKind::Label).empty());
  EXPECT_EQ(Tpl().count,
            OfKind(ControlKind::GroupBox).size() + OfKind(ControlKind::VerdictPanel).size() +
                OfKind(ControlKind::CommandButton).size() +
                OfKind(ControlKind::ValueDisplay).size() + OfKind(ControlKind::Label).size());

  std::set<int> ids;
  for (const DlgControl& c : Tpl()) {
    if (c.id == IDC_STATIC) {
      EXPECT_TRUE(c.kind == ControlKind::GroupBox || c.kind == ControlKind::Label) << c.text;
    } else {
      EXPECT_TRUE(ids.insert(c.id).second) << "duplicate id " << c.id;
    }
    EXPECT_GE(c.rect.x, 0);
    EXPECT_GE(c.rect.y, 0);
    EXPECT_LE(c.rect.x + c.rect.cx, 677) << c.id << " " << c.text;
    EXPECT_LE(c.rect.y + c.rect.cy, 509) << c.id << " " << c.text;
  }
}

TEST(MainDialogTemplate, ValueDisplayIdsAreExactlyTheDisplayVocabulary) {
  const std::vector<int> vocabulary(std::begin(kValueDisplayIds), std::end(kValueDisplayIds));
  std::vector<int> actual;
  for (const DlgControl* c : OfKind(ControlKind::ValueDisplay)) actual.push_back(c->id);
  EXPECT_EQ(actual, vocabulary);  // also: ascending in template order
  for (int id : vocabulary)
    EXPECT_EQ(ValueDisplayIndex(id),
              ControlIndex(Tpl(), id) - ControlIndex(Tpl(), kValueDisplayIds[0]))
        << id;
}

TEST(MainDialogTemplate, TemplateOrderPutsQuitFirstAmongTabStopsAndPortSetLast) {
  const DlgControl* c = Tpl().controls;
  const std::size_t n = Tpl().count;
  // Group boxes and labels, with button 1016 among them.
  std::size_t i = 0;
  int quitIndex = -1;
  for (; i < n && c[i].kind != ControlKind::ValueDisplay; ++i) {
    if (c[i].id == IDC_BTN_QUIT) {
      quitIndex = static_cast<int>(i);
      continue;
    }
    EXPECT_TRUE(c[i].kind == ControlKind::GroupBox || c[i].kind == ControlKind::Label) << i;
  }
  EXPECT_EQ(i, OfKind(ControlKind::GroupBox).size() + OfKind(ControlKind::Label).size() + 1);
  EXPECT_GE(quitIndex, 0);
  // The displays, then the panels in the verdict table's order, then 1017.
  ASSERT_EQ(n - i, std::size(kValueDisplayIds) + std::size(kVerdicts) + 1);
  const std::size_t panels = i + std::size(kValueDisplayIds);
  for (std::size_t k = 0; k < std::size(kVerdicts); ++k)
    EXPECT_EQ(c[panels + k].id, kVerdicts[k].panel.controlId);
  EXPECT_EQ(c[n - 1].id, IDC_BTN_PORTSET);

  // The first enabled tab stop - the initial focus - is the quit button.
  const DlgControl* firstTabStop = nullptr;
  for (const DlgControl& ctl : Tpl()) {
    if ((ctl.style & dlgstyle::kTabStop) && !(ctl.style & dlgstyle::kDisabled)) {
      firstTabStop = &ctl;
      break;
    }
  }
  ASSERT_NE(firstTabStop, nullptr);
  EXPECT_EQ(firstTabStop->id, IDC_BTN_QUIT);
}

TEST(MainDialogTemplate, ButtonsAndLegendSitTopRight) {
  ExpectRect(Control(IDC_BTN_PORTSET), 349, 0, 163, 66);
  EXPECT_STREQ(Control(IDC_BTN_PORTSET).text, "端口设置");
  EXPECT_STREQ(Control(IDC_BTN_QUIT).text, "退出程序");
  EXPECT_EQ(Control(IDC_BTN_QUIT).rect.x, 512);  // beside 1017, touching it
  // The legend below them (its panels: tests/panel/ResourcesTest.cpp).
  for (const VerdictLook& v : kVerdicts) {
    EXPECT_GE(Control(v.panel.controlId).rect.x, Control(IDC_BTN_PORTSET).rect.x) << v.legendText;
    EXPECT_GE(Control(v.panel.controlId).rect.y, Control(IDC_BTN_PORTSET).rect.cy) << v.legendText;
  }
}

TEST(MainDialogTemplate, GroupsCarryTheirTitlesAndOperatorDisplays) {
  const char* titles[] = {"不透光烟度设备", "双怠速废气设备", "速度设备", "侧滑设备",
                          "声级设备",       "灯光设备",       "制动设备"};
  const auto groups = OfKind(ControlKind::GroupBox);
  ASSERT_EQ(groups.size(), std::size(titles));
  for (std::size_t i = 0; i < groups.size(); ++i) EXPECT_STREQ(groups[i]->text, titles[i]);
  ExpectRect(*groups[4], 3, 267, 326, 62);
  ExpectRect(*groups[6], 4, 334, 671, 173);

  EXPECT_EQ(WithText("工号").size(), groups.size()) << "one operator label per group";
  ExpectRect(Control(1065), 106, 78, 149, 16);  // the one short operator display
}

TEST(MainDialogTemplate, DisplaySizesFollowTheirGrid) {
  for (const DlgControl* c : OfKind(ControlKind::ValueDisplay)) {
    if (c->id == 1065) continue;
    if (IsOperatorDisplay(c->id)) {
      EXPECT_EQ(c->rect.cx, 208) << c->id;
      EXPECT_EQ(c->rect.cy, 16) << c->id;
    } else if (c->id >= 1120 && c->id <= 1156) {
      EXPECT_EQ(c->rect.cx, 44) << c->id;
      EXPECT_EQ(c->rect.cy, 18) << c->id;
    } else {
      EXPECT_EQ(c->rect.cx, 41) << c->id;
      EXPECT_EQ(c->rect.cy, 16) << c->id;
    }
  }
}

TEST(MainDialogTemplate, IrregularCellsKeepTheirOddPositions) {
  // Axle two: 1121 alone at 426, its row at 427.
  EXPECT_EQ(Control(1121).rect.y, 426);
  for (int id = 1124; id <= 1151; id += 3) EXPECT_EQ(Control(id).rect.y, 427) << id;
  int at426 = 0;
  for (const DlgControl* c : OfKind(ControlKind::ValueDisplay)) at426 += c->rect.y == 426;
  EXPECT_EQ(at426, 1);
  // Parking and whole-vehicle cells; 1156 one unit lower than 1154.
  ExpectRect(Control(1153), 193, 465, 44, 18);
  ExpectRect(Control(1155), 387, 465, 44, 18);
  ExpectRect(Control(1154), 193, 484, 44, 18);
  ExpectRect(Control(1156), 387, 485, 44, 18);
}

TEST(MainDialogTemplate, LabelTextsKeepTheirBlanks) {
  const auto items = WithText("项    目");  // four blanks
  ASSERT_EQ(items.size(), 2u);
  ExpectRect(*items[0], 358, 227, 30, 34);
  ExpectRect(*items[1], 14, 364, 30, 34);
  ASSERT_EQ(WithText("远    光     偏    移").size(), 1u);  // four, five, four
  ExpectRect(*WithText("远    光     偏    移")[0], 444, 227, 108, 16);
  ASSERT_EQ(WithText("近    光     偏    移").size(), 1u);
  ExpectRect(*WithText("近    光     偏    移")[0], 559, 227, 108, 16);
  EXPECT_EQ(WithText("左  X10N").size(), 2u);  // two blanks
  EXPECT_EQ(WithText("右  X10N").size(), 2u);
  EXPECT_EQ(WithText("(%)").size(), 4u);
  for (const char* row : {"一   轴", "二   轴", "三   轴", "驻   车", "整   车"}) {
    ASSERT_EQ(WithText(row).size(), 1u) << row;  // three blanks
    EXPECT_EQ(WithText(row)[0]->rect.x, 14);
  }
  EXPECT_EQ(WithText("二   轴")[0]->rect.y, 426);
  EXPECT_EQ(WithText("左右(cm/10m)").size(), 2u);
  EXPECT_EQ(WithText("上下(H)").size(), 2u);
}

TEST(MainDialogTemplate, StylesMatchEachKind) {
  using namespace dlgstyle;
  int leftLabels = 0;
  for (const DlgControl& c : Tpl()) {
    EXPECT_EQ(c.style & (kChild | kVisible), kChild | kVisible) << c.id << " " << c.text;
    switch (c.kind) {
      case ControlKind::ValueDisplay:
        EXPECT_EQ(c.style, 0x58018000u) << c.id;
        EXPECT_STREQ(c.text, "");
        break;
      case ControlKind::Label:
        EXPECT_EQ(c.style & (kGroup | kCenterImage), kGroup | kCenterImage) << c.text;
        leftLabels += (c.style & kStaticTypeMask) == kLeft;
        break;
      case ControlKind::VerdictPanel:
        EXPECT_EQ(c.style & (kGroup | kCenterImage | kStaticTypeMask),
                  kGroup | kCenterImage | kCenter);
        break;
      case ControlKind::GroupBox:
        EXPECT_EQ(c.style & 0xF, kGroupBox);
        break;
      case ControlKind::CommandButton:
        EXPECT_EQ(c.style & 0xF, kPushButton);
        break;
      case ControlKind::Icon:
        ADD_FAILURE() << "no icon in the main window";
        break;
      case ControlKind::Edit:
        ADD_FAILURE() << "no edit field in the main window";
        break;
    }
  }
  // "工号" x7, "项    目" x2 and the nine row headings are left aligned;
  // every value heading is centred.
  EXPECT_EQ(leftLabels, 18);
  for (const DlgControl* c : WithText("左 外 灯")) EXPECT_EQ(c->style & kStaticTypeMask, kLeft);
  for (const DlgControl* c : WithText("kcd")) EXPECT_EQ(c->style & kStaticTypeMask, kCenter);
}

TEST(MainDialogTemplate, LookupOfUnknownOrAnonymousControlsFindsNothing) {
  EXPECT_EQ(FindControl(Tpl(), IDC_STATIC), nullptr);  // labels have no identity
  EXPECT_EQ(FindControl(Tpl(), 1022), nullptr);
  EXPECT_EQ(ControlIndex(Tpl(), 99999), -1);
  EXPECT_EQ(ControlIndex(Tpl(), IDC_BTN_PORTSET), static_cast<int>(Tpl().count) - 1);
}
