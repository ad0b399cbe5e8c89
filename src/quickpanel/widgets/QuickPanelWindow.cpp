#include "QuickPanelWindow.h"

#include "desktop/FrameCentring.h"
#include "desktop/X11Display.h"

#include <QCloseEvent>
#include <QVBoxLayout>

#include <xcb/xcb.h>

#include <memory>

namespace morvane {

namespace {

constexpr quint32 allDesktops = 0xFFFFFFFF;
// _NET_WM_DESKTOP's source indication for a request from an application.
constexpr quint32 sourceApplication = 1;

// Qt writes the window's desktop afresh whenever it maps the window, so a mapped window is moved to
// every desktop by asking the window manager, after each show.
void showOnAllDesktops(QWidget& window)
{
    xcb_connection_t* connection = applicationX11Connection();
    if (!connection)
        return;
    static constexpr char name[] = "_NET_WM_DESKTOP";
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr),
        &free);
    if (!reply)
        return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = static_cast<xcb_window_t>(window.winId());
    event.type = reply->atom;
    event.data.data32[0] = allDesktops;
    event.data.data32[1] = sourceApplication;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
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
