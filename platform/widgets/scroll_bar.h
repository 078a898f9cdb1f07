// A horizontal scroll bar that never moves by itself: user actions arrive as scroll codes, and only
// the window's handler sets the position.
#pragma once

#include <QPoint>
#include <QScrollBar>
#include <QStyle>

class QTimer;

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

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // A new position repaints the bar only when it looks different: a countdown sets the position every
    // second, while over an hour's range the thumb moves by a pixel only every few seconds.
    void sliderChange(SliderChange change) override;

private:
    QStyle::SubControl partAt(const QPoint& point) const;
    QRect partRect(QStyle::SubControl part) const;
    // The position the thumb would take with its grab point under pixel column x.
    int positionAt(int x, int grabOffset) const;
    void send(int code, int thumbPosition = 0);
    void repeatPressedPart();
    void endPress();
    // What a paint of the bar depends on that a new position can change: the thumb, and the arrows'
    // looks at either end of the range.
    struct Looks {
        QRect thumb;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const Looks&) const = default;
    };
    Looks looks() const;

    QTimer* m_repeat = nullptr;
    QStyle::SubControl m_pressed = QStyle::SC_None;
    QPoint m_pointer;      // where the pressing mouse is now
    int m_grabOffset = 0;  // pointer minus thumb start while dragging
    int m_trackPosition = 0;
    int m_wheelRemainder = 0;
    Looks m_painted; // as last painted
};

} // namespace platform
