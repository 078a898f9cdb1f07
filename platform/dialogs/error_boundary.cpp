// Turns an exception that escaped a handler into the message box the user sees.
#include "platform/dialogs/error_boundary.h"

#include "platform/desktop/desktop.h"
#include "platform/core/errors.h"
#include "platform/core/format.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <exception>
#include <new>

namespace platform {

std::string describeCurrentException()
{
    try {
        throw;
    } catch (const Error& error) {
        return error.userMessage();
    } catch (const std::bad_alloc&) {
        return "Out of memory.";
    } catch (const std::exception& error) {
        return format("An unexpected error occurred: %s.", error.what());
    } catch (...) {
        return "An unknown error occurred.";
    }
}

void reportCurrentException(QWidget* parent) noexcept
{
    try {
        desktop().messageBox(parent, describeCurrentException(), MessageIcon::Error);
    } catch (...) {
        // Reporting must never throw into the event loop; there is nothing more to tell.
    }
}

void reportCurrentExceptionLater(QWidget* parent) noexcept
{
    try {
        QTimer::singleShot(0, parent, [window = QPointer<QWidget>(parent), text = describeCurrentException()] {
            if (window)
                desktop().messageBox(window, text, MessageIcon::Error);
        });
    } catch (...) {
        // Out of memory while queueing the report: there is nothing more to tell.
    }
}

} // namespace platform
