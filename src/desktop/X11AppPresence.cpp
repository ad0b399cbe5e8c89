#include "X11AppPresence.h"

#include "desktop/X11Display.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

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
    window.show();
    window.raise();
    window.activateWindow();
    // Focus-stealing prevention may ignore Qt's own request; ask as an application, with no time.
    if (xcb_connection_t* connection = applicationX11Connection()) {
        sendX11RootMessage(connection, static_cast<xcb_window_t>(window.winId()),
                           x11Atom(connection, "_NET_ACTIVE_WINDOW"), {1u, XCB_CURRENT_TIME, 0u, 0u, 0u});
        xcb_flush(connection);
    }
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
