#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/Fonts.h"
#include "app/ValueDisplay.h"
#include "panel/FontFit.h"
#include "platform/Gbk.h"

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlue = qRgb(0, 0, 255);

// A shown window holding value displays. Grabs read what the screen shows,
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
  // The paint the window system would ask for, done now (pending updates
  // come from a timer). A newly shown child paints only on its own repaint.
  void Expose() {
    for (CValueDisplay* display : m_window.findChildren<CValueDisplay*>()) display->repaint();
  }
  QImage OnScreen(const QWidget* display, const char* artefact = nullptr) const {
    const QRect r = display->geometry();
    const QImage image = m_window.screen()
                             ->grabWindow(m_window.winId(), r.x(), r.y(), r.width(), r.height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    const QByteArray dir = qgetenv("BRENNA_TEST_ARTIFACTS");
    if (artefact != nullptr && !dir.isEmpty())
      image.save(QDir(QString::fromLocal8Bit(dir)).filePath(artefact));
    return image;
  }

  QWidget m_window;
};

// The bounding box of every pixel that is not `background`.
QRect Ink(const QImage& image, QRgb background) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != background) box |= QRect(x, y, 1, 1);
  return box;
}

}  // namespace

TEST_F(ValueDisplayTest, UntouchedOrEmptyDisplayShowsOnlyItsBackground) {
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  EXPECT_TRUE(display->Text().empty());
  EXPECT_EQ(display->TextColor(), kColorWhite);
  EXPECT_TRUE(Ink(OnScreen(display), kWhite).isEmpty());  // white on white

  display->SetColors(kColorWhite, kColorRed);
  display->SetText(Gbk("设备空闲"));
  display->SetColors(kColorBlue, kColorRed);
  display->SetText(std::string());
  EXPECT_TRUE(Ink(OnScreen(display), kBlue).isEmpty());
}

TEST_F(ValueDisplayTest, SetTextShowsRedGlyphsOnWhiteAtOnce) {
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  display->SetColors(kColorWhite, kColorRed);
  display->SetText(Gbk("设备空闲"));
  // No event processing in between: SetText itself put the image on screen.
  const QImage shown = OnScreen(display, "value-display-idle.png");
  int solidRed = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) {
      const QRgb p = shown.pixel(x, y);
      // Red glyphs smoothed onto white: only shades between the two.
      ASSERT_TRUE(qRed(p) == 255 && qGreen(p) == qBlue(p)) << x << "," << y;
      if (qGreen(p) < 64) ++solidRed;
    }
  EXPECT_GT(solidRed, 100);  // four characters, not a smudge
}

TEST_F(ValueDisplayTest, TextFillsItsFittedCells) {
  const struct {
    QRect rect;
    const char* utf8;
    const char* artefact;
  } cases[] = {
      {QRect(10, 10, 150, 20), "设备空闲", "value-display-operator-small.png"},  // 20/10 at 35,0
      {QRect(10, 40, 60, 20), "设备空闲", "value-display-narrow.png"},           // 14/7 at 2,3
      {QRect(10, 70, 62, 24), "12.5", "value-display-number.png"},
      {QRect(200, 10, 117, 45), "4321", "value-display-maximised.png"},
      {QRect(200, 70, 85, 17), "-0.25", "value-display-odd.png"},
  };
  for (const auto& c : cases) {
    CValueDisplay* display = AddDisplay(c.rect);
    display->SetColors(kColorWhite, kColorBlack);
    const std::string text = Gbk(c.utf8);
    display->SetText(text);
    const QRect ink = Ink(OnScreen(display, c.artefact), kWhite);

    const FontFit fit = FitFont(c.rect.width(), c.rect.height(), text.size());
    // Smoothing may reach one pixel past the cells.
    const QRect cells(fit.x - 1, fit.y - 1, fit.width * static_cast<int>(text.size()) + 2,
                      fit.height + 2);
    EXPECT_TRUE(cells.contains(ink)) << c.artefact << ": ink " << ink.x() << "," << ink.y() << " "
                                     << ink.width() << "x" << ink.height();
    EXPECT_GT(ink.width(), cells.width() * 6 / 10) << c.artefact;  // fitted, not just small
  }

  // So long that the width reaches 0: the text starts in the middle.
  CValueDisplay* overlong = AddDisplay(QRect(400, 10, 150, 20));
  overlong->SetColors(kColorWhite, kColorBlack);
  overlong->SetText(std::string(400, '8'));
  const QRect ink = Ink(OnScreen(overlong), kWhite);
  EXPECT_FALSE(ink.isEmpty());
  EXPECT_GE(ink.left(), 75 - 1);
}

TEST_F(ValueDisplayTest, ColoursShowOnlyAtTheNextTextOrPaint) {
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  display->SetColors(kColorWhite, kColorRed);
  display->SetText(Gbk("设备空闲"));
  const QImage before = OnScreen(display);

  display->SetColors(kColorBlue, kColorGreen);
  QCoreApplication::processEvents();
  EXPECT_EQ(OnScreen(display), before);
  EXPECT_EQ(display->BackgroundColor(), kColorBlue);

  Expose();
  const QImage after = OnScreen(display);
  EXPECT_EQ(after.pixel(0, 0), kBlue);
  EXPECT_FALSE(Ink(after, kBlue).isEmpty());
}

TEST_F(ValueDisplayTest, ResizedOrHiddenDisplayStillDrawsWhole) {
  // The first redraw happens small; the grown control shows nothing of it.
  CValueDisplay* display = AddDisplay(QRect(10, 10, 40, 10));
  display->setGeometry(10, 10, 300, 60);
  display->SetColors(kColorBlue, kColorWhite);
  display->SetText(std::string());
  EXPECT_TRUE(Ink(OnScreen(display), kBlue).isEmpty());

  // A hidden display keeps the text for its next paint.
  display->hide();
  display->SetText(Gbk("设备空闲"));
  display->show();
  Expose();
  EXPECT_FALSE(Ink(OnScreen(display), kBlue).isEmpty());
}

TEST_F(ValueDisplayTest, WorkerThreadCallsGiveTheSameImageInOrder) {
  CValueDisplay* fromGui = AddDisplay(QRect(10, 10, 150, 20));
  CValueDisplay* fromWorker = AddDisplay(QRect(10, 40, 150, 20));
  CValueDisplay* dropped = AddDisplay(QRect(10, 70, 150, 20));
  const std::string text = Gbk("设备空闲");
  fromGui->SetColors(kColorWhite, kColorRed);
  fromGui->SetText(text);

  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) {
      fromWorker->SetColors(kColorBlue, kColorBlack);
      fromWorker->SetText(std::to_string(i));
    }
    fromWorker->SetColors(kColorWhite, kColorRed);
    fromWorker->SetText(text);
    dropped->SetText("late");
  });
  worker.join();
  // Handed over, not drawn on the worker: nothing has changed yet.
  EXPECT_TRUE(Ink(OnScreen(fromWorker), kWhite).isEmpty());
  EXPECT_TRUE(fromWorker->Text().empty());

  delete dropped;  // gone before its call arrives: the call goes with it
  QCoreApplication::processEvents();
  EXPECT_EQ(fromWorker->Text(), text);
  EXPECT_EQ(fromWorker->TextColor(), kColorRed);
  EXPECT_EQ(OnScreen(fromWorker), OnScreen(fromGui));
}

TEST_F(ValueDisplayTest, AWorkerThatKeepsRunningHandsItsCallsOverInOrder) {
  // As in the monitor, the worker is still running while the window applies
  // its calls: nothing but the display's own hand-over orders the two
  // threads (the flags are relaxed on purpose, so a thread checker sees no
  // other ordering and reports a hand-over that has none).
  CValueDisplay* display = AddDisplay(QRect(10, 10, 150, 20));
  std::atomic<bool> posted{false}, checked{false};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) {
      display->SetColors(i % 2 ? kColorBlue : kColorGreen, kColorBlack);
      display->SetText(
          std::string(static_cast<size_t>(i % 7 + 1), static_cast<char>('a' + i % 26)));
    }
    display->SetColors(kColorBlack, kColorRed);
    display->SetText(Gbk("设备空闲"));
    posted.store(true, std::memory_order_relaxed);
    while (!checked.load(std::memory_order_relaxed)) std::this_thread::yield();
  });
  while (!posted.load(std::memory_order_relaxed)) std::this_thread::yield();
  EXPECT_TRUE(display->Text().empty());  // handed over, not applied on the worker
  QCoreApplication::processEvents();
  EXPECT_EQ(display->Text(), Gbk("设备空闲"));
  EXPECT_EQ(display->BackgroundColor(), kColorBlack);
  EXPECT_EQ(display->TextColor(), kColorRed);
  checked.store(true, std::memory_order_relaxed);
  worker.join();
}
