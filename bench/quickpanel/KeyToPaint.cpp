// Times one key press to changed pixels in a window, as the X server holds them:
//
//   key_to_paint <window> <key>
//
// Waits until the watched part of the window (its lower two thirds, where a list sits below its
// search field) has been left alone for a while, takes its pixels, sends the key through the XTEST
// extension and prints the milliseconds to the first change of those pixels and to the last one
// before they rest. The window's damage notices say when to look again, so the figures carry no
// polling delay and cost the server no more than one image per paint. Exits 1 with a message when
// nothing changed within 10 s.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long the watched part must stay untouched before the key is sent.
constexpr auto quietBefore = 150ms;
constexpr auto settleLimit = 10s;
constexpr auto answerLimit = 10s;
// How long the pixels must stay as they are after a change for the key to count as answered.
constexpr auto quietAfter = 400ms;

struct Watch {
    Display* display;
    Window window;
    int damageEvent;
    int x, y, width, height;

    bool touches(const XDamageNotifyEvent& notice) const
    {
        const XRectangle& area = notice.area;
        return area.x < x + width && area.x + area.width > x && area.y < y + height &&
               area.y + area.height > y;
    }

    std::string pixels() const
    {
        XImage* image =
            XGetImage(display, window, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        if (!image)
            return {};
        std::string bytes(image->data, std::size_t(image->bytes_per_line) * std::size_t(image->height));
        XDestroyImage(image);
        return bytes;
    }

    // Waits for damage to the watched part until the deadline; true when some came.
    bool waitForDamage(Clock::time_point deadline) const
    {
        for (;;) {
            while (XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == damageEvent + XDamageNotify &&
                    touches(*reinterpret_cast<XDamageNotifyEvent*>(&event))) {
                    // Drain the rest of this paint's notices before looking.
                    while (XPending(display))
                        XNextEvent(display, &event);
                    return true;
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= 0ms)
                return false;
            pollfd descriptor{ConnectionNumber(display), POLLIN, 0};
            poll(&descriptor, 1, int(left.count()));
        }
    }
};

int fail(const char* message)
{
    std::fprintf(stderr, "key_to_paint: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return fail("usage: key_to_paint <window> <key>");
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return fail("no display");
    int damageEvent = 0, damageError = 0, xtestEvent = 0, xtestError = 0, major = 0, minor = 0;
    if (!XDamageQueryExtension(display, &damageEvent, &damageError) ||
        !XTestQueryExtension(display, &xtestEvent, &xtestError, &major, &minor))
        return fail("the server offers no DAMAGE or XTEST extension");
    const auto window = Window(std::strtoul(argv[1], nullptr, 0));
    const KeySym keysym = XStringToKeysym(argv[2]);
    const KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(display, keysym);
    if (keycode == 0)
        return fail("no key of that name");
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return fail("no such window");

    const Watch watch{display,
                      window,
                      damageEvent,
                      0,
                      attributes.height / 3,
                      attributes.width,
                      attributes.height - attributes.height / 3};
    XDamageCreate(display, window, XDamageReportRawRectangles);
    XSync(display, False);

    const auto settleDeadline = Clock::now() + settleLimit;
    while (watch.waitForDamage(Clock::now() + quietBefore))
        if (Clock::now() > settleDeadline)
            return fail("the window never came to rest");
    const std::string before = watch.pixels();

    const auto sent = Clock::now();
    XTestFakeKeyEvent(display, keycode, True, CurrentTime);
    XTestFakeKeyEvent(display, keycode, False, CurrentTime);
    XFlush(display);
    // The rows may be painted in steps (the list, then the footer under it, or a first page before the
    // rest): the key is answered once the pixels stop changing, and both ends are printed.
    const auto deadline = sent + answerLimit;
    std::string shown = before;
    std::optional<Clock::time_point> firstChange, lastChange;
    while (watch.waitForDamage(lastChange ? std::min(deadline, *lastChange + quietAfter) : deadline)) {
        const auto damaged = Clock::now();
        std::string now = watch.pixels();
        if (now == shown)
            continue;
        shown = std::move(now);
        if (!firstChange)
            firstChange = damaged;
        lastChange = damaged;
    }
    if (!firstChange)
        return fail("no other pixels 10 s after the key");
    const auto since = [sent](Clock::time_point at) {
        return std::chrono::duration<double, std::milli>(at - sent).count();
    };
    std::printf("%.1f %.1f\n", since(*firstChange), since(*lastChange));
    return 0;
}
