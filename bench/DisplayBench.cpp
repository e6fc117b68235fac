// Redraw and re-layout costs of the main window's building blocks. Prints
// figures only.
//
// SetText paints and flushes before it returns, so a result of 77 values
// costs 77 of these on the GUI thread; the re-layout runs on every size
// change of a window with 148 children. The whole-record case reads a spool
// file holding all 66 routed items and decodes it onto the main window's
// own controls, laid out from its template and maximised.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/NetTasks.h"
#include "app/DialogBuilder.h"
#include "app/Fonts.h"
#include "app/MoveControl.h"
#include "app/ValueDisplay.h"
#include "monitor/ResultDecoder.h"
#include "panel/FontFit.h"
#include "panel/IdleLook.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "platform/Gbk.h"
#include "platform/PallixBinding.h"

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

// The main window's controls from its template, the value displays bound
// by control ID, as the decoder finds them.
class TemplateWindow : public IDisplayBoard {
 public:
  TemplateWindow() {
    ApplyDialogTemplate(&m_dialog, MainDialogTemplate());
    int routes = 0;
    const ResultRoute* route = ResultRoutes(&routes);
    for (int i = 0; i < routes; ++i) m_displays[route[i].displayId] = nullptr;
    for (int id : kOperatorDisplays) m_displays[id] = nullptr;
    for (const DlgControl& ctl : MainDialogTemplate()) {
      auto it = m_displays.find(ctl.id);
      QWidget* bound = nullptr;
      if (it != m_displays.end()) bound = it->second = new CValueDisplay(&m_dialog);
      CreateDlgControl(&m_dialog, ctl, bound);
    }
    m_layout.InitLayout(&m_dialog);
  }
  IValueDisplay* ValueDisplay(int controlId) override {
    auto it = m_displays.find(controlId);
    return it == m_displays.end() ? nullptr : it->second;
  }
  // Maximised on the offscreen screen; false when it never became visible.
  bool ShowMaximised() {
    m_dialog.resize(1920, 1055);
    m_layout.ResizeControls();
    m_dialog.show();
    return QTest::qWaitForWindowExposed(&m_dialog);
  }

 private:
  QDialog m_dialog;
  std::map<int, CValueDisplay*> m_displays;
  CMoveControl m_layout;
};

// A brake result carrying every routed item once, `value` as each value.
std::string FullRecordFile(const std::string& path, const std::string& value) {
  std::vector<unsigned char> record(PALLIX_RECORD_MAX, 0);
  int size = WriteStdHead(record.data(), nullptr);
  size = WriteStdHead_Result(record.data(), PALLIX_RECORD_MAX, 7700, "25", 0);
  size = WriteStdHead_Result(record.data(), PALLIX_RECORD_MAX, 7701, "0815", 0);
  int routes = 0;
  const ResultRoute* route = ResultRoutes(&routes);
  for (int i = 0; i < routes; ++i)
    size = WriteStdHead_Result(record.data(), PALLIX_RECORD_MAX, route[i].itemCode, value.c_str(),
                               1 + i % 4);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(record.data()), size);
  return path;
}

// One spool file of all 66 routed items (and the operator) read, decoded
// and drawn onto the maximised window; two files alternate so every display
// changes on every pass.
void BM_ShowFullRecord(benchmark::State& state) {
  TemplateWindow window;
  if (!window.ShowMaximised()) state.SkipWithError("window not exposed");
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("brenna-display-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string files[] = {(dir / "a.DOING").string(), (dir / "b.DOING").string()};
  const char* values[] = {"12345", "678"};
  std::vector<unsigned char> buffer(kResultBufferSize);
  std::mutex spoolLock;  // the lock the chunk writer publishes under
  size_t i = 0;
  for (auto _ : state) {
    // The decoder takes the file out of the spool: publish it again, untimed.
    state.PauseTiming();
    FullRecordFile(files[i % 2], values[i % 2]);
    state.ResumeTiming();
    TakeAndShowResultFile(files[i % 2], buffer.data(), window, spoolLock);
    ++i;
  }
  std::filesystem::remove_all(dir);
  int routes = 0;
  ResultRoutes(&routes);
  state.counters["displays"] = routes + 1;
}
BENCHMARK(BM_ShowFullRecord)->Unit(benchmark::kMillisecond);

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
  SetPallixSystemDirectory(BRENNA_PALLIX_DIR);
  if (LoadPallix(1) != 1) {
    std::fprintf(stderr, "bench_display: libPallix not found in %s\n", BRENNA_PALLIX_DIR);
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  UnloadPallix();
  return 0;
}
