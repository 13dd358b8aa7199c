// Adding a status line: the cost must not grow with the length of the
// Status Messages list, which has no limit (a long session collects
// hundreds of thousands of lines).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "shell/statusmsg.h"

namespace {

QApplication* app() {
  static int argc = 1;
  static char name[] = "bench_statusmsg";
  static char* argv[] = {name, nullptr};
  static QApplication* a = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  return a;
}

// Adds lines to a list of state.range(0) lines in the window as the user
// has it open; every 256 lines the list is cut back to its size (not
// timed), so it stays at that length.
void BM_AddStatusLine(benchmark::State& state) {
  app();
  CStatusMsgDlg dlg;
  dlg.show();
  const int n = int(state.range(0));
  for (int i = 0; i < n; i++) dlg.AddLine(QStringLiteral("  error in srcdata.cfg file %1").arg(i));
  QApplication::processEvents();
  const QString line =
      QStringLiteral("  can't open file: /home/user/.local/share/korvane/CONFIG/live.cfg");
  int added = 0;
  for (auto _ : state) {
    dlg.AddLine(line);
    if (++added == 256) {
      state.PauseTiming();
      dlg.List()->ResetContent();
      for (int i = 0; i < n; i++)
        dlg.List()->AddString(QStringLiteral("  error in srcdata.cfg file %1").arg(i));
      added = 0;
      QApplication::processEvents();
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_AddStatusLine)->Arg(100)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
