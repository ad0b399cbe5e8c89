// Watches what clients ask of the window manager and tell the launcher, on plain xcb: prints
// "watching" once it listens, then "activate <window> <time>" for each _NET_ACTIVE_WINDOW request and
// "startup <message>" for each whole startup-notification message sent to the root window, and, for each
// window given as an argument, "startup-id <window> set" or "startup-id <window> deleted" as its
// _NET_STARTUP_ID is written or taken off, until killed.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 2;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    // Requests to the window manager travel with the substructure masks, startup messages with the
    // property mask: a client that selects either on the root window receives them too.
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t activate = atom(connection, "_NET_ACTIVE_WINDOW");
    const xcb_atom_t startBegin = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t startMore = atom(connection, "_NET_STARTUP_INFO");
    const xcb_atom_t startupId = atom(connection, "_NET_STARTUP_ID");
    const uint32_t propertyMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    for (int arg = 1; arg < argc; ++arg) {
        const auto window = xcb_window_t(std::strtoul(argv[arg], nullptr, 0));
        xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &propertyMask);
    }
    xcb_flush(connection);
    std::puts("watching");
    std::fflush(stdout);
    // A startup message comes in pieces of 20 bytes, told apart by the sender's window.
    std::map<xcb_window_t, std::string> pieces;
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
            const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
            if (message->type == activate && message->format == 32) {
                std::printf("activate %u %u\n", message->window, message->data.data32[1]);
            } else if ((message->type == startBegin || message->type == startMore) && message->format == 8) {
                std::string& text = pieces[message->window];
                if (message->type == startBegin)
                    text.clear();
                const auto* bytes = reinterpret_cast<const char*>(message->data.data8);
                const std::size_t length = strnlen(bytes, 20);
                text.append(bytes, length);
                if (length < 20) {
                    std::printf("startup %s\n", text.c_str());
                    pieces.erase(message->window);
                }
            }
            std::fflush(stdout);
        } else if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (change->atom == startupId && change->window != root) {
                std::printf("startup-id %u %s\n", change->window,
                            change->state == XCB_PROPERTY_DELETE ? "deleted" : "set");
                std::fflush(stdout);
            }
        }
        std::free(event);
    }
    return 0;
}
