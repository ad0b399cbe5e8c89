#include "X11Activation.h"

#include "desktop/X11Display.h"

#include <QElapsedTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace morvane {

namespace {

// Between a press and the activation it schedules lie a turn or two of the event loop; a press older
// than this asked for something else (or for a window that was hidden instead).
constexpr qint64 pressValidityMs = 1000;
// Each startup-notification message travels in pieces of this many bytes.
constexpr std::size_t startupChunk = 20;

struct NotedAction {
    std::uint32_t time = 0;
    QElapsedTimer since;
};

NotedAction& notedAction()
{
    static NotedAction action;
    return action;
}

// A value of a startup-notification message: quoted, with quotes and backslashes escaped.
QByteArray quoted(const QString& value)
{
    QByteArray text = value.toUtf8();
    text.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + text + '"';
}

} // namespace

void noteX11UserAction(std::uint32_t time)
{
    notedAction().time = time;
    notedAction().since.start();
}

std::optional<std::uint32_t> takeRecentX11UserAction()
{
    NotedAction& action = notedAction();
    if (!action.since.isValid() || action.since.elapsed() > pressValidityMs)
        return std::nullopt;
    action.since.invalidate();
    return action.time;
}

std::optional<std::uint32_t> x11ServerTime()
{
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
        xcb_connect(nullptr, nullptr), &xcb_disconnect);
    if (xcb_connection_has_error(connection.get()))
        return std::nullopt;
    xcb_connection_t* c = connection.get();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    xcb_change_property(c, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(c);
    std::optional<std::uint32_t> time;
    // The connection is ours alone: the first property notice is the one asked for.
    while (!time) {
        const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(xcb_wait_for_event(c),
                                                                               &std::free);
        if (!event)
            break;
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY)
            time = reinterpret_cast<const xcb_property_notify_event_t*>(event.get())->time;
    }
    xcb_destroy_window(c, window);
    return time;
}

std::optional<std::uint32_t> startupIdTime(const QString& id)
{
    const qsizetype at = id.lastIndexOf(QLatin1String("_TIME"));
    if (at < 0)
        return std::nullopt;
    bool ok = false;
    const std::uint32_t time = id.mid(at + 5).toUInt(&ok);
    return ok && time != 0 ? std::optional(time) : std::nullopt;
}

void sendStartupRemove(xcb_connection_t* connection, std::uint32_t window, const QString& id)
{
    // The message and its terminating zero, the first piece typed _NET_STARTUP_INFO_BEGIN and the
    // rest _NET_STARTUP_INFO, each sent to the root window for every client that watches it.
    const QByteArray message = "remove: ID=" + quoted(id) + '\0';
    const xcb_atom_t begin = x11Atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = x11Atom(connection, "_NET_STARTUP_INFO");
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    for (qsizetype offset = 0; offset < message.size(); offset += qsizetype(startupChunk)) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = window;
        event.type = offset == 0 ? begin : more;
        std::memcpy(event.data.data8, message.constData() + offset,
                    std::min<std::size_t>(startupChunk, std::size_t(message.size() - offset)));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&event));
    }
}

} // namespace morvane
