// The countdown engine: START/STOP, the tick, firing, and the manual preset scroll bar.
#include "mainwnd/dia_main.h"

#include "platform/scroll_bar.h"

namespace {
constexpr int kPresetMax = 3600; // one hour
constexpr int kPresetPage = 60;  // one minute
} // namespace

void CDia_Main::SetUpScrollBar()
{
    platform::ScrollBar* bar = scrollBar();
    bar->setRange(0, kPresetMax);
    bar->setPageStep(kPresetPage);
    bar->setValue(0);
}

void CDia_Main::OnStartStop() {}

void CDia_Main::OnTimer() {}

void CDia_Main::Fire() {}

void CDia_Main::OnHScroll(int, int) {}

void CDia_Main::RedrawClock()
{
    repaint(m_rectClock);
}
