// A horizontal scroll bar that reports user actions as scroll codes.
#include "platform/widgets/scroll_bar.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QWheelEvent>

#include <cstdlib>

namespace platform {

namespace {

constexpr int kRepeatDelayMs = 400;   // before a held arrow or track starts repeating
constexpr int kRepeatIntervalMs = 50; // between repeats
constexpr int kWheelNotch = 120;      // angle delta of one wheel step

int codeOfPart(QStyle::SubControl part)
{
    switch (part) {
    case QStyle::SC_ScrollBarSubLine:
        return ScrollBar::LineLeft;
    case QStyle::SC_ScrollBarAddLine:
        return ScrollBar::LineRight;
    case QStyle::SC_ScrollBarSubPage:
        return ScrollBar::PageLeft;
    case QStyle::SC_ScrollBarAddPage:
        return ScrollBar::PageRight;
    case QStyle::SC_ScrollBarFirst:
        return ScrollBar::Left;
    case QStyle::SC_ScrollBarLast:
        return ScrollBar::Right;
    default:
        return -1;
    }
}

int codeOfKey(int key)
{
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        return ScrollBar::LineLeft;
    case Qt::Key_Right:
    case Qt::Key_Down:
        return ScrollBar::LineRight;
    case Qt::Key_PageUp:
        return ScrollBar::PageLeft;
    case Qt::Key_PageDown:
        return ScrollBar::PageRight;
    case Qt::Key_Home:
        return ScrollBar::Left;
    case Qt::Key_End:
        return ScrollBar::Right;
    default:
        return -1;
    }
}

bool repeats(QStyle::SubControl part)
{
    return part == QStyle::SC_ScrollBarSubLine || part == QStyle::SC_ScrollBarAddLine
        || part == QStyle::SC_ScrollBarSubPage || part == QStyle::SC_ScrollBarAddPage;
}

} // namespace

ScrollBar::ScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent), m_repeat(new QTimer(this))
{
    connect(m_repeat, &QTimer::timeout, this, &ScrollBar::repeatPressedPart);
}

QStyle::SubControl ScrollBar::partAt(const QPoint& point) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->hitTestComplexControl(QStyle::CC_ScrollBar, &option, point, this);
}

QRect ScrollBar::partRect(QStyle::SubControl part) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ScrollBar, &option, part, this);
}

int ScrollBar::positionAt(int x, int grabOffset) const
{
    const QRect groove = partRect(QStyle::SC_ScrollBarGroove);
    const int span = groove.width() - partRect(QStyle::SC_ScrollBarSlider).width();
    return QStyle::sliderValueFromPosition(minimum(), maximum(), x - grabOffset - groove.x(), span,
                                           layoutDirection() == Qt::RightToLeft);
}

void ScrollBar::send(int code, int thumbPosition)
{
    emit scrolled(code, thumbPosition);
}

void ScrollBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_pressed != QStyle::SC_None) {
        event->ignore();
        return;
    }
    event->accept();
    m_pointer = event->position().toPoint();
    m_pressed = partAt(m_pointer);
    if (m_pressed == QStyle::SC_ScrollBarSlider) {
        m_grabOffset = m_pointer.x() - partRect(QStyle::SC_ScrollBarSlider).x();
        m_trackPosition = value();
        return;
    }
    const int code = codeOfPart(m_pressed);
    if (code < 0) {
        m_pressed = QStyle::SC_None;
        return;
    }
    send(code);
    if (repeats(m_pressed))
        m_repeat->start(kRepeatDelayMs);
}

void ScrollBar::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressed == QStyle::SC_None) {
        event->ignore();
        return;
    }
    m_pointer = event->position().toPoint();
    if (m_pressed != QStyle::SC_ScrollBarSlider)
        return;
    const int position = positionAt(m_pointer.x(), m_grabOffset);
    if (position != m_trackPosition) {
        m_trackPosition = position;
        send(ThumbTrack, position);
    }
}

void ScrollBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_pressed == QStyle::SC_None) {
        event->ignore();
        return;
    }
    const bool dragged = m_pressed == QStyle::SC_ScrollBarSlider;
    endPress();
    if (dragged)
        send(ThumbPosition, m_trackPosition);
    send(EndScroll);
}

void ScrollBar::repeatPressedPart()
{
    m_repeat->setInterval(kRepeatIntervalMs);
    // A held track click stops once the thumb has reached the pointer.
    if (partAt(m_pointer) == m_pressed)
        send(codeOfPart(m_pressed));
}

void ScrollBar::endPress()
{
    m_repeat->stop();
    m_pressed = QStyle::SC_None;
}

void ScrollBar::keyPressEvent(QKeyEvent* event)
{
    const int code = codeOfKey(event->key());
    if (code < 0 || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        event->ignore(); // Enter, Escape and the rest belong to the window
        return;
    }
    send(code);
}

void ScrollBar::keyReleaseEvent(QKeyEvent* event)
{
    if (codeOfKey(event->key()) < 0 || event->isAutoRepeat()) {
        event->ignore();
        return;
    }
    send(EndScroll);
}

void ScrollBar::wheelEvent(QWheelEvent* event)
{
    event->accept();
    const QPoint delta = event->angleDelta();
    m_wheelRemainder += std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y();
    const int notches = m_wheelRemainder / kWheelNotch;
    if (notches == 0)
        return;
    m_wheelRemainder -= notches * kWheelNotch;
    // Turning the wheel away from the user moves left, as it moves up on a vertical bar.
    const int code = notches > 0 ? LineLeft : LineRight;
    const int lines = std::abs(notches) * QApplication::wheelScrollLines();
    for (int i = 0; i < lines; ++i)
        send(code);
    send(EndScroll);
}

void ScrollBar::contextMenuEvent(QContextMenuEvent* event)
{
    // "Scroll Here" centres the thumb on the click.
    const int here = positionAt(event->pos().x(), partRect(QStyle::SC_ScrollBarSlider).width() / 2);
    QMenu menu(this);
    auto add = [&](const char* text, int code, int thumbPosition = 0) {
        menu.addAction(QString::fromLatin1(text), this, [this, code, thumbPosition] {
            send(code, thumbPosition);
            send(EndScroll);
        });
    };
    add("Scroll Here", ThumbPosition, here);
    menu.addSeparator();
    add("Left Edge", Left);
    add("Right Edge", Right);
    menu.addSeparator();
    add("Page Left", PageLeft);
    add("Page Right", PageRight);
    menu.addSeparator();
    add("Scroll Left", LineLeft);
    add("Scroll Right", LineRight);
    menu.exec(event->globalPos());
}

void ScrollBar::hideEvent(QHideEvent* event)
{
    endPress();
    QScrollBar::hideEvent(event);
}

ScrollBar::Looks ScrollBar::looks() const
{
    return {partRect(QStyle::SC_ScrollBarSlider), value() == minimum(), value() == maximum()};
}

void ScrollBar::paintEvent(QPaintEvent* event)
{
    m_painted = looks();
    QScrollBar::paintEvent(event);
}

void ScrollBar::sliderChange(SliderChange change)
{
    if (change == SliderValueChange && looks() == m_painted)
        return;
    QScrollBar::sliderChange(change);
}

} // namespace platform
