// How long a refill of the task list and the next paint take, and what the listed rows cost in memory.
#include "bench/bench_support.h"
#include "mainwnd/dia_main.h"
#include "tests/support/fake_desktop.h"
#include "platform/core/format.h"
#include "platform/widgets/report_view.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr int kManyTasks = 1'000'000;

TaskRecord sampleTask(int i)
{
    TaskRecord task;
    task.strDescription = platform::format("Task number %d\r\nwith a second line", i);
    task.spanDelay = i % 86400;
    task.bCountUp = i % 2;
    task.nBeepHz = 1000;
    task.nBeepMs = 100;
    return task;
}

// A main window in an empty working directory with the list shown and `count` tasks in memory.
class ListedWindow {
public:
    ListedWindow(int count, bool listed)
    {
        std::filesystem::current_path(m_dir.path().toStdString());
        m_window = std::make_unique<CDia_Main>();
        for (int i = 0; i < count; ++i)
            m_window->m_tasks.Append(sampleTask(i));
        m_window->OnShowList();
        m_window->show();
        // Paints only reach a window the platform has exposed.
        while (!m_window->windowHandle()->isExposed())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (listed)
            refillAndPaint();
        QCoreApplication::processEvents();
    }
    CDia_Main& window() { return *m_window; }
    void refillAndPaint()
    {
        m_window->Refill();
        m_window->listView()->viewport()->repaint();
    }

private:
    platform::FakeDesktop m_fake;
    QTemporaryDir m_dir;
    std::unique_ptr<CDia_Main> m_window;
};

void BM_RefillAndPaint(benchmark::State& state)
{
    ListedWindow listed(int(state.range(0)), true);
    for (auto _ : state)
        listed.refillAndPaint();
    state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_RefillAndPaint)->Arg(1000)->Arg(kManyTasks)->Unit(benchmark::kMillisecond);

void BM_ScrollToLastRow(benchmark::State& state)
{
    ListedWindow listed(int(state.range(0)), true);
    listed.refillAndPaint();
    platform::ReportView* view = listed.window().listView();
    for (auto _ : state) {
        view->scrollToTop();
        view->viewport()->repaint();
        view->scrollToBottom();
        view->viewport()->repaint();
    }
}
BENCHMARK(BM_ScrollToLastRow)->Arg(kManyTasks)->Unit(benchmark::kMillisecond);

// The rows' own cost: resident memory with the tasks loaded only, and once they are listed and painted.
void BM_ResidentMemory(benchmark::State& state)
{
    for (auto _ : state) {
        ListedWindow listed(kManyTasks, false);
        const long loaded = residentKiB();
        listed.refillAndPaint();
        const long listedKb = residentKiB();
        state.counters["loaded_MB"] = double(loaded) / 1024;
        state.counters["listed_MB"] = double(listedKb) / 1024;
        state.counters["rows_cost_MB"] = double(listedKb - loaded) / 1024;
    }
}
BENCHMARK(BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runWidgetBenchmarks(argc, argv);
}
