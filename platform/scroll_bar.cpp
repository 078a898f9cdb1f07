// A horizontal scroll bar that reports user actions as scroll codes.
#include "platform/scroll_bar.h"

namespace platform {

ScrollBar::ScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {}

} // namespace platform
