#include "AccessibilityStatusWatch.h"

#include "platform/SessionBus.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>

namespace morvane {

namespace {

const QString launcherName = QStringLiteral("org.a11y.Bus");
const QString statusInterface = QStringLiteral("org.a11y.Status");

} // namespace

AccessibilityStatusWatch::AccessibilityStatusWatch(QObject* parent)
    : QObject(parent)
{
    if (!hasSessionBus())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Any sender on the launcher's path: naming the service would make Qt ask the bus for its owner
    // here, on the main thread.
    bus.connect(QString(), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("PropertiesChanged"), this,
                SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    auto* launcher =
        new QDBusServiceWatcher(launcherName, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(launcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &AccessibilityStatusWatch::switched);
}

void AccessibilityStatusWatch::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                                 const QStringList& invalidated)
{
    if (interface != statusInterface)
        return;
    if (changed.contains(QStringLiteral("IsEnabled")) ||
        changed.contains(QStringLiteral("ScreenReaderEnabled")) || !invalidated.isEmpty())
        emit switched();
}

} // namespace morvane
