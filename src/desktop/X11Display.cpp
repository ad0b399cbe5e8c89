#include "X11Display.h"

#include "platform/DesktopSession.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <span>

namespace morvane {

namespace {

constexpr quint32 allDesktops = 0xFFFFFFFF;
// _NET_WM_DESKTOP's source indication for a request from an application.
constexpr quint32 sourceApplication = 1;
// _NET_WM_STATE's action that clears a state.
constexpr quint32 stateRemove = 0;

using Reply = X11PropertyReply;

Reply windowProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
{
    return x11WindowProperty(connection, window, name, type);
}

template <typename Value> std::span<const Value> values(const Reply& reply)
{
    if (!reply || reply->format != 32)
        return {};
    return {static_cast<const Value*>(xcb_get_property_value(reply.get())),
            static_cast<std::size_t>(xcb_get_property_value_length(reply.get())) / sizeof(Value)};
}

} // namespace

QString x11DisplayProblem()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return {};
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("Morvane needs an X11 display, and DISPLAY is not set.");
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool refused = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (refused)
        return QStringLiteral("Morvane cannot open the X11 display “%1”.")
            .arg(QString::fromLocal8Bit(display));
    return {};
}

std::optional<QByteArray> preferredQtPlatform(const QByteArray& chosenPlatform, const QByteArray& display)
{
    if (!chosenPlatform.isEmpty() || display.isEmpty())
        return std::nullopt;
    return QByteArrayLiteral("xcb");
}

xcb_connection_t* applicationX11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

void flushApplicationDisplay()
{
    if (xcb_connection_t* connection = applicationX11Connection())
        xcb_flush(connection);
}

X11PropertyReply x11WindowProperty(xcb_connection_t* connection, std::uint32_t window, std::uint32_t name,
                                   std::uint32_t type)
{
    return X11PropertyReply(xcb_get_property_reply(connection,
                                                   xcb_get_property(connection, 0, window, name, type, 0, 64),
                                                   nullptr),
                            &std::free);
}

std::uint32_t x11UserTimeWindow(xcb_connection_t* connection, std::uint32_t window)
{
    const X11PropertyReply reply = x11WindowProperty(
        connection, window, x11Atom(connection, "_NET_WM_USER_TIME_WINDOW"), XCB_ATOM_WINDOW);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_WINDOW && reply->value_len == 1)
        return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    return window;
}

std::uint32_t x11Atom(xcb_connection_t* connection, const char* name)
{
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, qstrlen(name), name), nullptr),
        &std::free);
    return reply ? reply->atom : std::uint32_t(XCB_ATOM_NONE);
}

void sendX11RootMessage(xcb_connection_t* connection, std::uint32_t window, std::uint32_t type,
                        const std::array<std::uint32_t, 5>& data)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::copy(data.begin(), data.end(), event.data.data32);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

void showOnAllDesktops(QWidget& window)
{
    if (xcb_connection_t* connection = applicationX11Connection()) {
        sendX11RootMessage(connection, static_cast<xcb_window_t>(window.winId()),
                           x11Atom(connection, "_NET_WM_DESKTOP"), {allDesktops, sourceApplication, 0, 0, 0});
        xcb_flush(connection);
    }
}

void leaveFullScreenInFrontOf(const QWidget& window)
{
    xcb_connection_t* connection = applicationX11Connection();
    if (!connection || !isWaylandSession())
        return;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto active = values<xcb_window_t>(
        windowProperty(connection, root, x11Atom(connection, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW));
    if (active.empty() || active.front() == XCB_WINDOW_NONE || active.front() == window.winId())
        return;
    const xcb_atom_t netWmState = x11Atom(connection, "_NET_WM_STATE");
    const xcb_atom_t fullScreen = x11Atom(connection, "_NET_WM_STATE_FULLSCREEN");
    const auto states =
        values<xcb_atom_t>(windowProperty(connection, active.front(), netWmState, XCB_ATOM_ATOM));
    if (std::find(states.begin(), states.end(), fullScreen) == states.end())
        return;
    sendX11RootMessage(connection, active.front(), netWmState,
                       {stateRemove, fullScreen, 0, sourceApplication, 0});
    xcb_flush(connection);
}

} // namespace morvane
