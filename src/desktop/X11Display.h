#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class QWidget;
struct xcb_connection_t;
struct xcb_get_property_reply_t;

namespace morvane {

// Why the X display cannot be used, or an empty text when it can (or when another Qt platform was
// asked for through QT_QPA_PLATFORM). Call it before the QApplication exists: Qt meets a missing or
// unreachable display by aborting, with advice to reinstall the application.
QString x11DisplayProblem();

// The Qt platform to start on when none was chosen (neither QT_QPA_PLATFORM nor "-platform"): X11
// whenever an X display is named. On a Wayland session that is Xwayland, where the panel keeps its
// place and the global shortcuts and the window in front are X11's; Qt alone would pick Wayland.
// Nothing when a platform was chosen or no X display is named.
std::optional<QByteArray> preferredQtPlatform(const QByteArray& chosenPlatform, const QByteArray& display);

// Qt's own X11 connection; none on another platform.
xcb_connection_t* applicationX11Connection();

// Sends what Qt's X11 connection holds to the server now rather than when the event loop next
// waits: the tray icon made during the start reaches the tray before the rest of the start runs.
void flushApplicationDisplay();

// The atom of the name, interned if need be; XCB_ATOM_NONE (0) when the server does not answer.
std::uint32_t x11Atom(xcb_connection_t* connection, const char* name);

// A window's property as the server answers it (its first 64 values), owned; nothing when the server
// does not answer. type is the property type asked for (0 for any).
using X11PropertyReply = std::unique_ptr<xcb_get_property_reply_t, void (*)(void*)>;
X11PropertyReply x11WindowProperty(xcb_connection_t* connection, std::uint32_t window, std::uint32_t name,
                                   std::uint32_t type);

// Where the window manager reads a window's user time (_NET_WM_USER_TIME): a window of its own when
// Qt made one, else the window itself.
std::uint32_t x11UserTimeWindow(xcb_connection_t* connection, std::uint32_t window);

// A window manager request: a 32-bit client message of the type about the window, sent to the root
// window as EWMH asks. Not flushed.
void sendX11RootMessage(xcb_connection_t* connection, std::uint32_t window, std::uint32_t type,
                        const std::array<std::uint32_t, 5>& data);

// Qt writes the window's desktop afresh whenever it maps the window, so a mapped window is moved to
// every desktop by asking the window manager, after each show.
void showOnAllDesktops(QWidget& window);

// On a Wayland session, the X11 window in front, when it is full screen, is asked to leave full screen
// so that the window, mapped next, can show over it: the compositor (sway) neither shows nor focuses
// an Xwayland window that a full-screen one covers, whatever that window asks for itself, and takes a
// request to activate it for an urgency hint only. A native Wayland window in front is out of the X
// display's reach. Nothing happens elsewhere.
void leaveFullScreenInFrontOf(const QWidget& window);

} // namespace morvane
