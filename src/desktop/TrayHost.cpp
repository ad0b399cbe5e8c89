#include "desktop/TrayHost.h"

#include "desktop/X11Display.h"
#include "foundation/Logging.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace morvane {

MORVANE_LOGGING_CATEGORY(lcTrayHost, "TrayHost")

namespace {

constexpr int pollMilliseconds = 1000;
const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

// The screen part of DISPLAY (":0.1" → 1), which names the tray's selection.
int screenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.lastIndexOf('.');
    const qsizetype colon = display.lastIndexOf(':');
    return dot > colon ? display.mid(dot + 1).toInt() : 0;
}

xcb_atom_t traySelection(xcb_connection_t* connection)
{
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber());
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, name.size(), name.constData()),
                              nullptr),
        &free);
    return atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t selectionOwner(xcb_connection_t* connection, xcb_atom_t selection)
{
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr),
        &free);
    return owner ? owner->owner : 0;
}

} // namespace

DesktopTrayHost::DesktopTrayHost(QObject* parent)
    : TrayHost(parent)
{
    if (xcb_connection_t* connection = applicationX11Connection()) {
        m_traySelection = traySelection(connection);
        m_xembedOwner = selectionOwner(connection, m_traySelection);
        m_poll.setInterval(pollMilliseconds);
        connect(&m_poll, &QTimer::timeout, this, &DesktopTrayHost::pollXembed);
        m_poll.start();
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto* watcher = new QDBusServiceWatcher(watcherName, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                // A new watcher knows no icon: ours must register with it again.
                setStatusNotifierHost(false);
                if (!newOwner.isEmpty())
                    askStatusNotifierWatcher();
            });
    bus.connect(watcherName, watcherPath, watcherName, QStringLiteral("StatusNotifierHostRegistered"), this,
                SLOT(askStatusNotifierWatcher()));
    askStatusNotifierWatcher();
}

void DesktopTrayHost::pollXembed()
{
    const xcb_window_t owner = selectionOwner(applicationX11Connection(), m_traySelection);
    if (owner == m_xembedOwner)
        return;
    m_xembedOwner = owner;
    if (owner != 0)
        emit arrived();
}

// Asked without waiting: a watcher that hangs must not hold the window's thread.
void DesktopTrayHost::askStatusNotifierWatcher()
{
    QDBusMessage ask = QDBusMessage::createMethodCall(
        watcherName, watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    ask << watcherName << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* answer = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(ask, 2000), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        setStatusNotifierHost(!reply.isError() && reply.value().variant().toBool());
    });
}

void DesktopTrayHost::setStatusNotifierHost(bool registered)
{
    if (registered == m_statusNotifierHost)
        return;
    m_statusNotifierHost = registered;
    qCInfo(lcTrayHost) << (registered ? "A status notifier host is registered"
                                      : "The status notifier host left");
    if (registered)
        emit arrived();
}

} // namespace morvane
