// A date-time picker that keys as the classic one: Tab leaves it, Left and Right step between fields.
#include "platform/widgets/time_picker.h"

#include <QKeyEvent>

#include <algorithm>

namespace platform {

bool TimePicker::focusNextPrevChild(bool next)
{
    return QWidget::focusNextPrevChild(next);
}

void TimePicker::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key != Qt::Key_Left && key != Qt::Key_Right) || event->modifiers() != Qt::NoModifier)
        return QDateTimeEdit::keyPressEvent(event);
    // Each field is selected whole, as typing replaces it; the ends do not wrap round.
    const int step = key == Qt::Key_Right ? 1 : -1;
    const int field = std::clamp(currentSectionIndex() + step, 0, sectionCount() - 1);
    setSelectedSection(sectionAt(field));
    event->accept();
}

} // namespace platform
