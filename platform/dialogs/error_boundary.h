// Every handler runs inside the error boundary: an escaping exception is reported, the handler is
// abandoned and the program goes on. No exception ever reaches Qt's event loop.
#pragma once

#include <string>
#include <utility>

class QWidget;

namespace platform {

// The user's sentence for the exception being handled; call only inside a catch block.
std::string describeCurrentException();

// Shows the exception being handled in an error message box; call only inside a catch block.
void reportCurrentException(QWidget* parent) noexcept;

// Queues the report of the exception being handled for when the event loop is back; call only
// inside a catch block.
void reportCurrentExceptionLater(QWidget* parent) noexcept;

// Runs a handler; when an exception escapes it, hands the report to `report` (called inside the
// catch block) and returns false.
template <class Handler, class Report>
bool runReporting(Handler&& handler, Report report) noexcept
{
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (...) {
        report();
        return false;
    }
}

// Runs a handler; returns false when it was abandoned by an exception (already reported).
template <class Handler>
bool guarded(QWidget* parent, Handler&& handler) noexcept
{
    return runReporting(std::forward<Handler>(handler), [parent] { reportCurrentException(parent); });
}

// As guarded, for handlers that run inside a paint: a modal box cannot open there, so the report
// is shown as soon as the event loop is back.
template <class Handler>
bool guardedInPaint(QWidget* window, Handler&& handler) noexcept
{
    return runReporting(std::forward<Handler>(handler), [window] { reportCurrentExceptionLater(window); });
}

} // namespace platform
