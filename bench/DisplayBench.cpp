// Redraw and re-layout costs of the main window's building blocks. Prints
// figures only.
//
// SetText paints and flushes before it returns, so a result of 77 values
// costs 77 of these on the GUI thread; the re-layout runs on every size
// change of a window with 148 children.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/Gbk.h"
#include "presentation/FontFit.h"
#include "presentation/Fonts.h"
#include "presentation/ValueDisplay.h"
#include "util/MoveControl.h"

namespace {

void BM_FitFont(benchmark::State& state) {
  int width = 60;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FitFont(width, 45, 8));
    width = width == 60 ? 312 : 60;
  }
}
BENCHMARK(BM_FitFont);

// One display at its maximised size, alternating values so every call draws.
void BM_SetTextOneDisplay(benchmark::State& state) {
  QWidget window;
  window.resize(400, 200);
  auto* display = new CValueDisplay(&window);
  display->setGeometry(10, 10, static_cast<int>(state.range(0)), 45);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) state.SkipWithError("window not exposed");
  display->SetColors(kColorWhite, kColorRed);
  const std::string texts[] = {Gbk("设备空闲"), "12.5", "-0.25", Gbk("合格")};
  std::size_t i = 0;
  for (auto _ : state) display->SetText(texts[i++ % 4]);
}
BENCHMARK(BM_SetTextOneDisplay)->Arg(117)->Arg(396)->Unit(benchmark::kMicrosecond);

// A whole result: 77 displays on a maximised window, each set once.
void BM_SetTextWholeResult(benchmark::State& state) {
  QWidget window;
  window.resize(1920, 1055);
  std::vector<CValueDisplay*> displays;
  for (int i = 0; i < 77; ++i) {
    displays.push_back(new CValueDisplay(&window));
    displays.back()->setGeometry(10 + (i % 11) * 160, 10 + (i / 11) * 60, 117, 45);
  }
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) state.SkipWithError("window not exposed");
  int round = 0;
  for (auto _ : state) {
    const std::string value = std::to_string(round++ % 1000) + ".5";
    for (CValueDisplay* d : displays) {
      d->SetColors(kColorWhite, round % 2 ? kColorBlue : kColorRed);
      d->SetText(value);
    }
  }
}
BENCHMARK(BM_SetTextWholeResult)->Unit(benchmark::kMillisecond);

// The main window's 148 children rescaled between designed and maximised.
void BM_ResizeControls(benchmark::State& state) {
  QWidget window;
  window.resize(1016, 764);
  for (int i = 0; i < 148; ++i) {
    auto* child = new QWidget(&window);
    child->setGeometry((i % 12) * 84, (i / 12) * 60, 62, 24);
  }
  CMoveControl move;
  move.InitLayout(&window);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) state.SkipWithError("window not exposed");
  bool big = false;
  for (auto _ : state) {
    big = !big;
    window.resize(big ? 1920 : 1016, big ? 1055 : 764);
    benchmark::DoNotOptimize(move.ResizeControls());
  }
}
BENCHMARK(BM_ResizeControls)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  InstallFontSubstitutions();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
