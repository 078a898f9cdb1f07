// A horizontal scroll bar that never moves by itself: user actions arrive as scroll codes, and only
// the window's handler sets the position.
#pragma once

#include <QScrollBar>

namespace platform {

class ScrollBar : public QScrollBar {
    Q_OBJECT
public:
    enum Code {
        LineLeft = 0,
        LineRight = 1,
        PageLeft = 2,
        PageRight = 3,
        ThumbPosition = 4,
        ThumbTrack = 5,
        Left = 6,
        Right = 7,
        EndScroll = 8,
    };

    explicit ScrollBar(QWidget* parent = nullptr);

signals:
    // A user action on the bar: its code and, for thumb codes, the position the thumb points at.
    void scrolled(int code, int thumbPosition);
};

} // namespace platform
