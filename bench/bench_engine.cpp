// What one tick (engine step plus the synchronous clock repaint) and one clock paint cost, offscreen.
#include "bench/bench_support.h"
#include "mainwnd/dia_main.h"
#include "tests/support/fake_desktop.h"
#include "platform/widgets/report_view.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

namespace {

constexpr int kOneTask = 1;
constexpr int kManyTasks = 1'000'000;
// Long enough that no benchmark run counts it down to zero.
constexpr std::int64_t kEndlessDelay = std::int64_t(1) << 40;
// Paints before timing, so the first benchmark does not pay for warming caches alone.
constexpr int kWarmUpPaints = 500;

TaskRecord countDownTask()
{
    TaskRecord task;
    task.spanDelay = kEndlessDelay;
    task.nBeepHz = 1000;
    task.nBeepMs = 100;
    task.strDescription = "bench\nsecond line";
    return task;
}

// A shown main window in an empty working directory holding `count` tasks, the middle one selected.
class BenchWindow {
public:
    explicit BenchWindow(int count)
    {
        std::filesystem::current_path(m_dir.path().toStdString());
        m_window = std::make_unique<CDia_Main>();
        CDia_Main& window = *m_window;
        for (int i = 0; i < count; ++i)
            window.m_tasks.Append(countDownTask());
        window.Refill();
        window.show();
        while (!window.windowHandle()->isExposed())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
        const int row = count / 2;
        platform::ReportView* view = window.listView();
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        window.m_nSelected = row;
    }
    CDia_Main& operator*() { return *m_window; }

private:
    platform::FakeDesktop m_fake;
    QTemporaryDir m_dir;
    std::unique_ptr<CDia_Main> m_window;
};

// A running count-down of the selected task: each tick steps the counter and repaints the clock.
void BM_Tick(benchmark::State& state)
{
    BenchWindow bench(int(state.range(0)));
    CDia_Main& window = *bench;
    window.OnStartStop();
    for (int i = 0; i < kWarmUpPaints; ++i)
        window.OnTimer();
    for (auto _ : state)
        window.OnTimer();
    benchmark::DoNotOptimize(window.m_spanCounter);
    window.OnStartStop();
    state.counters["tasks"] = double(window.m_tasks.Count());
}

// One synchronous repaint of the clock showing the manual counter.
void BM_ClockPaint(benchmark::State& state)
{
    BenchWindow bench(kOneTask);
    CDia_Main& window = *bench;
    window.listView()->selectionModel()->clearSelection();
    std::int64_t counter = 0;
    for (int i = 0; i < kWarmUpPaints; ++i)
        window.RedrawClock();
    for (auto _ : state) {
        window.m_spanCounter = ++counter;
        window.RedrawClock();
    }
}

} // namespace

BENCHMARK(BM_Tick)->Arg(kOneTask)->Arg(kManyTasks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClockPaint)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    return runWidgetBenchmarks(argc, argv);
}
