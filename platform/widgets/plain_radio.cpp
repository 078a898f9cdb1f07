// A radio button that a click does not check, and how assistive technology sees it.
#include "platform/widgets/plain_radio.h"

namespace platform {

namespace {

// "&&" stands for one ampersand; any other ampersand marks the mnemonic and is not read.
QString withoutMnemonic(const QString& caption)
{
    QString read;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && ++i == caption.size())
            break;
        read += caption[i];
    }
    return read;
}

} // namespace

PlainRadioAccessible::PlainRadioAccessible(PlainRadioButton* radio) : QAccessibleWidget(radio, QAccessible::RadioButton)
{
}

PlainRadioButton* PlainRadioAccessible::button() const
{
    return static_cast<PlainRadioButton*>(widget());
}

QString PlainRadioAccessible::text(QAccessible::Text kind) const
{
    if (kind == QAccessible::Name && button()->accessibleName().isEmpty())
        return withoutMnemonic(button()->text());
    return QAccessibleWidget::text(kind);
}

QAccessible::State PlainRadioAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.checkable = true;
    state.checked = button()->isChecked();
    return state;
}

QStringList PlainRadioAccessible::actionNames() const
{
    QStringList names = QAccessibleWidget::actionNames();
    if (button()->isEnabled())
        names.prepend(pressAction());
    return names;
}

// Pressing runs the button's handler, as a click does.
void PlainRadioAccessible::doAction(const QString& actionName)
{
    if (actionName == pressAction() && button()->isEnabled())
        button()->click();
    else
        QAccessibleWidget::doAction(actionName);
}

} // namespace platform
