// A date-time picker that keys as the classic one: Tab leaves it, Left and Right step between fields.
#pragma once

#include <QDateTimeEdit>

namespace platform {

class TimePicker : public QDateTimeEdit {
    Q_OBJECT
public:
    using QDateTimeEdit::QDateTimeEdit;

protected:
    // One Tab passes the whole picker: its fields are not tab stops of their own.
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace platform
