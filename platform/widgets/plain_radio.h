// A radio button that a click does not check: only its handler changes the check.
#pragma once

#include <QAccessibleWidget>
#include <QRadioButton>

namespace platform {

class PlainRadioButton : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

protected:
    void nextCheckState() override {}
};

// Qt calls a radio button that is not auto-exclusive a check box; this one stays a radio button with its
// check, named by its caption.
class PlainRadioAccessible : public QAccessibleWidget {
public:
    explicit PlainRadioAccessible(PlainRadioButton* button);

    QString text(QAccessible::Text kind) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    PlainRadioButton* button() const;
};

} // namespace platform
