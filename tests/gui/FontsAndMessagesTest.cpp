// The faces the templates name, the width-to-stretch mapping, and the
// message box helper.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QRegularExpression>

#include "GuiHelpers.h"
#include "app/Fonts.h"
#include "app/MessageBox.h"
#include "panel/Templates.h"
#include "platform/Gbk.h"

namespace {

class FontsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallFontSubstitutions(); }
};

}  // namespace

TEST_F(FontsTest, SongAndArialResolveToInstalledLookAlikes) {
  const QString song = SongFaceFamily();
  ASSERT_FALSE(song.isEmpty()) << "no CJK face installed";
  EXPECT_EQ(QFontInfo(QFont(QString::fromUtf8("宋体"))).family(), song);
  EXPECT_EQ(QFontInfo(QFont(QStringLiteral("SimSun"))).family(), song);
  EXPECT_EQ(QFontInfo(QFont(QStringLiteral("Arial"))).family(), QStringLiteral("Liberation Sans"));
  // A Song face's average character is half its size, as the panel and
  // button fonts are sized.
  QFont forty(QString::fromUtf8("宋体"));
  forty.setPixelSize(40);
  EXPECT_EQ(QFontMetrics(forty).averageCharWidth(), 20);
  // Installing twice leaves one substitute, not two.
  InstallFontSubstitutions();
  const QStringList subs = QFont::substitutes(QString::fromUtf8("宋体"));
  ASSERT_EQ(subs.size(), 1);
  EXPECT_EQ(subs.front().compare(song, Qt::CaseInsensitive), 0);
}

TEST_F(FontsTest, EveryTemplateTextHasItsGlyphsInTheSongFace) {
  // Boxes instead of Chinese would mean a face without the glyphs.
  const QFont font(QString::fromUtf8("宋体"));
  const QFontMetrics fm(font);
  for (const DlgTemplate* tpl : {&MainDialogTemplate(), &AboutDialogTemplate()}) {
    QString all = QString::fromUtf8(tpl->caption);
    for (const DlgControl& c : *tpl) all += QString::fromUtf8(c.text);
    for (const uint ch : all.toUcs4()) {
      if (ch == ' ') continue;
      EXPECT_TRUE(fm.inFontUcs4(ch)) << "U+" << std::hex << ch;
    }
  }
}

TEST_F(FontsTest, WidthBecomesAStretchThatHitsTheAverageCharacter) {
  const QString song = QString::fromUtf8("宋体");
  const struct { int height, width; } cases[] = {{100, 40}, {60, 30}, {20, 10}, {40, 30}};
  for (const auto& c : cases) {
    const QFont f = CreateFontLike(c.height, c.width, 900, song);
    EXPECT_NEAR(QFontMetrics(f).height(), c.height, 1);
    EXPECT_EQ(f.weight(), 900);
    const double average = QFontMetricsF(f).averageCharWidth();
    EXPECT_NEAR(average, c.width, c.width * 0.03 + 0.5) << c.height << "x" << c.width;
  }
  // Nothing sensible to draw, but a usable font all the same.
  const QFont odd = CreateFontLike(0, -3, -7, song);
  EXPECT_EQ(odd.weight(), 400);
  EXPECT_EQ(odd.stretch(), QFont::AnyStretch);
  EXPECT_EQ(CreateFontLike(-12, 0, 400, song).pixelSize(), 12);
  EXPECT_EQ(CreateFontLike(1 << 30, 1 << 30, 5000, song).weight(), 1000);
}

TEST_F(FontsTest, HeightIsTheCharacterCellNotTheEm) {
  // The value displays' Arial and the legend's and buttons' Song face: the
  // ascent and descent together make the height asked for, so a glyph is
  // no taller than its cell and sits where the layout puts it.
  for (const char* face : {"Arial", "宋体"}) {
    for (int height : {7, 12, 16, 20, 24, 29, 45, 60, 100}) {
      const QFont f = CreateFontLike(height, 0, 900, QString::fromUtf8(face));
      const QFontMetrics fm(f);
      EXPECT_NEAR(fm.ascent() + fm.descent(), height, 1) << face << " " << height;
    }
  }
}

TEST_F(FontsTest, SyntheticBoldOnlyWhereTheFaceHasNoHeavyWeight) {
  const QFont heavySong = CreateFontLike(-96, 0, 900, QString::fromUtf8("宋体"));  // em 96
  EXPECT_DOUBLE_EQ(SyntheticBoldStrength(heavySong), 4.0);
  EXPECT_EQ(SyntheticBoldStrength(CreateFontLike(96, 0, 400, QString::fromUtf8("宋体"))), 0);
  // Liberation Sans has a bold of its own.
  EXPECT_EQ(SyntheticBoldStrength(CreateFontLike(96, 0, 900, QStringLiteral("Arial"))), 0);
}

TEST(MessageBoxHelper, ShowsGbkTextsAndMapsTheAnswers) {
  MessageBoxSeen seen;
  AnswerNextMessageBox(&seen, QString::fromUtf8("确定"));
  EXPECT_EQ(ShowMessageBox(Gbk("Pallix.dll 加载错误或者没有该文件！")), dlgid::kOk);
  EXPECT_EQ(seen.title, QStringLiteral("BrennaCenter"));  // the application's name
  EXPECT_EQ(seen.text, QString::fromUtf8("Pallix.dll 加载错误或者没有该文件！"));
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen.buttons, QStringList{QString::fromUtf8("确定")});

  MessageBoxSeen yes;
  AnswerNextMessageBox(&yes, QString::fromUtf8("是"));
  EXPECT_EQ(ShowMessageBox(Gbk("继续?"), Gbk("提示信息"), mb::kYesNo | mb::kIconQuestion),
            dlgid::kYes);
  EXPECT_EQ(yes.title, QString::fromUtf8("提示信息"));
  EXPECT_EQ(yes.icon, QMessageBox::Question);

  MessageBoxSeen no;
  AnswerNextMessageBox(&no, QString::fromUtf8("否"));
  EXPECT_EQ(ShowMessageBox(Gbk("继续?"), Gbk("提示信息"), mb::kYesNo), dlgid::kNo);

  MessageBoxSeen cancel;
  AnswerNextMessageBox(&cancel, QString::fromUtf8("取消"));
  EXPECT_EQ(ShowMessageBox("x", kAppName, mb::kOkCancel | mb::kIconWarning), dlgid::kCancel);
  EXPECT_EQ(cancel.icon, QMessageBox::Warning);
}

TEST(MessageBoxHelper, AYesNoBoxClosedWithoutAChoiceAnswersNo) {
  WhenModal<QMessageBox>([](QMessageBox* box) { box->reject(); });
  EXPECT_EQ(ShowMessageBox("?", kAppName, mb::kYesNo), dlgid::kNo);
  // An unknown button code still gets a box with an answer.
  MessageBoxSeen seen;
  AnswerNextMessageBox(&seen, QString::fromUtf8("确定"));
  EXPECT_EQ(ShowMessageBox("?", kAppName, 0xE), dlgid::kOk);
}
