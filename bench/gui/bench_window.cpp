// Go! through the desktop program's window against the same run without a
// window (the batch tool's way: the workbench with services that show
// nothing). 1000 frames of 640 x 480 are loaded once from a generated video;
// each run aligns all of them (Move, area 192 x 144, quality on). The window
// runs on Qt's offscreen platform, shown, with its repaints coalesced to the
// screen's rate; "Show stacking process" is measured off and on.
//
//   build/bench/corvane_bench_gui --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "app/workbench.h"
#include "gui/gui_services.h"
#include "gui/main_window.h"
#include "bench_support.h"
#include "io/avi_writer.h"

using namespace corvane;

namespace {

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int FrameCount = 1000;

/// The generated video, made once and removed at exit.
class Video {
 public:
  Video() : m_dir("window"), m_path(m_dir.File("planet.avi")) {
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> shift(-15, 15);
    std::normal_distribution<double> noise(0.0, 3.0);
    bench::WriteGreyAvi(m_path, Width, Height, FrameCount, [&](std::vector<std::uint8_t>& frame, int) {
      const double cx = 320 + shift(rng), cy = 240 + shift(rng);
      for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
          const double dx = (x - cx) / 90.0, dy = (y - cy) / 90.0, d2 = dx * dx + dy * dy;
          double v = 6.0 + noise(rng);
          if (d2 < 1.0) v += 190.0 * std::pow(1.0 - d2, 0.3) * (0.75 + 0.25 * std::sin(dy * 9.0));
          frame[static_cast<std::size_t>(y * Width + x)] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
        }
    });
  }
  const std::string& Path() const { return m_path; }

 private:
  bench::TempFolder m_dir;
  std::string m_path;
};

const Video& TheVideo() {
  static const Video video;
  return video;
}

void LoadAll(Workbench& wb) {
  wb.Frames.SetMaxMem(static_cast<std::int64_t>(Width) * Height * 2 * (FrameCount + 8));
  wb.Frames.RecomputeMaxFrames(Width, Height);
  wb.PreviewAction({TheVideo().Path()});
  wb.LoadAction();
  if (wb.Frames.Count() != FrameCount) std::fprintf(stderr, "loaded %d frames\n", wb.Frames.Count());
}

void ResetShifts(Workbench& wb) {
  for (int i = 0; i < wb.Frames.Count(); ++i) wb.Frames[i].Shift = {0, 0};
}

void SetCounters(benchmark::State& state) {
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(FrameCount) * state.iterations(), benchmark::Counter::kIsRate);
}

/// The batch tool's Go!: the workbench with services that show nothing.
void BM_GoBatch(benchmark::State& state) {
  NullServices services;
  auto wb = std::make_unique<Workbench>(services);
  LoadAll(*wb);
  for (auto _ : state) {
    state.PauseTiming();
    ResetShifts(*wb);
    state.ResumeTiming();
    wb->StackFramesRun();
  }
  SetCounters(state);
}

/// Go! clicked in the window.
void GoInWindow(benchmark::State& state, bool showProcess) {
  gui::GuiServices services;
  gui::QtPrompts prompts;  // a failing run would show its error box
  auto wb = std::make_unique<Workbench>(services);
  auto window = std::make_unique<gui::TMainForm>(*wb, prompts);
  window->show();
  QApplication::processEvents();
  LoadAll(*wb);
  wb->Config.SetStackFrames(&TStackFramesSettings::ShowProcess, showProcess);
  window->Refresh();
  auto* go = window->findChild<QPushButton*>("StackFramesGoBitBtn");
  long long flushes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ResetShifts(*wb);
    const long long before = services.Flushes();
    state.ResumeTiming();
    go->click();
    flushes += services.Flushes() - before;
  }
  SetCounters(state);
  state.counters["repaints_per_run"] = static_cast<double>(flushes) / static_cast<double>(state.iterations());
}

void BM_GoWindowShowOff(benchmark::State& state) { GoInWindow(state, false); }
void BM_GoWindowShowOn(benchmark::State& state) { GoInWindow(state, true); }

BENCHMARK(BM_GoBatch)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_GoWindowShowOff)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_GoWindowShowOn)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TheVideo();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
