// Helpers for driving modal windows from a test: the test's own code runs
// inside the modal loops through short single-shot timers.
#ifndef BRENNA_TESTS_GUI_GUIHELPERS_H
#define BRENNA_TESTS_GUI_GUIHELPERS_H

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

#include "monitor/Globals.h"

// Runs `action` once a visible modal window of type W is the active modal
// window. Polls every 10 ms, up to `polls` times; then fails the test and
// closes whatever modal window is up, so a broken test ends instead of
// hanging.
template <class W>
void WhenModal(std::function<void(W*)> action, int polls = 500) {
  QTimer::singleShot(10, [action, polls] {
    QWidget* top = QApplication::activeModalWidget();
    if (W* w = dynamic_cast<W*>(top); w != nullptr && w->isVisible()) {
      action(w);
      return;
    }
    if (polls <= 0) {
      ADD_FAILURE() << "the expected modal window did not appear";
      if (auto* dlg = qobject_cast<QDialog*>(top)) dlg->done(-1);
      return;
    }
    WhenModal<W>(action, polls - 1);
  });
}

// What a window returns when the test, not the operator, ended it.
inline constexpr int kEndedByTest = 42;

// A dialog (Base, with a virtual OnInitDialog and EndDialog) that runs the
// test's scenario inside its modal loop, once its initialisation is over,
// and ends itself afterwards if the scenario left it open.
template <class Derived, class Base>
class WithScenario : public Base {
 public:
  int RunScenario(std::function<void(Derived&)> scenario) {
    m_scenario = std::move(scenario);
    const int result = this->DoModal();
    // A window the test ended itself skipped the quit command, whose first
    // step stops the worker; stop it here, while the displays it reaches
    // through g_pMainDlg still exist.
    g_taskMgr.StopTask();
    return result;
  }

 protected:
  bool OnInitDialog() override {
    const bool result = Base::OnInitDialog();
    QTimer::singleShot(0, this, [this] {
      if (m_scenario) m_scenario(static_cast<Derived&>(*this));
      if (this->isVisible()) this->EndDialog(kEndedByTest);
    });
    return result;
  }

 private:
  std::function<void(Derived&)> m_scenario;
};

// What a message box showed, and the answer given to it.
struct MessageBoxSeen {
  bool shown = false;
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
};

// Records what `box` shows and clicks the button whose text starts with
// `answer` (for example "是" or "否").
inline void AnswerMessageBox(QMessageBox* box, MessageBoxSeen* seen, const QString& answer) {
  seen->shown = true;
  seen->title = box->windowTitle();
  seen->text = box->text();
  seen->icon = box->icon();
  QAbstractButton* chosen = nullptr;
  for (QAbstractButton* b : box->buttons()) {
    seen->buttons << b->text();
    if (b->text().startsWith(answer)) chosen = b;
  }
  if (chosen == nullptr) {
    ADD_FAILURE() << "no button " << answer.toStdString();
    box->done(-1);
    return;
  }
  chosen->click();
}

// Answers the next modal message box.
inline void AnswerNextMessageBox(MessageBoxSeen* seen, const QString& answer) {
  WhenModal<QMessageBox>([seen, answer](QMessageBox* box) { AnswerMessageBox(box, seen, answer); });
}

// The message boxes on screen that stand beside a window (not modal).
inline std::vector<QMessageBox*> BoxesBeside() {
  std::vector<QMessageBox*> boxes;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (box != nullptr && box->isVisible() && !box->isModal() &&
        box->windowModality() == Qt::NonModal)
      boxes.push_back(box);
  }
  return boxes;
}

// Fraction of the pixels in `rect` of `image` that are exactly `color`.
inline double ShareOfColor(const QImage& image, const QRect& rect, QRgb color) {
  const QRect r = rect.intersected(image.rect());
  if (r.isEmpty()) return 0;
  long hits = 0;
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x)
      hits += (image.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF);
  }
  return static_cast<double>(hits) / (static_cast<double>(r.width()) * r.height());
}

#endif  // BRENNA_TESTS_GUI_GUIHELPERS_H
