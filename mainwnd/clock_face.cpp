// The clock face: the large digits, their colour, the window title and the blinking dot.
#include "mainwnd/dia_main.h"

void CDia_Main::CreateClockFont()
{
    m_fontClock = QFont(QStringLiteral("Arial"));
    m_fontClock.setPixelSize(96);
}

void CDia_Main::PaintClockFace(const QRegion&) {}
