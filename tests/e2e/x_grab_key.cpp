// Another X client for the shortcut tests, on plain xcb: "x_grab_key [<letter>] <state>..." grabs the
// key that types the letter ("l" when none is given) under each exact modifier state, then prints "grabbed"
// and holds the grabs until killed, or prints "refused <X error>" and exits 1.
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 2;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    int first = 1;
    xcb_keysym_t keysym = 'l';
    if (argc > 1 && argv[1][0] >= 'a' && argv[1][0] <= 'z' && argv[1][1] == '\0')
        keysym = xcb_keysym_t(argv[first++][0]);
    xcb_keycode_t* keycodes = xcb_key_symbols_get_keycode(xcb_key_symbols_alloc(connection), keysym);
    for (int i = first; i < argc; ++i) {
        const auto state = uint16_t(std::strtoul(argv[i], nullptr, 0));
        for (const xcb_keycode_t* keycode = keycodes; keycode && *keycode != XCB_NO_SYMBOL; ++keycode) {
            xcb_generic_error_t* error =
                xcb_request_check(connection, xcb_grab_key_checked(connection, 0, root, state, *keycode,
                                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            if (error) {
                std::printf("refused %d\n", error->error_code);
                return 1;
            }
        }
    }
    std::printf("grabbed\n");
    std::fflush(stdout);
    pause();
    return 0;
}
