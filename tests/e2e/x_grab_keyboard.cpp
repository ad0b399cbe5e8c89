// Another X client that wants the whole keyboard, on plain xcb: "x_grab_keyboard" asks for it every
// millisecond until the server grants it, lets it go at once and prints the wall-clock time of the
// grant in milliseconds since the epoch; after 10 s it prints "refused" and exits 1.
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 2;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        xcb_grab_keyboard_reply_t* reply =
            xcb_grab_keyboard_reply(connection,
                                    xcb_grab_keyboard(connection, 0, root, XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr);
        const bool granted = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        std::free(reply);
        if (granted) {
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);
            xcb_flush(connection);
            std::printf("%lld\n", static_cast<long long>(
                                      std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::printf("refused\n");
    return 1;
}
