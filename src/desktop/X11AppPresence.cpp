#include "X11AppPresence.h"

#include "desktop/X11Activation.h"
#include "desktop/X11Display.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

namespace morvane {

namespace {

// The window manager reads _NET_WM_STATE from the property when a window is mapped and only through
// requests afterwards, so a mapped window gets both.
void applySkipStates(QWidget& window, bool hidden)
{
    xcb_connection_t* connection = applicationX11Connection();
    if (!connection || !window.testAttribute(Qt::WA_WState_Created))
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t netWmState = x11Atom(connection, "_NET_WM_STATE");
    const std::array<xcb_atom_t, 2> skips{x11Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                          x11Atom(connection, "_NET_WM_STATE_SKIP_PAGER")};

    QList<xcb_atom_t> states;
    std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
        xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, id, netWmState, XCB_ATOM_ATOM, 0, 1024), nullptr),
        &free);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        states = QList<xcb_atom_t>(values, values + reply->value_len);
    }
    for (const xcb_atom_t skip : skips) {
        states.removeAll(skip);
        if (hidden)
            states.append(skip);
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netWmState, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(states.size()), states.constData());
    if (window.isVisible())
        sendX11RootMessage(connection, id, netWmState, {hidden ? 1u : 0u, skips[0], skips[1], 1u, 0u});
    xcb_flush(connection);
}

void setCardinal(xcb_connection_t* connection, xcb_window_t window, const char* name, std::uint32_t value)
{
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, x11Atom(connection, name),
                        XCB_ATOM_CARDINAL, 32, 1, &value);
}

bool isOurTopLevel(const QWidget* widget)
{
    return widget && widget->isWindow() && widget->windowType() != Qt::Popup &&
           widget->windowType() != Qt::ToolTip && widget->windowType() != Qt::Desktop;
}

} // namespace

X11AppPresence::X11AppPresence(std::unique_ptr<CompositorWindows> compositor, QObject* parent)
    : AppPresence(parent)
    , m_compositor(std::move(compositor))
{
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            emit becameActive();
    });
}

bool X11AppPresence::setHidden(bool hidden)
{
    m_hidden = hidden;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (isOurTopLevel(window))
            applySkipStates(*window, hidden);
    }
    return true;
}

void X11AppPresence::activate()
{
    if (QWidget* window = QApplication::activeWindow())
        activateWindow(*window);
}

void X11AppPresence::activateWindow(QWidget& window)
{
    xcb_connection_t* connection = applicationX11Connection();
    if (!connection) {
        window.show();
        window.raise();
        window.activateWindow();
        return;
    }
    const auto id = static_cast<xcb_window_t>(window.winId()); // made now if need be, before it maps
    const std::uint32_t time = activationTime();
    // Read as the window maps: the launch it answers, and how recent the request is.
    if (!m_activationToken.isEmpty()) {
        const QByteArray token = m_activationToken.toUtf8();
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, x11Atom(connection, "_NET_STARTUP_ID"),
                            x11Atom(connection, "UTF8_STRING"), 8, uint32_t(token.size()), token.constData());
        if (!m_carryingToken.contains(&window))
            m_carryingToken.append(&window);
    }
    setCardinal(connection, x11UserTimeWindow(connection, id), "_NET_WM_USER_TIME", time);
    window.show();
    window.raise();
    window.activateWindow();
    // Showing stamps the window with Qt's latest event time, which may be older than the action.
    setCardinal(connection, x11UserTimeWindow(connection, id), "_NET_WM_USER_TIME", time);
    // Focus-stealing prevention may ignore Qt's own request; ask as an application, with that time.
    sendX11RootMessage(connection, id, x11Atom(connection, "_NET_ACTIVE_WINDOW"), {1u, time, 0u, 0u, 0u});
    xcb_flush(connection);
}

void X11AppPresence::setActivationToken(const QString& token)
{
    const QString done = std::exchange(m_activationToken, token);
    if (done.isEmpty() || done == token)
        return;
    const QList<QPointer<QWidget>> carrying = std::exchange(m_carryingToken, {});
    xcb_connection_t* connection = applicationX11Connection();
    if (!connection)
        return;
    // The message is told apart from others by a window of the sender's.
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    const auto made = std::find_if(windows.begin(), windows.end(),
                                   [](const QWidget* w) { return w->testAttribute(Qt::WA_WState_Created); });
    if (made != windows.end())
        sendStartupRemove(connection, static_cast<xcb_window_t>((*made)->winId()), done);
    // A window manager reads the id again when the window maps anew: a later show would be weighed as
    // part of a launch that has ended.
    for (const QPointer<QWidget>& window : carrying) {
        if (window && window->testAttribute(Qt::WA_WState_Created))
            xcb_delete_property(connection, static_cast<xcb_window_t>(window->winId()),
                                x11Atom(connection, "_NET_STARTUP_ID"));
    }
    xcb_flush(connection);
}

std::uint32_t X11AppPresence::activationTime() const
{
    std::optional<std::uint32_t> time;
    if (!m_activationToken.isEmpty())
        time = startupIdTime(m_activationToken);
    else
        time = takeRecentX11UserAction();
    if (!time)
        time = x11ServerTime();
    return time.value_or(XCB_CURRENT_TIME);
}

QFuture<bool> X11AppPresence::isCovered(const QWidget& window) const
{
    if (!window.isVisible() || !window.testAttribute(Qt::WA_WState_Created))
        return QtFuture::makeReadyFuture(false);
    // A continuation of a future that has its answer runs at once: the stand-in's answer stays immediate.
    return m_compositor->sightOf(static_cast<quint32>(window.winId()))
        .then([](CompositorWindows::Sight sight) { return sight == CompositorWindows::Sight::covered; });
}

bool X11AppPresence::eventFilter(QObject* watched, QEvent* event)
{
    if (m_hidden && event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (isOurTopLevel(widget))
            applySkipStates(*widget, true);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace morvane
