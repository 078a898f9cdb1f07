// The desktop in use, and the guard that lets tests swap it.
#include "platform/desktop/desktop.h"

namespace platform {

Desktop& realDesktop();

namespace {
Desktop* g_desktop = nullptr;
}

Desktop& desktop()
{
    return g_desktop ? *g_desktop : realDesktop();
}

DesktopOverride::DesktopOverride(Desktop& replacement) : m_previous(g_desktop)
{
    g_desktop = &replacement;
}

DesktopOverride::~DesktopOverride()
{
    g_desktop = m_previous;
}

} // namespace platform
