// A radio button that a click does not check: only its handler changes the check.
#pragma once

#include <QRadioButton>

namespace platform {

class PlainRadioButton : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

protected:
    void nextCheckState() override {}
};

} // namespace platform
