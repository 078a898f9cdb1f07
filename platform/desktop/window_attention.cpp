// A window's attention request and activation: EWMH client messages and WM_HINTS over xcb on X11, Qt elsewhere.
#include "platform/desktop/window_attention.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {

namespace {

constexpr std::uint32_t kStateRemove = 0;
constexpr std::uint32_t kStateAdd = 1;
constexpr std::uint32_t kSourceApplication = 1;
constexpr std::uint32_t kSourceUser = 2; // EWMH's "pager": a request made on the user's direct word
constexpr std::uint32_t kUrgencyFlag = 1u << 8; // ICCCM XUrgencyHint in WM_HINTS' flags
constexpr std::uint32_t kWmHintsWords = 9;

xcb_connection_t* x11Connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t rootOf(xcb_connection_t* connection)
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// A message to the window manager about one of its clients, as EWMH asks for state and activation.
void sendToWindowManager(xcb_connection_t* connection, xcb_window_t window, const char* type,
                         const std::array<std::uint32_t, 5>& data)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(connection, type);
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(connection, 0, rootOf(connection),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

void setUrgencyFlag(xcb_connection_t* connection, xcb_window_t window, bool wanted)
{
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, kWmHintsWords);
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    std::array<std::uint32_t, kWmHintsWords> hints{};
    if (reply && reply->format == 32) {
        const auto words = std::min<std::uint32_t>(xcb_get_property_value_length(reply.get()) / 4, kWmHintsWords);
        std::memcpy(hints.data(), xcb_get_property_value(reply.get()), words * 4);
    }
    hints[0] = wanted ? (hints[0] | kUrgencyFlag) : (hints[0] & ~kUrgencyFlag);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
                        kWmHintsWords, hints.data());
}

void setX11Attention(xcb_connection_t* connection, QWidget* window, bool wanted)
{
    const auto id = xcb_window_t(window->winId());
    sendToWindowManager(connection, id, "_NET_WM_STATE",
                        {wanted ? kStateAdd : kStateRemove, atom(connection, "_NET_WM_STATE_DEMANDS_ATTENTION"), 0,
                         kSourceApplication, 0});
    setUrgencyFlag(connection, id, wanted);
    xcb_flush(connection);
}

// The user came to the window: the request is answered, and a flag the window manager leaves set goes.
class ClearedOnActivation final : public QObject {
public:
    static constexpr const char* kName = "pelmora-attention";

    ClearedOnActivation(QWidget* window, xcb_connection_t* connection)
        : QObject(window), m_window(window), m_connection(connection)
    {
        setObjectName(QString::fromLatin1(kName));
        window->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::WindowActivate) {
            setX11Attention(m_connection, m_window, false);
            deleteLater();
        }
        return false;
    }

private:
    QWidget* m_window;
    xcb_connection_t* m_connection;
};

} // namespace

void setAttention(QWidget* window, bool wanted)
{
    xcb_connection_t* connection = x11Connection();
    if (!window || !window->windowHandle())
        return;
    if (!connection) {
        if (wanted)
            QApplication::alert(window);
        return;
    }
    delete window->findChild<QObject*>(QString::fromLatin1(ClearedOnActivation::kName), Qt::FindDirectChildrenOnly);
    setX11Attention(connection, window, wanted);
    if (wanted)
        new ClearedOnActivation(window, connection);
}

void activateAtUsersRequest(QWidget* window, const QString& activationToken)
{
    if (!window)
        return;
    if (!activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8()); // Qt's Wayland activation takes it from here
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
    // Qt asks as an application, which a window manager preventing focus theft may refuse.
    if (xcb_connection_t* connection = x11Connection()) {
        sendToWindowManager(connection, xcb_window_t(window->winId()), "_NET_ACTIVE_WINDOW",
                            {kSourceUser, XCB_CURRENT_TIME, 0, 0, 0});
        xcb_flush(connection);
    }
}

} // namespace platform
