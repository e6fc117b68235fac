// What the journal costs its callers: one line through the whole path
// (the core's entry, Qt's category, the message handler, the writer's
// queue), the same with the writing to the file counted in, an event folded
// into a summary, and a line whose level is not wanted. Prints figures
// only; the journal file goes to a temporary directory.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/MonitorJournal.h"
#include "journal/Journal.h"
#include "journal/JournalWriter.h"

namespace {

// The publication line a transfer will get: a typical length and format.
void PublishLine(int i) {
  BRENNA_LOG(kInfo, kSpool, "published %s%d: %d bytes, %d chunks, from %s", "brake-", i, 14923, 8,
             "10.1.2.3");
}

// The caller's cost: the writer drains outside the timing every 256 lines,
// so every line is queued (none dropped) and none is waited for.
void BM_JournalLine(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) {
    PublishLine(i);
    if (++i % 256 == 0) {
      state.PauseTiming();
      journal::ProcessJournalWriter().Drain();
      state.ResumeTiming();
    }
  }
  journal::ProcessJournalWriter().Drain();
}
BENCHMARK(BM_JournalLine);

// The same with the writer's work counted in: queueing plus writing the line
// to the file (no stderr), waited for every 256 lines.
void BM_JournalLineWritten(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) {
    PublishLine(i);
    if (++i % 256 == 0) journal::ProcessJournalWriter().Drain();
  }
  journal::ProcessJournalWriter().Drain();
}
BENCHMARK(BM_JournalLineWritten);

// The 2nd to nth garbage frame from the same station: counted and folded,
// nothing formatted or written.
void BM_FoldedEvent(benchmark::State& state) {
  BRENNA_EVENT(kWarning, kNet, kFrameRefused, "10.1.2.3", "bad trailer",
               "frame refused from %s:%d: bad trailer", "10.1.2.3", 4711);
  for (auto _ : state) {
    BRENNA_EVENT(kWarning, kNet, kFrameRefused, "10.1.2.3", "bad trailer",
                 "frame refused from %s:%d: bad trailer", "10.1.2.3", 4711);
  }
}
BENCHMARK(BM_FoldedEvent);

// Detail nobody asked for (debug is off by default).
void BM_LineNotWanted(benchmark::State& state) {
  for (auto _ : state) BRENNA_LOG(kDebug, kNet, "frame %d from %s", 1, "10.1.2.3");
}
BENCHMARK(BM_LineNotWanted);

// One frame counted for the hourly summary.
void BM_CountFrame(benchmark::State& state) {
  for (auto _ : state) journal::CountFrame();
}
BENCHMARK(BM_CountFrame);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const char* tmp = std::getenv("TMPDIR");
  const std::filesystem::path dir =
      std::filesystem::path(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") /
      ("bench-journal-" + std::to_string(QCoreApplication::applicationPid()));
  int status = 0;
  {
    MonitorJournal::Options options;
    options.directory = dir.string();
    options.toStderr = false;
    MonitorJournal journal(options);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (journal.FilePath().empty()) {
      std::fprintf(stderr, "bench_journal: no journal file in %s\n", dir.c_str());
      status = 1;
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return status;
}
