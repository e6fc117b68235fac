// The port dialog offscreen: what it shows, what it stores, what it refuses
// and what it never writes.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "GuiHelpers.h"
#include "TempDir.h"
#include "app/DialogBuilder.h"
#include "app/Fonts.h"
#include "app/PortSet.h"
#include "monitor/Globals.h"
#include "panel/PortSetTemplate.h"
#include "panel/Resource.h"
#include "platform/Gbk.h"
#include "util/IniFile.h"

namespace {

namespace fs = std::filesystem;

constexpr int kLeftOpenByTest = 42;
const char kRefused[] = "新端口设置不正确!";
const char kStored[] = "新端口设置成功,重启程序生效!";
const char kNotWritten[] = "新端口保存失败,无法写入配置文件!";

void SetBaseDirectory(const std::string& dir) {
  unsigned char* field = g_siteConfig.bytes + PALLIX_SITE_BASE_DIR_OFFSET;
  std::memset(field, 0, PALLIX_SITE_DIR_FIELD_SIZE);
  std::memcpy(field, dir.data(), std::min<std::size_t>(dir.size(), PALLIX_SITE_DIR_FIELD_SIZE - 1));
}

template <class W>
W* Control(QWidget* dlg, int id) {
  for (W* w : dlg->findChildren<W*>()) {
    if (GetDlgCtrlID(w) == id) return w;
  }
  ADD_FAILURE() << "no control " << id;
  return nullptr;
}
QLineEdit* Entry(QWidget* dlg) { return Control<QLineEdit>(dlg, IDC_EDIT_NEWPORT); }
QLineEdit* OldPort(QWidget* dlg) { return Control<QLineEdit>(dlg, IDC_EDIT_OLDPORT); }
void ClickCancel(QWidget* dlg) { Control<QPushButton>(dlg, dlgid::kCancel)->click(); }

// Runs a dialog with `scenario` acting inside its modal loop; one the
// scenario leaves open ends with kLeftOpenByTest.
int RunPortSet(const std::function<void(CPortSet*)>& scenario) {
  CPortSet dlg;
  WhenModal<CPortSet>([scenario](CPortSet* d) {
    scenario(d);
    if (d->isVisible()) d->done(kLeftOpenByTest);
  });
  return dlg.DoModal();
}

// Triggers OK through `press` and answers the message box that follows.
MessageBoxSeen Confirm(const std::function<void()>& press) {
  MessageBoxSeen seen;
  AnswerNextMessageBox(&seen, QString::fromUtf8("确定"));
  press();
  return seen;
}
MessageBoxSeen ClickOk(QWidget* dlg) {
  return Confirm([dlg] { Control<QPushButton>(dlg, dlgid::kOk)->click(); });
}

void ExpectBox(const MessageBoxSeen& seen, const char* text) {
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.text, QString::fromUtf8(text));
  EXPECT_EQ(seen.title, QStringLiteral("BrennaCenter"));
  EXPECT_EQ(seen.buttons, QStringList{QString::fromUtf8("确定")});
}

class PortSetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallFontSubstitutions(); }
  void SetUp() override { SetBaseDirectory(m_dir.path().string()); }
  void TearDown() override { SetBaseDirectory(""); }

  std::string Ini() const { return m_dir.file("BrennaCenter.ini"); }
  int StoredPort() const { return CIniFile().GetInt(Gbk("端口号"), "Port", -1, Ini()); }

  TempDir m_dir;
  const std::string m_fileBefore =
      Gbk("; 检测线\r\n[端口号]\r\nPort = 10011\r\n[其他]\r\nkey=value\r\n");
};

}  // namespace

TEST_F(PortSetTest, LooksLikeItsTemplateWithChineseGlyphs) {
  RunPortSet([](CPortSet* d) {
    EXPECT_EQ(d->windowTitle(), QString::fromUtf8("端口设置"));
    EXPECT_EQ(d->size(), QSize(248, 68));
    EXPECT_FALSE(d->windowFlags() & (Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint));
    EXPECT_EQ(QFontInfo(d->font()).family(), SongFaceFamily());

    // One widget per row, in template order, where the row puts it.
    std::vector<QWidget*> children;
    for (QObject* o : d->children()) {
      if (auto* w = qobject_cast<QWidget*>(o); w != nullptr && !w->isWindow())
        children.push_back(w);
    }
    const DlgTemplate& tpl = PortSetDialogTemplate();
    ASSERT_EQ(children.size(), tpl.count);
    for (std::size_t i = 0; i < tpl.count; ++i) {
      const CRect px = DluToPixels(tpl.controls[i].rect);
      EXPECT_EQ(children[i]->geometry(), QRect(px.left, px.top, px.Width(), px.Height())) << i;
      EXPECT_EQ(GetDlgCtrlID(children[i]), tpl.controls[i].id) << i;
      const QFontMetrics fm(children[i]->font());
      for (const uint ch : QString::fromUtf8(tpl.controls[i].text).toUcs4()) {
        EXPECT_TRUE(fm.inFontUcs4(ch)) << "U+" << std::hex << ch;
      }
    }
    EXPECT_EQ(OldPort(d)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(Entry(d)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

    const QString artifacts = qEnvironmentVariable("BRENNA_TEST_ARTIFACTS");
    if (!artifacts.isEmpty()) d->grab().save(artifacts + "/port-dialog.png");
    ClickCancel(d);
  });
}

TEST_F(PortSetTest, ShowsTheStoredPortWithTheFocusOnOk) {
  // No file: the default, and opening alone writes nothing.
  RunPortSet([](CPortSet* d) {
    EXPECT_EQ(OldPort(d)->text(), QStringLiteral("10004"));
    EXPECT_FALSE(OldPort(d)->isEnabled());
    // OK is the first tab stop; Tab goes on to Cancel, then to the entry.
    QPushButton* ok = Control<QPushButton>(d, dlgid::kOk);
    EXPECT_EQ(d->focusWidget(), ok);
    QTest::keyClick(ok, Qt::Key_Tab);
    EXPECT_EQ(d->focusWidget(), Control<QPushButton>(d, dlgid::kCancel));
    QTest::keyClick(d->focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(d->focusWidget(), Entry(d));
    ClickCancel(d);
  });
  EXPECT_FALSE(fs::exists(Ini()));

  WriteFileBytes(Ini(), m_fileBefore);
  RunPortSet([](CPortSet* d) { EXPECT_EQ(OldPort(d)->text(), QStringLiteral("10011")); });
  EXPECT_EQ(ReadFileBytes(Ini()), m_fileBefore);
}

TEST_F(PortSetTest, AUsablePortIsStoredAndClosesWithOk) {
  g_nNetPort = 10004;
  int result = RunPortSet([](CPortSet* d) {
    QLineEdit* entry = Entry(d);
    entry->setFocus();
    QTest::keyClicks(entry, "10005");
    ExpectBox(Confirm([entry] { QTest::keyClick(entry, Qt::Key_Return); }), kStored);
  });
  EXPECT_EQ(result, dlgid::kOk);
  EXPECT_EQ(StoredPort(), 10005);
  EXPECT_EQ(g_nNetPort, 10004);  // the running monitor keeps its port

  // A decimal entry stores its whole part, into the existing file.
  WriteFileBytes(Ini(), m_fileBefore);
  result = RunPortSet([](CPortSet* d) {
    Entry(d)->setText("12.5");
    ExpectBox(ClickOk(d), kStored);
  });
  EXPECT_EQ(result, dlgid::kOk);
  EXPECT_EQ(StoredPort(), 12);
  EXPECT_EQ(CIniFile().GetString(Gbk("其他"), "key", "", Ini()), "value");
}

TEST_F(PortSetTest, RefusedEntriesEmptyTheFieldAndWriteNothing) {
  WriteFileBytes(Ini(), m_fileBefore);
  const char* const entries[] = {
      ".5", "-.5", "1.2.3", "5-", "+5",    "12a",   "1 2",  // not a number
      "",   "-",   "0",     "-5", "65536", "99999",         // not a port
  };
  const int result = RunPortSet([&](CPortSet* d) {
    for (const char* text : entries) {
      SCOPED_TRACE(std::string("entry \"") + text + "\"");
      Entry(d)->setText(text);
      ExpectBox(ClickOk(d), kRefused);
      EXPECT_TRUE(Entry(d)->text().isEmpty());
      EXPECT_TRUE(d->isVisible());
      EXPECT_EQ(ReadFileBytes(Ini()), m_fileBefore);
    }
    ClickCancel(d);
  });
  EXPECT_EQ(result, dlgid::kCancel);

  // At most 99 characters go in; so many digits are still no port.
  RunPortSet([](CPortSet* d) {
    Entry(d)->setFocus();
    QTest::keyClicks(Entry(d), QString(150, '1'));
    EXPECT_EQ(Entry(d)->text(), QString(99, '1'));
    ExpectBox(ClickOk(d), kRefused);
    EXPECT_TRUE(Entry(d)->text().isEmpty());
  });
  EXPECT_EQ(ReadFileBytes(Ini()), m_fileBefore);
}

TEST_F(PortSetTest, CancelAndEscapeWriteNothing) {
  int result = RunPortSet([](CPortSet* d) {
    Entry(d)->setText("10005");
    ClickCancel(d);
  });
  EXPECT_EQ(result, dlgid::kCancel);
  EXPECT_FALSE(fs::exists(Ini()));

  WriteFileBytes(Ini(), m_fileBefore);
  result = RunPortSet([](CPortSet* d) {
    Entry(d)->setText("10006");
    QTest::keyClick(Entry(d), Qt::Key_Escape);
  });
  EXPECT_EQ(result, dlgid::kCancel);
  EXPECT_EQ(ReadFileBytes(Ini()), m_fileBefore);
}

TEST_F(PortSetTest, AFileThatCannotBeWrittenIsReportedNotClaimed) {
  const fs::path atRoot = "/BrennaCenter.ini";
  const bool rootHadOne = fs::exists(atRoot);
  const struct {
    const char* site;
    std::function<void()> set;
  } sites[] = {
      {"missing base directory", [&] { SetBaseDirectory(m_dir.file("gone")); }},
      {"no base directory", [] { SetBaseDirectory(""); }},
      // A reader running past the field would find this test's directory.
      {"unterminated base directory",
       [&] {
         unsigned char* field = g_siteConfig.bytes + PALLIX_SITE_BASE_DIR_OFFSET;
         std::memset(field, '/', PALLIX_SITE_DIR_FIELD_SIZE);
         const std::string beyond = m_dir.path().string();
         std::memcpy(field + PALLIX_SITE_DIR_FIELD_SIZE, beyond.c_str(), beyond.size() + 1);
       }},
  };
  for (const auto& site : sites) {
    SCOPED_TRACE(site.site);
    site.set();
    const int result = RunPortSet([](CPortSet* d) {
      EXPECT_EQ(OldPort(d)->text(), QStringLiteral("10004"));
      Entry(d)->setText("10005");
      ExpectBox(ClickOk(d), kNotWritten);
      // The entry was fine: it stays for another try.
      EXPECT_EQ(Entry(d)->text(), QStringLiteral("10005"));
      ClickCancel(d);
    });
    EXPECT_EQ(result, dlgid::kCancel);
    EXPECT_TRUE(fs::is_empty(m_dir.path()));
    EXPECT_EQ(fs::exists(atRoot), rootHadOne);
  }
  std::memset(g_siteConfig.bytes + PALLIX_SITE_BASE_DIR_OFFSET + PALLIX_SITE_DIR_FIELD_SIZE, 0,
              m_dir.path().string().size() + 1);

  // A read-only settings file is left as it is, not replaced by a new one.
  SetBaseDirectory(m_dir.path().string());
  WriteFileBytes(Ini(), m_fileBefore);
  fs::permissions(Ini(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const int result = RunPortSet([](CPortSet* d) {
    EXPECT_EQ(OldPort(d)->text(), QStringLiteral("10011"));
    Entry(d)->setText("10005");
    ExpectBox(ClickOk(d), kNotWritten);
    ClickCancel(d);
  });
  EXPECT_EQ(result, dlgid::kCancel);
  EXPECT_EQ(ReadFileBytes(Ini()), m_fileBefore);
  EXPECT_EQ(fs::status(Ini()).permissions(),
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}
