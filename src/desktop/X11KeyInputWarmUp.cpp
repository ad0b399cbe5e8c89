#include "X11KeyInputWarmUp.h"

#include "desktop/X11Display.h"

#include <QByteArray>
#include <QWidget>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace morvane {

namespace {

constexpr xcb_keysym_t shiftLeft = 0xffe1;

// Qt uses its compose handling unless another input method module is named.
bool composeReadsKeys()
{
    const QByteArray module = qgetenv("QT_IM_MODULE");
    return module.isEmpty() || module == "compose";
}

// The key that types Shift_L in the server's mapping, if one does.
std::optional<xcb_keycode_t> shiftKeycode(xcb_connection_t* connection)
{
    const std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> symbols(
        xcb_key_symbols_alloc(connection), &xcb_key_symbols_free);
    if (!symbols)
        return std::nullopt;
    const std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
        xcb_key_symbols_get_keycode(symbols.get(), shiftLeft), &std::free);
    if (!codes || *codes == XCB_NO_SYMBOL)
        return std::nullopt;
    return *codes;
}

// The window's user time as it stands: Qt stamps the window with a key press's time, and this press
// must leave it as the last action of the user set it.
std::optional<xcb_timestamp_t> userTime(xcb_connection_t* connection, xcb_window_t window)
{
    const X11PropertyReply reply =
        x11WindowProperty(connection, x11UserTimeWindow(connection, window),
                          x11Atom(connection, "_NET_WM_USER_TIME"), XCB_ATOM_CARDINAL);
    if (!reply || reply->format != 32 || reply->value_len != 1)
        return std::nullopt;
    return *static_cast<const xcb_timestamp_t*>(xcb_get_property_value(reply.get()));
}

} // namespace

void readComposeTableBeforeFirstKey(QWidget& window)
{
    xcb_connection_t* connection = applicationX11Connection();
    if (!connection || !composeReadsKeys())
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const std::optional<xcb_keycode_t> shift = shiftKeycode(connection);
    const std::optional<xcb_timestamp_t> time = userTime(connection, id);
    if (!shift || !time)
        return;
    xcb_key_press_event_t press{};
    press.response_type = XCB_KEY_PRESS;
    press.detail = *shift;
    press.time = *time;
    press.root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    press.event = id;
    press.same_screen = 1;
    // With no event mask the server hands the event to the client that made the window: to us alone.
    xcb_send_event(connection, 0, id, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&press));
    xcb_flush(connection);
}

} // namespace morvane
