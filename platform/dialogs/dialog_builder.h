// Builds Qt widgets from a dialog template and finds them again by control id.
#pragma once

#include "platform/dialogs/dialog_template.h"
#include "platform/dialogs/error_boundary.h"

#include <QAbstractButton>
#include <QWidget>

namespace platform {

// Creates every control of the template as a child of `dialog`, sizes the dialog's client area to
// the template, sets the caption and chains the tab stops in template order.
void buildDialog(QWidget* dialog, const DialogTemplate& tmpl);

// The widget that was built for control `id`, or null.
QWidget* findControl(const QWidget* dialog, int id);

// The control with `id` as a W; a missing control or a wrong kind is a programming error.
template <class W>
W* control(const QWidget* dialog, int id)
{
    auto* widget = qobject_cast<W*>(findControl(dialog, id));
    Q_ASSERT_X(widget, "platform::control", "no control of that kind with that id");
    return widget;
}

// One row of a window class's command table: a button id and its handler.
template <class Window>
struct CommandEntry {
    int id;
    void (Window::*handler)();
};

// Connects each button of the table to its handler, run inside the error boundary.
template <class Window>
void bindCommands(Window* window, std::span<const CommandEntry<Window>> table)
{
    for (const auto& entry : table) {
        auto* button = control<QAbstractButton>(window, entry.id);
        QObject::connect(button, &QAbstractButton::clicked, window, [window, handler = entry.handler] {
            guarded(window, [&] { (window->*handler)(); });
        });
    }
}

} // namespace platform
