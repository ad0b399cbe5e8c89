#include "QuickPanelWindow.h"

#include "desktop/FrameCentring.h"
#include "desktop/X11Display.h"
#include "platform/DesktopSession.h"

#include <QCloseEvent>
#include <QVBoxLayout>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <span>

namespace morvane {

namespace {

// _NET_WM_STATE's source indication for a request from an application.
constexpr quint32 sourceApplication = 1;
// _NET_WM_STATE's action that clears a state.
constexpr quint32 stateRemove = 0;

using Reply = std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)>;

Reply windowProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
{
    return Reply(xcb_get_property_reply(connection,
                                        xcb_get_property(connection, 0, window, name, type, 0, 64), nullptr),
                 &std::free);
}

template <typename Value> std::span<const Value> values(const Reply& reply)
{
    if (!reply || reply->format != 32)
        return {};
    return {static_cast<const Value*>(xcb_get_property_value(reply.get())),
            static_cast<std::size_t>(xcb_get_property_value_length(reply.get())) / sizeof(Value)};
}

} // namespace

QuickPanelWindow::QuickPanelWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Morvane"));
    setFixedSize(contentSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void QuickPanelWindow::setContent(QWidget* content)
{
    delete m_content;
    m_content = content;
    layout()->addWidget(content);
}

void QuickPanelWindow::uncoverBeforeShow()
{
    xcb_connection_t* connection = applicationX11Connection();
    if (!connection || !isWaylandSession() || isVisible())
        return;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto active = values<xcb_window_t>(
        windowProperty(connection, root, x11Atom(connection, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW));
    if (active.empty() || active.front() == XCB_WINDOW_NONE || active.front() == winId())
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

void QuickPanelWindow::placeShown()
{
    centreFrameOnScreen(*this, CentringScreen::pointer);
    showOnAllDesktops(*this);
}

void QuickPanelWindow::closeEvent(QCloseEvent* event)
{
    // Only the window manager's close (the close button) is turned into hiding. The application closes
    // every window when it quits, and a refusal here would stop it from quitting.
    if (!event->spontaneous())
        return QWidget::closeEvent(event);
    event->ignore();
    if (onCloseRequest)
        onCloseRequest();
}

} // namespace morvane
