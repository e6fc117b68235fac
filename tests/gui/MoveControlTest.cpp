#include <gtest/gtest.h>

#include <QDialog>
#include <QWidget>
#include <memory>
#include <vector>

#include "app/MoveControl.h"

namespace {

// A parent at the designed 800 x 600 with children at given rectangles.
struct Window {
  QWidget parent;
  std::vector<QWidget*> children;

  explicit Window(const std::vector<QRect>& rects) {
    parent.resize(800, 600);
    for (const QRect& r : rects) {
      children.push_back(new QWidget(&parent));
      children.back()->setGeometry(r);
    }
  }
  std::vector<QRect> Geometries() const {
    std::vector<QRect> out;
    for (const QWidget* c : children) out.push_back(c->geometry());
    return out;
  }
};

const QRect kChild(100, 50, 200, 30);     // 100,50 - 300,80
const QRect kDoubled(200, 100, 400, 60);  // 200,100 - 600,160

}  // namespace

TEST(MoveControl, DoublingTheWindowDoublesEveryChild) {
  Window w({kChild, QRect(1, 1, 10, 10)});
  CMoveControl move;
  move.InitLayout(&w.parent);
  w.parent.resize(1600, 1200);
  EXPECT_EQ(move.ResizeControls(), 1);
  EXPECT_EQ(w.children[0]->geometry(), kDoubled);
  // The float ratios decide the last pixel (1 / 800 just below, 1 / 600 just
  // above its value): the widget gets exactly what the arithmetic says.
  EXPECT_EQ(w.children[1]->geometry().topLeft(), QPoint(1, 2));
}

TEST(MoveControl, MinimiseAndRestoreComesBackToTheSameLayout) {
  Window w({kChild, QRect(13, 7, 41, 16), QRect(799, 599, 1, 1)});
  CMoveControl move;
  move.InitLayout(&w.parent);
  w.parent.resize(1917, 1043);
  ASSERT_EQ(move.ResizeControls(), 1);
  const std::vector<QRect> maximised = w.Geometries();

  for (int i = 0; i < 3; ++i) {
    w.parent.resize(0, 0);
    ASSERT_EQ(move.ResizeControls(), 1);
    for (const QRect& r : w.Geometries()) EXPECT_EQ(r, QRect(0, 0, 0, 0));
    w.parent.resize(1917, 1043);
    ASSERT_EQ(move.ResizeControls(), 1);
    EXPECT_EQ(w.Geometries(), maximised);
  }
}

TEST(MoveControl, FirstFiveHundredChildWidgetsInWindowOrder) {
  Window w(std::vector<QRect>(520, kChild));
  auto* grandchild = new QWidget(w.children[0]);
  grandchild->setGeometry(10, 10, 20, 20);
  auto* dialog = new QDialog(&w.parent);  // a window of its own
  const QRect dialogRect = dialog->geometry();

  CMoveControl move;
  move.InitLayout(&w.parent);
  EXPECT_EQ(move.RecordedChildren(), 500);
  w.parent.resize(1600, 1200);
  ASSERT_EQ(move.ResizeControls(), 1);
  EXPECT_EQ(w.children[0]->geometry(), kDoubled);
  EXPECT_EQ(w.children[499]->geometry(), kDoubled);
  for (int i = 500; i < 520; ++i) EXPECT_EQ(w.children[i]->geometry(), kChild);
  EXPECT_EQ(grandchild->geometry(), QRect(10, 10, 20, 20));
  EXPECT_EQ(dialog->geometry(), dialogRect);
}

TEST(MoveControl, ChildrenComingAndGoingAfterRecordingAreHarmless) {
  Window w({QRect(0, 0, 80, 60), kChild});
  CMoveControl move;
  move.InitLayout(&w.parent);
  delete w.children[0];
  auto* late = new QWidget(&w.parent);
  late->setGeometry(5, 5, 10, 10);
  w.parent.resize(1600, 1200);
  ASSERT_EQ(move.ResizeControls(), 1);
  EXPECT_EQ(w.children[1]->geometry(), kDoubled);  // its own rectangle still
  EXPECT_EQ(late->geometry(), QRect(5, 5, 10, 10));
}

TEST(MoveControl, WithoutAUsableRecordingNothingMoves) {
  Window w({kChild});
  CMoveControl move;
  move.InitLayout(nullptr);
  w.parent.resize(1600, 1200);
  EXPECT_EQ(move.ResizeControls(), 0);  // nothing recorded yet

  w.parent.resize(0, 600);
  move.InitLayout(&w.parent);  // an empty client area: no proportions
  w.parent.resize(1600, 1200);
  EXPECT_EQ(move.ResizeControls(), 0);
  EXPECT_EQ(w.children[0]->geometry(), kChild);
  EXPECT_TRUE(w.parent.updatesEnabled());

  w.parent.resize(800, 600);
  move.InitLayout(&w.parent);  // recorded again at a real size
  w.parent.resize(1600, 1200);
  EXPECT_EQ(move.ResizeControls(), 1);
  EXPECT_EQ(w.children[0]->geometry(), kDoubled);

  auto gone = std::make_unique<QWidget>();
  gone->resize(800, 600);
  CMoveControl orphan;
  orphan.InitLayout(gone.get());
  gone.reset();
  EXPECT_EQ(orphan.ResizeControls(), 0);
}
