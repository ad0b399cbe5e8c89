// A stand-in for the window in front, on plain xcb: "key_recorder <title>" maps a window with that title
// and prints, one a line and flushed at once, "focus" whenever it takes the keyboard and the letter or
// digit of every key press it receives (other keys as "key <keysym in hex>").
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) || argc < 2)
        return 2;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_FOCUS_CHANGE};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        uint32_t(std::strlen(argv[1])), argv[1]);
    xcb_map_window(connection, window);
    xcb_flush(connection);
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_FOCUS_IN) {
            std::printf("focus\n");
        } else if (type == XCB_KEY_PRESS) {
            const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
            const xcb_keysym_t keysym = xcb_key_symbols_get_keysym(symbols, key->detail, 0);
            if ((keysym >= 'a' && keysym <= 'z') || (keysym >= '0' && keysym <= '9'))
                std::printf("%c\n", char(keysym));
            else
                std::printf("key %x\n", keysym);
        }
        std::fflush(stdout);
        std::free(event);
    }
    return 0;
}
