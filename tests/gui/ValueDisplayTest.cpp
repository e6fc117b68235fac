#include "presentation/ValueDisplay.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <thread>

#include "platform/Gbk.h"
#include "presentation/FontFit.h"
#include "presentation/Fonts.h"

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlue = qRgb(0, 0, 255);

// A shown window holding value displays; grabs read what the screen shows,
// not a fresh paint.
class ValueDisplayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallFontSubstitutions(); }

  void SetUp() override {
    m_window.resize(700, 200);
    m_window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
  }

  CValueDisplay* AddDisplay(const QRect& rect) {
    auto* display = new CValueDisplay(&m_window);
    display->setGeometry(rect);
    display->show();
    Expose();
    return display;
  }

  // What the window system does when the window needs painting, done now:
  // pending updates come from a timer, and tests do not wait on time. A
  // child shown since the last flush is painted only by its own repaint.
  void Expose() {
    for (CValueDisplay* display : m_window.findChildren<CValueDisplay*>()) display->repaint();
  }

  QImage OnScreen(const QWidget* display) const {
    const QRect r = display->geometry();
    return m_window.screen()
        ->grabWindow(m_window.winId(), r.x(), r.y(), r.width(), r.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  }

  static void Save(const QImage& image, const char* name) {
    const QByteArray dir = qgetenv("BRENNA_TEST_ARTIFACTS");
    if (!dir.isEmpty()) image.save(QDir(QString::fromLocal8Bit(dir)).filePath(name));
  }

  QWidget m_window;
};

bool AllPixels(const QImage& image, QRgb colour) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != colour) return false;
  return true;
}

// The bounding box of every pixel that is not `background`.
QRect Ink(const QImage& image, QRgb background) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != background) box |= QRect(x, y, 1, 1);
  return box;
}

}  // namespace

TEST_F(ValueDisplayTest, UntouchedDisplayIsWhiteOnWhite) {
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  EXPECT_TRUE(display->Text().empty());
  EXPECT_EQ(display->BackgroundColor(), kColorWhite);
  EXPECT_EQ(display->TextColor(), kColorWhite);
  const QImage shown = OnScreen(display);
  Save(shown, "value-display-untouched.png");
  EXPECT_TRUE(AllPixels(shown, kWhite));
}

TEST_F(ValueDisplayTest, SetTextShowsRedGlyphsOnWhiteAtOnce) {
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  display->SetColors(kColorWhite, kColorRed);
  display->SetText(Gbk("设备空闲"));
  // No event processing in between: SetText itself put the image on screen.
  const QImage shown = OnScreen(display);
  Save(shown, "value-display-idle.png");

  int solidRed = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) {
      const QRgb p = shown.pixel(x, y);
      // Red glyphs smoothed onto white: only shades between the two.
      ASSERT_TRUE(qRed(p) == 255 && qGreen(p) == qBlue(p)) << x << "," << y;
      if (qGreen(p) < 64) ++solidRed;
    }
  EXPECT_GT(solidRed, 100);  // four heavy characters, not a smudge
  // Inside the fitted cells: 8 cells of 10 from x 35, 20 high from y 0.
  const QRect ink = Ink(shown, kWhite);
  EXPECT_TRUE(QRect(35, 0, 80, 20).contains(ink)) << ink.x() << "," << ink.y() << " "
                                                  << ink.width() << "x" << ink.height();
  EXPECT_GT(ink.width(), 60);
  EXPECT_GT(ink.height(), 14);
}

TEST_F(ValueDisplayTest, TextStaysInsideItsFittedCells) {
  struct Case {
    QRect rect;
    const char* utf8;
    const char* artefact;
  };
  const Case cases[] = {
      {QRect(10, 10, 60, 20), "设备空闲", "value-display-narrow.png"},  // shrinks to 14/7
      {QRect(10, 40, 62, 24), "12.5", "value-display-number.png"},
      {QRect(10, 70, 117, 45), "4321", "value-display-maximised.png"},
      {QRect(200, 10, 312, 24), "设备空闲", "value-display-operator.png"},
      {QRect(200, 40, 85, 17), "-0.25", "value-display-odd.png"},
  };
  for (const Case& c : cases) {
    CValueDisplay* display = AddDisplay(c.rect);
    display->SetColors(kColorWhite, kColorBlack);
    const std::string text = Gbk(c.utf8);
    display->SetText(text);
    const QImage shown = OnScreen(display);
    Save(shown, c.artefact);

    const FontFit fit = FitFont(c.rect.width(), c.rect.height(), text.size());
    // A glyph may reach one pixel past its cell through smoothing.
    const QRect cells(fit.x - 1, fit.y - 1, fit.width * static_cast<int>(text.size()) + 2,
                      fit.height + 2);
    const QRect ink = Ink(shown, kWhite);
    EXPECT_FALSE(ink.isEmpty()) << c.artefact;
    EXPECT_TRUE(cells.contains(ink)) << c.artefact << ": ink " << ink.x() << "," << ink.y() << " "
                                     << ink.width() << "x" << ink.height();
    // Fitted, not merely small: the text fills most of its cells' width.
    EXPECT_GT(ink.width(), cells.width() * 6 / 10) << c.artefact;
  }
}

TEST_F(ValueDisplayTest, SetColorsAloneChangesNothingOnScreen) {
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  display->SetColors(kColorWhite, kColorRed);
  display->SetText(Gbk("设备空闲"));
  const QImage before = OnScreen(display);

  display->SetColors(kColorBlue, kColorGreen);
  QCoreApplication::processEvents();
  EXPECT_EQ(OnScreen(display), before);
  EXPECT_EQ(display->BackgroundColor(), kColorBlue);
  EXPECT_EQ(display->TextColor(), kColorGreen);

  // The next paint shows them.
  Expose();
  const QImage after = OnScreen(display);
  EXPECT_EQ(after.pixel(0, 0), kBlue);
  EXPECT_EQ(after.pixel(149, 19), kBlue);
}

TEST_F(ValueDisplayTest, EmptyTextShowsOnlyTheBackground) {
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  display->SetColors(kColorWhite, kColorRed);
  display->SetText(Gbk("设备空闲"));
  display->SetColors(kColorBlue, kColorRed);
  display->SetText(std::string());
  EXPECT_TRUE(AllPixels(OnScreen(display), kBlue));
}

TEST_F(ValueDisplayTest, GrownDisplayIsCoveredCompletely) {
  // The first redraw happens at the small size; the bigger control must not
  // show anything of that first image.
  CValueDisplay* display = AddDisplay(QRect(10, 10, 40, 10));
  display->setGeometry(10, 10, 300, 60);
  display->SetColors(kColorBlue, kColorWhite);
  display->SetText(std::string());
  EXPECT_TRUE(AllPixels(OnScreen(display), kBlue));
}

TEST_F(ValueDisplayTest, TextTooLongForAnyFontStartsInTheMiddle) {
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  display->SetColors(kColorWhite, kColorBlack);
  display->SetText(std::string(400, '8'));  // w reaches 0
  const QRect ink = Ink(OnScreen(display), kWhite);
  EXPECT_FALSE(ink.isEmpty());
  EXPECT_GE(ink.left(), 75 - 1);
}

TEST_F(ValueDisplayTest, HiddenDisplayKeepsTheTextForItsFirstPaint) {
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  display->hide();
  display->SetColors(kColorBlue, kColorWhite);
  display->SetText(Gbk("设备空闲"));
  EXPECT_EQ(display->Text(), Gbk("设备空闲"));
  display->show();
  Expose();
  const QImage shown = OnScreen(display);
  EXPECT_EQ(shown.pixel(0, 0), kBlue);
  EXPECT_FALSE(Ink(shown, kBlue).isEmpty());
}

TEST_F(ValueDisplayTest, WorkerThreadCallsGiveTheSameImage) {
  CValueDisplay* fromGui = AddDisplay(QRect(10, 10, 150, 20));
  CValueDisplay* fromWorker = AddDisplay(QRect(10, 40, 150, 20));
  const std::string text = Gbk("设备空闲");
  fromGui->SetColors(kColorWhite, kColorRed);
  fromGui->SetText(text);

  std::thread worker([&] {
    fromWorker->SetColors(kColorWhite, kColorRed);
    fromWorker->SetText(text);
  });
  worker.join();
  // Handed over, not drawn on the worker: nothing has changed yet.
  EXPECT_TRUE(AllPixels(OnScreen(fromWorker), kWhite));
  EXPECT_TRUE(fromWorker->Text().empty());

  QCoreApplication::processEvents();
  EXPECT_EQ(fromWorker->Text(), text);
  EXPECT_EQ(fromWorker->TextColor(), kColorRed);
  EXPECT_EQ(OnScreen(fromWorker), OnScreen(fromGui));
}

TEST_F(ValueDisplayTest, WorkerCallsArriveInOrder) {
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) {
      display->SetColors(i % 2 ? kColorBlue : kColorWhite, kColorRed);
      display->SetText(std::to_string(i));
    }
    display->SetColors(kColorWhite, kColorBlack);
    display->SetText(Gbk("设备空闲"));
  });
  worker.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(display->Text(), Gbk("设备空闲"));
  EXPECT_EQ(display->BackgroundColor(), kColorWhite);
  EXPECT_EQ(display->TextColor(), kColorBlack);
}

TEST_F(ValueDisplayTest, DisplayDestroyedBeforeAWorkerCallArrivesIsHarmless) {
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  std::thread worker([&] { display->SetText("late"); });
  worker.join();
  delete display;
  QCoreApplication::processEvents();
  SUCCEED();
}
