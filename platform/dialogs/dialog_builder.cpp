// Builds Qt widgets from a dialog template.
#include "platform/dialogs/dialog_builder.h"

#include "platform/widgets/accessibility.h"
#include "platform/widgets/plain_radio.h"
#include "platform/widgets/report_view.h"
#include "platform/widgets/scroll_bar.h"
#include "platform/widgets/time_picker.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace platform {

namespace {

const char* const kIdProperty = "controlId";
constexpr int kDialogFontPoints = 8;

// The templates are laid out for the classic 8-point dialog font; Liberation Sans (metric-compatible
// with Arial) keeps captions and list texts inside the sizes they were drawn for. Families that are
// not installed are left out of the list: asking fontconfig for each of them slows the start.
QFont dialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setPointSize(kDialogFontPoints);
    return font;
}

QWidget* makeButton(const ControlTemplate& c, QWidget* parent)
{
    auto* button = new QPushButton(QString::fromUtf8(c.caption), parent);
    button->setDefault(c.kind == ControlKind::DefPushButton);
    return button;
}

QWidget* makeListView(const ControlTemplate& c, QWidget* parent)
{
    auto* view = new ReportView(parent);
    view->setSelectionMode((c.style & MultiSelect) ? QAbstractItemView::ExtendedSelection
                                                   : QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setFrameShape((c.style & Border) ? QFrame::StyledPanel : QFrame::NoFrame);
    return view;
}

QWidget* makeEdit(const ControlTemplate& c, QWidget* parent)
{
    if (c.style & Multiline) {
        auto* edit = new QPlainTextEdit(parent);
        edit->setTabChangesFocus(true);
        edit->setLineWrapMode((c.style & AutoHScroll) ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
        edit->setVerticalScrollBarPolicy((c.style & VScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        // No template asks for a horizontal bar: the box scrolls sideways without one.
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        return edit;
    }
    auto* edit = new QLineEdit(parent);
    if (c.style & CenterText)
        edit->setAlignment(Qt::AlignCenter);
    edit->setFrame(c.style & Border);
    return edit;
}

QWidget* makePicker(const ControlTemplate& c, QWidget* parent)
{
    auto* picker = new TimePicker(parent);
    picker->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    if (c.style & RightAlign)
        picker->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return picker;
}

QWidget* makeControl(const ControlTemplate& c, QWidget* parent)
{
    const QString caption = QString::fromUtf8(c.caption);
    switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
        return makeButton(c, parent);
    case ControlKind::HScrollBar:
        return new ScrollBar(parent);
    case ControlKind::ListView:
        return makeListView(c, parent);
    case ControlKind::Edit:
        return makeEdit(c, parent);
    case ControlKind::RadioButton: {
        auto* radio = new PlainRadioButton(caption, parent);
        radio->setAutoExclusive(false);
        return radio;
    }
    case ControlKind::DateTimePicker:
        return makePicker(c, parent);
    case ControlKind::GroupBox: {
        // Behind the controls it frames, so that it never takes their clicks.
        auto* box = new QGroupBox(caption, parent);
        box->lower();
        return box;
    }
    case ControlKind::Label:
    case ControlKind::Icon:
        return new QLabel(caption, parent);
    }
    return nullptr;
}

void placeControl(QWidget* widget, const ControlTemplate& c)
{
    const int left = duToPixelsX(c.x);
    const int top = duToPixelsY(c.y);
    widget->setGeometry(left, top, duToPixelsX(c.x + c.width) - left, duToPixelsY(c.y + c.height) - top);
    widget->setEnabled(!(c.style & Disabled));
    widget->setFocusPolicy((c.style & TabStop) ? Qt::StrongFocus : Qt::NoFocus);
    if (c.id != kNoId) {
        widget->setProperty(kIdProperty, c.id);
        widget->setObjectName(QStringLiteral("ctl_%1").arg(c.id));
    }
}

// The name a screen reader reads for the control, when the template's names give one.
void nameControl(QWidget* widget, int id, std::span<const ControlName> names)
{
    for (const ControlName& entry : names)
        if (entry.id == id)
            widget->setAccessibleName(QString::fromUtf8(entry.name));
}

} // namespace

void buildDialog(QWidget* dialog, const DialogTemplate& tmpl)
{
    // Before the first control exists, so that none is ever seen through a generic interface.
    installAccessibleFactories();
    dialog->setWindowTitle(QString::fromUtf8(tmpl.caption));
    dialog->setFont(dialogFont());
    dialog->resize(duToPixelsX(tmpl.width), duToPixelsY(tmpl.height));
    QWidget* previousStop = nullptr;
    for (const ControlTemplate& c : tmpl.controls) {
        QWidget* widget = makeControl(c, dialog);
        placeControl(widget, c);
        nameControl(widget, c.id, tmpl.names);
        if (!(c.style & TabStop))
            continue;
        if (previousStop)
            QWidget::setTabOrder(previousStop, widget);
        previousStop = widget;
    }
}

QWidget* findControl(const QWidget* dialog, int id)
{
    return dialog->findChild<QWidget*>(QStringLiteral("ctl_%1").arg(id), Qt::FindDirectChildrenOnly);
}

} // namespace platform
