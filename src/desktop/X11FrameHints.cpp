#include "X11FrameHints.h"

#include "desktop/X11Display.h"

#include <QByteArray>
#include <QWidget>

#include <xcb/xcb.h>

#include <array>

namespace morvane {

namespace {

// The Motif window manager hints: which fields count, the functions and the decorations offered.
constexpr quint32 motifFunctionsField = 1u << 0;
constexpr quint32 motifDecorationsField = 1u << 1;
constexpr quint32 motifMove = 1u << 2;
constexpr quint32 motifClose = 1u << 5;
constexpr quint32 motifBorder = 1u << 1;
constexpr quint32 motifTitle = 1u << 3;
constexpr quint32 motifMenu = 1u << 4;

// The running window manager's name as it gives it on its check window (EWMH); empty when none says.
QByteArray windowManagerName(xcb_connection_t* connection)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const X11PropertyReply check = x11WindowProperty(
        connection, root, x11Atom(connection, "_NET_SUPPORTING_WM_CHECK"), XCB_GET_PROPERTY_TYPE_ANY);
    if (!check || check->format != 32 || xcb_get_property_value_length(check.get()) < 4)
        return {};
    const xcb_window_t manager = *static_cast<const xcb_window_t*>(xcb_get_property_value(check.get()));
    const X11PropertyReply name = x11WindowProperty(connection, manager, x11Atom(connection, "_NET_WM_NAME"),
                                                    XCB_GET_PROPERTY_TYPE_ANY);
    if (!name || name->format != 8)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(name.get())),
                      xcb_get_property_value_length(name.get()));
}

} // namespace

void requestCloseOnlyFrame(QWidget& window)
{
    xcb_connection_t* connection = applicationX11Connection();
    if (!connection)
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t motifHints = x11Atom(connection, "_MOTIF_WM_HINTS");
    const std::array<quint32, 5> hints{motifFunctionsField | motifDecorationsField, motifMove | motifClose,
                                       motifBorder | motifTitle | motifMenu, 0, 0};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, motifHints, motifHints, 32, hints.size(),
                        hints.data());
    if (windowManagerName(connection) == "Openbox") {
        const std::array<xcb_atom_t, 3> types{x11Atom(connection, "_NET_WM_WINDOW_TYPE_TOOLBAR"),
                                              x11Atom(connection, "_NET_WM_WINDOW_TYPE_UTILITY"),
                                              x11Atom(connection, "_NET_WM_WINDOW_TYPE_NORMAL")};
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, x11Atom(connection, "_NET_WM_WINDOW_TYPE"),
                            XCB_ATOM_ATOM, 32, types.size(), types.data());
    }
    xcb_flush(connection);
}

} // namespace morvane
