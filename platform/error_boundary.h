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

// Runs a handler; returns false when it was abandoned by an exception (already reported).
template <class Handler>
bool guarded(QWidget* parent, Handler&& handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (...) {
        reportCurrentException(parent);
        return false;
    }
}

} // namespace platform
