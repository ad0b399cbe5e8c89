#include "X11Workspace.h"

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "platform/ApplicationNames.h"
#include "platform/DesktopSession.h"

#include <QHash>
#include <QSocketNotifier>
#include <QTimer>
#include <QtEndian>

#include <xcb/xcb.h>

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>

MORVANE_LOGGING_CATEGORY(lcWorkspace, "Workspace")

namespace morvane {

namespace {

using namespace std::chrono_literals;

// Window managers clear the active window between two windows (openbox on every switch, in the same
// millisecond as the new value). Only a clear that lasts this long means that nothing is in front.
constexpr auto clearedActiveWindowGrace = 250ms;

enum AtomIndex {
    netActiveWindow,
    netClientList,
    netWmPid,
    gtkApplicationId,
    kdeDesktopFile,
    netWmName,
    utf8String,
    gtkWindowObjectPath,
    atomCount
};

constexpr std::array<const char*, atomCount> atomNames{
    "_NET_ACTIVE_WINDOW",       "_NET_CLIENT_LIST", "_NET_WM_PID", "_GTK_APPLICATION_ID",
    "_KDE_NET_WM_DESKTOP_FILE", "_NET_WM_NAME",     "UTF8_STRING", "_GTK_WINDOW_OBJECT_PATH"};

// Replies and events of libxcb are allocated with malloc.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter>;

} // namespace

// The connection, its atoms and its socket watch.
class X11Workspace::Connection {
public:
    Connection()
    {
        // On a Wayland session this is Xwayland's display: its windows in front are known, a native
        // Wayland window in front is not (the active window is then none; the accessibility bus
        // names it).
        if (isWaylandSession())
            qCInfo(lcWorkspace) << "Wayland session: the X display names only the X11 windows in front";
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection)) {
            qCInfo(lcWorkspace) << "No X display: the application in front cannot be known";
            xcb_disconnect(m_connection);
            m_connection = nullptr;
            return;
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        internAtoms();
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
    }

    ~Connection()
    {
        notifier.reset();
        if (m_connection)
            xcb_disconnect(m_connection);
    }

    bool isOpen() const { return m_connection && !xcb_connection_has_error(m_connection); }
    int fileDescriptor() const { return xcb_get_file_descriptor(m_connection); }

    // Takes every event already received; true when one of them changed the active window.
    bool drainEvents(bool queuedOnly)
    {
        bool changed = false;
        while (xcb_generic_event_t* event =
                   queuedOnly ? xcb_poll_for_queued_event(m_connection) : xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                changed = changed || (notify->window == m_root && notify->atom == m_atoms[netActiveWindow]);
            }
            std::free(event);
        }
        return changed;
    }

    // The window the window manager names active; XCB_NONE when none or when it sets nothing.
    xcb_window_t activeWindow()
    {
        const QList<xcb_window_t> windows = windowList(m_root, m_atoms[netActiveWindow], 1);
        return windows.isEmpty() ? XCB_NONE : windows.first();
    }

    QList<xcb_window_t> clientWindows() { return windowList(m_root, m_atoms[netClientList], 4096); }

    // The application of each window. The requests go out together, then the replies are read.
    QList<RunningApplication> applicationsOf(const QList<xcb_window_t>& windows, const QString& ownIdentifier)
    {
        struct Cookies {
            xcb_get_property_cookie_t pid, gtkId, desktopFile, wmClass;
        };
        QList<Cookies> cookies;
        cookies.reserve(windows.size());
        for (const xcb_window_t window : windows) {
            cookies.append({request(window, m_atoms[netWmPid], XCB_ATOM_CARDINAL, 1),
                            request(window, m_atoms[gtkApplicationId], XCB_GET_PROPERTY_TYPE_ANY, 1024),
                            request(window, m_atoms[kdeDesktopFile], XCB_GET_PROPERTY_TYPE_ANY, 1024),
                            request(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 1024)});
        }
        QList<RunningApplication> applications;
        applications.reserve(windows.size());
        for (const Cookies& c : cookies) {
            RunningApplication application;
            const QByteArray pid = replyBytes(c.pid, 32);
            if (pid.size() == 4)
                application.processId = qFromUnaligned<quint32>(pid.constData());
            const QString gtkId = replyText(c.gtkId);
            QString desktopFile = replyText(c.desktopFile);
            const QList<QByteArray> wmClass = replyBytes(c.wmClass, 8).split('\0');
            if (application.processId != 0 && application.processId == ::getpid()) {
                application.identifier = ownIdentifier;
            } else if (!gtkId.isEmpty()) {
                application.identifier = identifierForApplicationName(gtkId);
                application.desktopId = gtkId;
            } else if (!desktopFile.isEmpty()) {
                if (desktopFile.endsWith(QStringLiteral(".desktop")))
                    desktopFile.chop(8);
                application.identifier = identifierForApplicationName(desktopFile);
                application.desktopId = desktopFile;
            } else if (wmClass.size() >= 2 && !wmClass[1].isEmpty()) {
                application.identifier = identifierForApplicationName(QString::fromLocal8Bit(wmClass[1]));
            }
            applications.append(application);
        }
        return applications;
    }

    // The window with its application, title and GTK object path; nothing when it is gone.
    std::optional<DesktopWindow> windowOf(xcb_window_t window, const QString& ownIdentifier)
    {
        if (window == XCB_NONE)
            return std::nullopt;
        const xcb_get_property_cookie_t netName =
            request(window, m_atoms[netWmName], m_atoms[utf8String], 4096);
        const xcb_get_property_cookie_t name =
            request(window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 4096);
        const xcb_get_property_cookie_t path =
            request(window, m_atoms[gtkWindowObjectPath], XCB_GET_PROPERTY_TYPE_ANY, 1024);
        const xcb_get_property_cookie_t wmClass = request(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 1024);
        DesktopWindow described;
        described.windowId = window;
        described.application = applicationsOf({window}, ownIdentifier).first();
        bool exists = true;
        described.title = replyText(netName, &exists);
        // WM_NAME is Latin-1 by the protocol and UTF-8 in practice; it stands in only without the other.
        const QString plainName = replyText(name);
        if (described.title.isEmpty())
            described.title = plainName;
        described.gtkObjectPath = replyText(path);
        // Instance name, then class, each ended by a zero byte.
        const QList<QByteArray> classNames = replyBytes(wmClass, 8).split('\0');
        if (classNames.size() >= 2)
            described.windowClass = QString::fromLocal8Bit(classNames[1]);
        return exists ? std::optional(described) : std::nullopt;
    }

    std::unique_ptr<QSocketNotifier> notifier;

private:
    void internAtoms()
    {
        std::array<xcb_intern_atom_cookie_t, atomCount> cookies{};
        for (int i = 0; i < atomCount; ++i)
            cookies[i] = xcb_intern_atom(m_connection, 0, std::strlen(atomNames[i]), atomNames[i]);
        for (int i = 0; i < atomCount; ++i) {
            Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection, cookies[i], nullptr));
            m_atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        }
    }

    xcb_get_property_cookie_t request(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                      uint32_t words)
    {
        return xcb_get_property(m_connection, 0, window, property, type, 0, words);
    }

    // The property's bytes when it is present with the given format; empty otherwise (a window
    // that is already gone answers with an error, which is dropped here).
    QByteArray replyBytes(xcb_get_property_cookie_t cookie, uint8_t format, bool* windowExists = nullptr)
    {
        xcb_generic_error_t* error = nullptr;
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection, cookie, &error));
        if (windowExists)
            *windowExists = error == nullptr;
        std::free(error);
        if (!reply || reply->format != format || reply->type == XCB_ATOM_NONE)
            return {};
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                          xcb_get_property_value_length(reply.get()));
    }

    QString replyText(xcb_get_property_cookie_t cookie, bool* windowExists = nullptr)
    {
        QByteArray bytes = replyBytes(cookie, 8, windowExists);
        const qsizetype end = bytes.indexOf('\0');
        if (end >= 0)
            bytes.truncate(end);
        return QString::fromUtf8(bytes);
    }

    QList<xcb_window_t> windowList(xcb_window_t window, xcb_atom_t property, uint32_t maxWindows)
    {
        const QByteArray bytes = replyBytes(request(window, property, XCB_ATOM_WINDOW, maxWindows), 32);
        QList<xcb_window_t> windows;
        for (qsizetype offset = 0; offset + 4 <= bytes.size(); offset += 4) {
            const auto id = qFromUnaligned<xcb_window_t>(bytes.constData() + offset);
            if (id != XCB_NONE)
                windows.append(id);
        }
        return windows;
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    std::array<xcb_atom_t, atomCount> m_atoms{};
};

X11Workspace::X11Workspace(QString ownIdentifier, const std::shared_ptr<Clock>& clock, QObject* parent)
    : Workspace(parent)
    , m_ownIdentifier(std::move(ownIdentifier))
    , m_clock(clock)
{
    // Not while the application starts: at the first question, or at the first turn of the event
    // loop, whichever comes first.
    QTimer::singleShot(0, this, [this] { connection(); });
}

X11Workspace::~X11Workspace() = default;

X11Workspace::Connection& X11Workspace::connection() const
{
    if (!m_x)
        const_cast<X11Workspace*>(this)->open();
    return *m_x;
}

void X11Workspace::open()
{
    m_x = std::make_unique<Connection>();
    if (!m_x->isOpen())
        return;
    m_clearedTimer = m_clock->makeTimer([this] { activeWindowCleared(); });
    m_x->notifier = std::make_unique<QSocketNotifier>(m_x->fileDescriptor(), QSocketNotifier::Read);
    connect(m_x->notifier.get(), &QSocketNotifier::activated, this, &X11Workspace::readEvents);
    m_x->drainEvents(false);
    if (const xcb_window_t window = m_x->activeWindow(); window != XCB_NONE) {
        m_front = m_x->applicationsOf({window}, m_ownIdentifier).first();
        m_frontWindow = window;
        if (m_front->identifier != m_ownIdentifier)
            m_windowBeforeOwn = window;
    }
}

bool X11Workspace::isAvailable() const
{
    return connection().isOpen();
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() const
{
    connection();
    return m_front;
}

std::optional<DesktopWindow> X11Workspace::frontWindow() const
{
    if (!connection().isOpen() || !m_front)
        return std::nullopt;
    return m_x->windowOf(m_frontWindow, m_ownIdentifier);
}

std::optional<DesktopWindow> X11Workspace::windowBeforeOwn() const
{
    if (!connection().isOpen())
        return std::nullopt;
    return m_x->windowOf(m_windowBeforeOwn, m_ownIdentifier);
}

QList<RunningApplication> X11Workspace::runningApplications() const
{
    if (!connection().isOpen())
        return {};
    QList<RunningApplication> running;
    for (const RunningApplication& application : m_x->applicationsOf(m_x->clientWindows(), m_ownIdentifier)) {
        if (!running.contains(application))
            running.append(application);
    }
    // Events that arrived during these requests wait in the connection's queue, where the socket
    // watch cannot see them.
    if (m_x->drainEvents(true))
        QMetaObject::invokeMethod(const_cast<X11Workspace*>(this), &X11Workspace::activeWindowMayHaveChanged,
                                  Qt::QueuedConnection);
    return running;
}

void X11Workspace::readEvents()
{
    const bool changed = m_x->drainEvents(false);
    if (!m_x->isOpen()) {
        // A closed socket stays readable: stop watching it, or this would spin.
        qCWarning(lcWorkspace) << "Lost the X display: the application in front is no longer known";
        m_x->notifier->setEnabled(false);
        m_clearedTimer->stop();
        m_front.reset();
        m_frontWindow = m_windowBeforeOwn = XCB_NONE;
        return;
    }
    if (changed)
        activeWindowMayHaveChanged();
}

xcb_window_t X11Workspace::currentActiveWindow()
{
    // Read after every queued change, so that a clear followed at once by the next window is read
    // as that window.
    xcb_window_t window = XCB_NONE;
    do {
        window = m_x->activeWindow();
    } while (m_x->drainEvents(true));
    return window;
}

void X11Workspace::activeWindowMayHaveChanged()
{
    if (!m_x->isOpen())
        return;
    const xcb_window_t window = currentActiveWindow();
    if (window == XCB_NONE) {
        if (m_front && !m_clearedTimer->isActive())
            m_clearedTimer->start(clearedActiveWindowGrace, false);
        return;
    }
    m_clearedTimer->stop();
    bringToFront(window);
}

void X11Workspace::activeWindowCleared()
{
    if (!m_x->isOpen())
        return;
    const xcb_window_t window = currentActiveWindow();
    if (window != XCB_NONE) {
        bringToFront(window);
        return;
    }
    // Nothing on this display has the keyboard: the desktop itself, or on a Wayland session a native
    // window, which this display cannot see. The window the user had before ours is no longer the
    // one in front, so no capture may read it, and the applications it belonged to hear so.
    m_frontWindow = m_windowBeforeOwn = XCB_NONE;
    const bool hadFront = m_front.has_value();
    m_front.reset();
    if (hadFront)
        emit applicationActivated(QString());
}

void X11Workspace::bringToFront(quint32 window)
{
    const RunningApplication application = m_x->applicationsOf({window}, m_ownIdentifier).first();
    m_frontWindow = window;
    // Our own windows come and go over the user's: the one before them is what a capture reads.
    if (application.identifier != m_ownIdentifier)
        m_windowBeforeOwn = window;
    const bool otherApplication = !m_front || m_front->identifier != application.identifier;
    m_front = application;
    if (otherApplication)
        emit applicationActivated(application.identifier);
}

} // namespace morvane
