// Times one key press to changed pixels in a window, as the X server holds them:
//
//   key_to_paint <window> <key>
//   key_to_paint --show <map|milliseconds> <key>
//
// Waits until the watched part of the window (its lower two thirds, where a list sits below its
// search field) has been left alone for a while, takes its pixels, sends the key through the XTEST
// extension and prints the milliseconds to the first change of those pixels and to the last one
// before they rest, and a digest of the pixels they rest at. The window's damage notices say when to
// look again, so the figures carry no polling delay and cost the server no more than one image per
// paint. Exits 1 with a message when nothing changed within 10 s.
//
// With --show it sends the panel's shortcut (Ctrl+Super+L) first and the key with no rest before it:
// the moment a window named "Morvane" maps, or that many milliseconds after the shortcut. The window
// paints itself after it maps, so only the time to rest counts then (both figures print it): from the
// key to the last change of the rows, whose digest says whether they are the rows the key gives at
// rest (a key lost, or a partial list, rests elsewhere).
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
#include <thread>

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

unsigned long long pixelDigest(const std::string& bytes)
{
    unsigned long long digest = 14695981039346656037ull; // FNV-1a
    for (const char byte : bytes)
        digest = (digest ^ static_cast<unsigned char>(byte)) * 1099511628211ull;
    return digest;
}

void sendKey(Display* display, KeyCode keycode)
{
    XTestFakeKeyEvent(display, keycode, True, CurrentTime);
    XTestFakeKeyEvent(display, keycode, False, CurrentTime);
    XFlush(display);
}

// The window named "Morvane" at or below the one that mapped (the window manager's frame around it, or
// the window itself); 0 when there is none.
Window findNamed(Display* display, Window under)
{
    char* name = nullptr;
    if (XFetchName(display, under, &name) && name) {
        const bool named = std::strcmp(name, "Morvane") == 0;
        XFree(name);
        if (named)
            return under;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, under, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i)
        found = findNamed(display, children[i]);
    if (children)
        XFree(children);
    return found;
}

// Waits for a top-level window holding the panel to map, until the deadline; 0 when none did.
Window waitForPanelMap(Display* display, Clock::time_point deadline)
{
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify) {
                if (const Window found = findNamed(display, event.xmap.window))
                    return found;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms)
            return 0;
        pollfd descriptor{ConnectionNumber(display), POLLIN, 0};
        poll(&descriptor, 1, int(left.count()));
    }
}

} // namespace

int main(int argc, char** argv)
{
    const bool show = argc == 4 && std::strcmp(argv[1], "--show") == 0;
    if (argc != 3 && !show)
        return fail("usage: key_to_paint <window> <key> | key_to_paint --show <map|milliseconds> <key>");
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return fail("no display");
    int damageEvent = 0, damageError = 0, xtestEvent = 0, xtestError = 0, major = 0, minor = 0;
    if (!XDamageQueryExtension(display, &damageEvent, &damageError) ||
        !XTestQueryExtension(display, &xtestEvent, &xtestError, &major, &minor))
        return fail("the server offers no DAMAGE or XTEST extension");
    const KeySym keysym = XStringToKeysym(argv[argc - 1]);
    const KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(display, keysym);
    if (keycode == 0)
        return fail("no key of that name");

    Window window = 0;
    std::optional<Clock::time_point> sent;
    if (show) {
        XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
        XSync(display, False);
        const KeyCode shortcut[] = {XKeysymToKeycode(display, XK_Control_L),
                                    XKeysymToKeycode(display, XK_Super_L), XKeysymToKeycode(display, XK_l)};
        for (const KeyCode key : shortcut)
            XTestFakeKeyEvent(display, key, True, CurrentTime);
        for (const KeyCode key : shortcut)
            XTestFakeKeyEvent(display, key, False, CurrentTime);
        XFlush(display);
        const auto pressed = Clock::now();
        if (std::strcmp(argv[2], "map") != 0) {
            const auto at = pressed + std::chrono::milliseconds(std::strtol(argv[2], nullptr, 10));
            window = waitForPanelMap(display, at);
            std::this_thread::sleep_until(at);
            sent = Clock::now();
            sendKey(display, keycode);
        }
        if (window == 0)
            window = waitForPanelMap(display, pressed + answerLimit);
        if (window == 0)
            return fail("the panel did not map after its shortcut");
        if (!sent) {
            sent = Clock::now();
            sendKey(display, keycode);
        }
    } else {
        window = Window(std::strtoul(argv[1], nullptr, 0));
    }
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

    if (!show) {
        const auto settleDeadline = Clock::now() + settleLimit;
        while (watch.waitForDamage(Clock::now() + quietBefore))
            if (Clock::now() > settleDeadline)
                return fail("the window never came to rest");
    }
    const std::string before = watch.pixels();

    if (!sent) {
        sent = Clock::now();
        sendKey(display, keycode);
    }
    // The rows may be painted in steps (the list, then the footer under it, or a first page before the
    // rest): the key is answered once the pixels stop changing, and both ends are printed.
    const auto deadline = *sent + answerLimit;
    std::string shown = before;
    std::optional<Clock::time_point> firstChange, lastChange;
    // After a show the rows may have been painted, the key's answer too, before the window could be
    // watched: what it shows when first seen counts as a change seen then.
    if (show)
        firstChange = lastChange = Clock::now();
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
    const auto since = [&sent](Clock::time_point at) {
        return std::chrono::duration<double, std::milli>(at - *sent).count();
    };
    // Painting that began before the key is not its answer: after a show, only the rest counts.
    std::printf("%.1f %.1f %016llx\n", since(show ? *lastChange : *firstChange), since(*lastChange),
                pixelDigest(shown));
    return 0;
}
