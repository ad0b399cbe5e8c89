#include "X11KeyGrabThread.h"

#include "foundation/FullTransfer.h"
#include "foundation/Logging.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>
// xkb.h names a structure field "explicit"; it is renamed while the header is read (as Qt does).
#define explicit xcb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

MORVANE_LOGGING_CATEGORY(lcKeyGrabs, "HotkeyService")

namespace morvane {

namespace {

using Clock = std::chrono::steady_clock;

// The eight core modifier bits; the rest of an event's state is buttons and the XKB group.
constexpr uint16_t coreModifierMask = 0xff;
// A held key repeats its press within the auto-repeat delay; a press that comes much later is a new one
// whose release went elsewhere.
constexpr xcb_timestamp_t longestRepeatGapMs = 1500;
// Between two looks at the focus while a press holds the keyboard.
constexpr std::chrono::milliseconds focusPollInterval{4};
// How long the window manager may keep the focus to itself after our window hid before it gives it to
// the window in front.
constexpr std::chrono::milliseconds focusSettling{150};
// After a hold ended in a window of ours, the keys the shortcut's grab still brings until its key is
// released go to that window.
constexpr std::chrono::milliseconds afterHoldForwarding{500};

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <class T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

// Sends a key press or release to a window as if typed in it.
void sendKey(xcb_connection_t* connection, xcb_window_t target, xcb_key_press_event_t key)
{
    const bool press = (key.response_type & 0x7f) == XCB_KEY_PRESS;
    key.response_type &= 0x7f;
    key.event = target;
    key.child = XCB_NONE;
    key.same_screen = 1;
    xcb_send_event(connection, 0, target, press ? XCB_EVENT_MASK_KEY_PRESS : XCB_EVENT_MASK_KEY_RELEASE,
                   reinterpret_cast<const char*>(&key));
}

struct Command {
    enum class Kind { grab, ungrab, handled, hid, quit };
    Kind kind;
    QList<X11KeyGrab> keys;
    int status = 0;
    QList<X11KeyGrab> granted;
};

// What the thread tells the main thread.
struct Report {
    enum class Kind : uint8_t { press, dropped };
    Kind kind;
    X11KeyGrabThread::Press press;
    uint32_t dropped = 0;
};

struct Pipe {
    int read = -1;
    int write = -1;

    bool open()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    void close()
    {
        for (int* fd : {&read, &write}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }
};

// The press a hold follows, and what became of the keys typed after it.
struct Hold {
    Clock::time_point pressedAt;
    xcb_window_t focusAtPress = XCB_NONE;
    // The window manager's connection's windows (the one it focuses while it has none to focus).
    std::optional<uint32_t> windowManagerBase;
    // The server keeps the keys (the press's grab froze the keyboard).
    bool frozen = true;
    bool hid = false;
    // Since when the focus, after the press hid our window, has been in none of ours, and whether the
    // window manager has another window to give it to.
    std::optional<Clock::time_point> leftOursSince;
    bool focusComing = false;
    // Past the limit: the keys typed go to the sink window, and are kept here.
    std::optional<Clock::time_point> keepingSince;
    std::vector<xcb_key_press_event_t> kept;
};

// Everything the thread touches; only the thread touches it once it runs.
class Worker {
public:
    xcb_connection_t* connection = nullptr;
    std::vector<xcb_window_t> roots;
    uint32_t ownBase = 0;
    uint32_t ownMask = 0;
    int commands = -1;
    int answers = -1;
    int reports = -1;

    void run();

private:
    bool command(Command* command);
    void grab(Command& command);
    void ungrab(const QList<X11KeyGrab>& keys);
    void handle(const xcb_generic_event_t* event);
    void key(const xcb_key_press_event_t& key);
    bool isShortcut(const xcb_key_press_event_t& key) const;
    bool isShortcutKey(xcb_keycode_t keycode) const;
    void pressed(const xcb_key_press_event_t& key);
    void look();
    void startKeeping();
    void deliver(xcb_window_t target);
    void letGo(xcb_window_t focused);
    void thaw();
    xcb_window_t focus();
    bool ours(xcb_window_t window) const;
    bool elsewhere(xcb_window_t window) const;
    xcb_atom_t atom(const char* name);
    std::vector<uint32_t> values(xcb_window_t window, const char* property);
    std::optional<uint32_t> windowManagerBase();
    bool anotherWindowToFocus();
    void report(const Report& report);
    void enableDetectableAutoRepeat();

    std::vector<X11KeyGrab> m_grabs;
    std::unordered_map<xcb_keycode_t, xcb_timestamp_t> m_keysDown;
    std::optional<Hold> m_hold;
    xcb_window_t m_sink = XCB_NONE;
    xcb_window_t m_lastTarget = XCB_NONE;
    Clock::time_point m_lastTargetUntil;
    // Presses reported that the main thread has not acted on yet: until it has, a window of ours that
    // takes the focus may be one the next press hides.
    int m_unhandled = 0;
    std::map<std::string, xcb_atom_t, std::less<>> m_atoms;
};

void Worker::run()
{
    enableDetectableAutoRepeat();
    int xcbFd = xcb_get_file_descriptor(connection);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            handle(event);
            std::free(event);
        }
        if (xcbFd >= 0 && xcb_connection_has_error(connection))
            xcbFd = -1;
        pollfd fds[2] = {{commands, POLLIN, 0}, {xcbFd, POLLIN, 0}};
        const int timeout = m_hold ? int(focusPollInterval.count()) : -1;
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR)
            return;
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            Command* next = nullptr;
            if (!readFully(commands, &next, sizeof next) || !command(next))
                return;
        }
        look();
    }
}

// False when the thread ends.
bool Worker::command(Command* command)
{
    switch (command->kind) {
    case Command::Kind::grab:
        grab(*command);
        break;
    case Command::Kind::ungrab:
        ungrab(command->keys);
        break;
    case Command::Kind::handled:
        m_unhandled = std::max(0, m_unhandled - 1);
        delete command;
        return true;
    case Command::Kind::hid:
        if (m_hold)
            m_hold->hid = true;
        delete command;
        return true;
    case Command::Kind::quit:
        if (m_hold)
            letGo(focus());
        ungrab(QList<X11KeyGrab>(m_grabs.cbegin(), m_grabs.cend()));
        if (m_sink != XCB_NONE)
            xcb_destroy_window(connection, m_sink);
        xcb_flush(connection);
        const char done = 1;
        writeFully(answers, &done, 1);
        return false;
    }
    const char done = 1;
    return writeFully(answers, &done, 1);
}

void Worker::grab(Command& command)
{
    // All requests first, then their answers: one round trip however many there are. The keyboard
    // freezes at a press (synchronous keyboard), the pointer never does.
    QList<xcb_void_cookie_t> cookies;
    for (const X11KeyGrab& key : std::as_const(command.keys)) {
        cookies.append(xcb_grab_key_checked(connection, 0, key.root, key.modifiers, key.keycode,
                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC));
    }
    for (qsizetype i = 0; i < command.keys.size(); ++i) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(connection, cookies[i]));
        if (!error) {
            command.granted.append(command.keys[i]);
            if (std::find(m_grabs.cbegin(), m_grabs.cend(), command.keys[i]) == m_grabs.cend())
                m_grabs.push_back(command.keys[i]);
        } else if (command.status == 0) {
            command.status = error->error_code;
        }
    }
}

void Worker::ungrab(const QList<X11KeyGrab>& keys)
{
    for (const X11KeyGrab& key : keys) {
        xcb_ungrab_key(connection, key.keycode, key.root, key.modifiers);
        m_grabs.erase(std::remove(m_grabs.begin(), m_grabs.end(), key), m_grabs.end());
        // Its release may go elsewhere now: the next press is a new one.
        m_keysDown.erase(key.keycode);
    }
    if (m_grabs.empty() && m_hold)
        letGo(focus());
    xcb_flush(connection);
}

void Worker::handle(const xcb_generic_event_t* event)
{
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE)
        key(*reinterpret_cast<const xcb_key_press_event_t*>(event));
    // Errors (a focus given back to a window that has gone) and other events change nothing.
}

bool Worker::isShortcut(const xcb_key_press_event_t& key) const
{
    const uint16_t state = key.state & coreModifierMask;
    return std::any_of(m_grabs.cbegin(), m_grabs.cend(), [&](const X11KeyGrab& grab) {
        return grab.root == key.root && grab.keycode == key.detail && grab.modifiers == state;
    });
}

bool Worker::isShortcutKey(xcb_keycode_t keycode) const
{
    return std::any_of(m_grabs.cbegin(), m_grabs.cend(),
                       [&](const X11KeyGrab& grab) { return grab.keycode == keycode; });
}

void Worker::key(const xcb_key_press_event_t& key)
{
    const bool press = (key.response_type & 0x7f) == XCB_KEY_PRESS;
    if (press && isShortcut(key)) {
        pressed(key);
        return;
    }
    if (!press && isShortcutKey(key.detail) && m_keysDown.erase(key.detail) > 0)
        return;
    if (m_hold) {
        m_hold->kept.push_back(key);
    } else if (m_lastTarget != XCB_NONE && Clock::now() < m_lastTargetUntil) {
        sendKey(connection, m_lastTarget, key);
        xcb_flush(connection);
    }
}

void Worker::pressed(const xcb_key_press_event_t& key)
{
    // A held key repeats its press, with or without releases in between depending on the server; a
    // repeat does nothing, and the keyboard it froze goes on at once (unless a press holds it).
    const auto down = m_keysDown.find(key.detail);
    if (down != m_keysDown.end() && key.time - down->second < longestRepeatGapMs) {
        down->second = key.time;
        if (!m_hold || !m_hold->frozen)
            thaw();
        return;
    }
    m_keysDown[key.detail] = key.time;
    ++m_unhandled;
    report({Report::Kind::press, {key.detail, key.state, key.time}, 0});
    if (m_hold) {
        // Pressed again while the keys of the first press are kept: they wait for this one's outcome.
        m_hold->pressedAt = Clock::now();
        m_hold->frozen = true;
        m_hold->hid = false;
        m_hold->leftOursSince.reset();
        return;
    }
    m_hold.emplace();
    m_hold->pressedAt = Clock::now();
    m_hold->focusAtPress = focus();
    m_hold->windowManagerBase = windowManagerBase();
}

// Decides what the keys a press holds become, from the focus and the time.
void Worker::look()
{
    if (!m_hold)
        return;
    const Clock::time_point now = Clock::now();
    const xcb_window_t focused = focus();
    if (m_unhandled == 0 && !m_hold->hid && ours(focused) && focused != m_hold->focusAtPress) {
        deliver(focused);
        return;
    }
    // Hidden: once another application's window has the focus again; at once when the window manager
    // has none to give it to, else once it has kept it a while.
    if (m_hold->hid && !ours(focused) && !m_hold->leftOursSince) {
        m_hold->leftOursSince = now;
        m_hold->focusComing = anotherWindowToFocus();
    }
    const bool backElsewhere =
        elsewhere(focused) ||
        (m_hold->leftOursSince && (!m_hold->focusComing || now - *m_hold->leftOursSince >= focusSettling));
    // Hidden, or the keyboard put in another window while its keys were kept (a click).
    if ((m_hold->hid && (m_hold->keepingSince || backElsewhere)) ||
        (m_hold->keepingSince && !m_hold->frozen && elsewhere(focused))) {
        letGo(focused);
        return;
    }
    if (m_hold->frozen && now - m_hold->pressedAt >= X11KeyGrabThread::holdLimit) {
        if (m_hold->hid || ours(focused)) {
            letGo(focused);
            return;
        }
        if (!m_hold->keepingSince)
            startKeeping();
        m_hold->frozen = false;
        thaw();
    }
    if (m_hold->keepingSince && now - *m_hold->keepingSince >= X11KeyGrabThread::keepLimit)
        letGo(focused);
}

// The keyboard is free again, and what is typed meanwhile comes to a window of this connection.
void Worker::startKeeping()
{
    if (m_sink == XCB_NONE) {
        m_sink = xcb_generate_id(connection);
        // An input-only window out of sight that no window manager handles.
        const uint32_t values[] = {1, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE};
        xcb_create_window(connection, 0, m_sink, roots.front(), -10, -10, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                          XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    }
    xcb_map_window(connection, m_sink);
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, m_sink, XCB_CURRENT_TIME);
    m_hold->keepingSince = Clock::now();
}

// The window took the focus after the press: the keys kept are sent to it, then the keyboard goes on.
void Worker::deliver(xcb_window_t target)
{
    if (m_hold->keepingSince || !m_hold->kept.empty()) {
        // Frozen again first: a key on its way to us now is among those sent, and one typed after
        // reaches the window after them. (When another client holds the keyboard, its keys are its own.)
        XcbReply<xcb_grab_keyboard_reply_t> grabbed(
            xcb_grab_keyboard_reply(connection,
                                    xcb_grab_keyboard(connection, 0, roots.front(), XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC),
                                    nullptr));
        while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection)) {
            const uint8_t type = event->response_type & 0x7f;
            const auto& key = *reinterpret_cast<const xcb_key_press_event_t*>(event);
            if ((type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) && !isShortcutKey(key.detail))
                m_hold->kept.push_back(key);
            std::free(event);
        }
        for (const xcb_key_press_event_t& key : m_hold->kept)
            sendKey(connection, target, key);
        if (m_sink != XCB_NONE)
            xcb_unmap_window(connection, m_sink);
        if (grabbed && grabbed->status == XCB_GRAB_STATUS_SUCCESS)
            xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);
    }
    thaw();
    m_lastTarget = target;
    m_lastTargetUntil = Clock::now() + afterHoldForwarding;
    m_hold.reset();
}

// The press showed nothing that takes the keys: those kept are dropped, the focus goes back where it
// was, and the keyboard goes on.
void Worker::letGo(xcb_window_t focused)
{
    if (m_hold->keepingSince) {
        if (!m_hold->kept.empty())
            report({Report::Kind::dropped, {}, uint32_t(m_hold->kept.size())});
        // Unless the user has put it elsewhere meanwhile.
        if (focused == m_sink)
            xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, m_hold->focusAtPress,
                                XCB_CURRENT_TIME);
        xcb_unmap_window(connection, m_sink);
    }
    thaw();
    m_lastTarget = XCB_NONE;
    m_hold.reset();
}

void Worker::thaw()
{
    xcb_allow_events(connection, XCB_ALLOW_ASYNC_KEYBOARD, XCB_CURRENT_TIME);
    xcb_flush(connection);
}

xcb_window_t Worker::focus()
{
    XcbReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return reply ? reply->focus : xcb_window_t(XCB_NONE);
}

bool Worker::ours(xcb_window_t window) const
{
    return window > XCB_INPUT_FOCUS_POINTER_ROOT && (window & ~ownMask) == ownBase;
}

// Another application's window: not ours, not the sink, not nothing nor the window manager's (the
// focus in between two windows).
bool Worker::elsewhere(xcb_window_t window) const
{
    return window > XCB_INPUT_FOCUS_POINTER_ROOT && !ours(window) && window != m_sink &&
           std::find(roots.cbegin(), roots.cend(), window) == roots.cend() &&
           (window & ~ownMask) != m_hold->windowManagerBase;
}

xcb_atom_t Worker::atom(const char* name)
{
    const auto known = m_atoms.find(name);
    if (known != m_atoms.end())
        return known->second;
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr));
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    m_atoms.emplace(name, value);
    return value;
}

// The 32-bit values (windows, atoms) of a window's property; none when it has none.
std::vector<uint32_t> Worker::values(xcb_window_t window, const char* property)
{
    constexpr uint32_t longest = 1024;
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, longest),
        nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto* first = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<uint32_t>(first, first + xcb_get_property_value_length(reply.get()) / 4);
}

std::optional<uint32_t> Worker::windowManagerBase()
{
    const std::vector<uint32_t> check = values(roots.front(), "_NET_SUPPORTING_WM_CHECK");
    if (check.empty())
        return std::nullopt;
    return check.front() & ~ownMask;
}

// Whether the window manager has a window of another application to give the focus to once ours hid:
// one it lists that is neither a dock nor the desktop nor minimized.
bool Worker::anotherWindowToFocus()
{
    const auto holds = [](const std::vector<uint32_t>& list, xcb_atom_t value) {
        return std::find(list.cbegin(), list.cend(), value) != list.cend();
    };
    for (const xcb_window_t client : values(roots.front(), "_NET_CLIENT_LIST")) {
        if (ours(client))
            continue;
        const std::vector<uint32_t> types = values(client, "_NET_WM_WINDOW_TYPE");
        if (holds(types, atom("_NET_WM_WINDOW_TYPE_DOCK")) ||
            holds(types, atom("_NET_WM_WINDOW_TYPE_DESKTOP")))
            continue;
        if (!holds(values(client, "_NET_WM_STATE"), atom("_NET_WM_STATE_HIDDEN")))
            return true;
    }
    return false;
}

void Worker::report(const Report& report)
{
    writeFully(reports, &report, sizeof report);
}

void Worker::enableDetectableAutoRepeat()
{
    // Without it a held key sends a release before every repeated press; with it only presses
    // repeat, which the keys-down table absorbs. Servers that ignore it (Xvfb) are covered by that table.
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    if (!xkb || !xkb->present)
        return;
    XcbReply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
        nullptr));
    if (!use || !use->supported)
        return;
    const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    XcbReply<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
        connection, xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0),
        nullptr));
}

} // namespace

struct X11KeyGrabThread::Private {
    Worker worker;
    Pipe commands;
    Pipe answers;
    Pipe reports;
    std::thread thread;
    std::unique_ptr<QSocketNotifier> reportNotifier;
    PressHandler onPress;

    ~Private()
    {
        reportNotifier.reset();
        for (Pipe* pipe : {&commands, &answers, &reports})
            pipe->close();
        if (worker.connection)
            xcb_disconnect(worker.connection);
    }

    // Hands the command to the thread and waits for it to be done.
    void run(Command& command)
    {
        Command* sent = &command;
        char done = 0;
        if (writeFully(commands.write, &sent, sizeof sent))
            readFully(answers.read, &done, 1);
    }

    // Hands a notice to the thread without waiting.
    void send(Command::Kind kind)
    {
        auto* command = new Command{kind, {}, 0, {}};
        if (!writeFully(commands.write, &command, sizeof command))
            delete command;
    }

    void readReports()
    {
        Report report;
        while (::read(reports.read, &report, sizeof report) == ssize_t(sizeof report)) {
            if (report.kind == Report::Kind::dropped)
                qCInfo(lcKeyGrabs)
                    << report.dropped
                    << "key events typed after a global hotkey were dropped: no window of ours "
                       "took the focus";
            else if (onPress)
                onPress(report.press);
        }
    }
};

X11KeyGrabThread::X11KeyGrabThread(std::unique_ptr<Private> d)
    : d(std::move(d))
{
}

std::unique_ptr<X11KeyGrabThread> X11KeyGrabThread::start(uint32_t ownResourceBase, uint32_t ownResourceMask,
                                                          PressHandler onPress)
{
    auto d = std::make_unique<Private>();
    d->worker.connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(d->worker.connection))
        return nullptr;
    if (!d->commands.open() || !d->answers.open() || !d->reports.open())
        return nullptr;
    ::fcntl(d->reports.read, F_SETFL, O_NONBLOCK);
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(d->worker.connection)); it.rem;
         xcb_screen_next(&it))
        d->worker.roots.push_back(it.data->root);
    if (d->worker.roots.empty())
        return nullptr;
    d->worker.ownBase = ownResourceBase;
    d->worker.ownMask = ownResourceMask;
    d->worker.commands = d->commands.read;
    d->worker.answers = d->answers.write;
    d->worker.reports = d->reports.write;
    d->onPress = std::move(onPress);
    d->reportNotifier = std::make_unique<QSocketNotifier>(d->reports.read, QSocketNotifier::Read);
    Private* raw = d.get();
    QObject::connect(d->reportNotifier.get(), &QSocketNotifier::activated, d->reportNotifier.get(),
                     [raw] { raw->readReports(); });
    d->thread = std::thread([worker = &d->worker] { worker->run(); });
    return std::unique_ptr<X11KeyGrabThread>(new X11KeyGrabThread(std::move(d)));
}

X11KeyGrabThread::~X11KeyGrabThread()
{
    Command quit{Command::Kind::quit, {}, 0, {}};
    d->run(quit);
    d->thread.join();
}

QList<uint32_t> X11KeyGrabThread::roots() const
{
    return QList<uint32_t>(d->worker.roots.cbegin(), d->worker.roots.cend());
}

int X11KeyGrabThread::grab(const QList<X11KeyGrab>& keys, QList<X11KeyGrab>& granted)
{
    Command command{Command::Kind::grab, keys, 0, {}};
    d->run(command);
    granted = command.granted;
    return command.status;
}

void X11KeyGrabThread::ungrab(const QList<X11KeyGrab>& keys)
{
    Command command{Command::Kind::ungrab, keys, 0, {}};
    d->run(command);
}

void X11KeyGrabThread::pressHandled()
{
    d->send(Command::Kind::handled);
}

void X11KeyGrabThread::shortcutHidItsWindow()
{
    d->send(Command::Kind::hid);
}

} // namespace morvane
