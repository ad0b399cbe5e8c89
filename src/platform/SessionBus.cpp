#include "SessionBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QVariantMap>

#include <sys/stat.h>

namespace morvane {

namespace {

const QString busService = QStringLiteral("org.freedesktop.DBus");
const QString busPath = QStringLiteral("/org/freedesktop/DBus");

QVariant plainValue(const QVariant& value);

// A composite value as the bus marshals it, taken apart into lists and maps of plain values.
QVariant plainArgument(const QDBusArgument& argument)
{
    switch (argument.currentType()) {
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType:
        return plainValue(argument.asVariant());
    case QDBusArgument::ArrayType: {
        QVariantList items;
        argument.beginArray();
        while (!argument.atEnd())
            items.append(plainArgument(argument));
        argument.endArray();
        return items;
    }
    case QDBusArgument::StructureType: {
        QVariantList fields;
        argument.beginStructure();
        while (!argument.atEnd())
            fields.append(plainArgument(argument));
        argument.endStructure();
        return fields;
    }
    case QDBusArgument::MapType: {
        QVariantMap map;
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QString key = plainArgument(argument).toString();
            map.insert(key, plainArgument(argument));
            argument.endMapEntry();
        }
        argument.endMap();
        return map;
    }
    default:
        return {};
    }
}

QVariant plainValue(const QVariant& value)
{
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        return plainValue(value.value<QDBusVariant>().variant());
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return plainArgument(value.value<QDBusArgument>());
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (value.userType() == qMetaTypeId<QDBusSignature>())
        return value.value<QDBusSignature>().signature();
    return value;
}

std::optional<QVariant> firstResult(const QDBusMessage& message, std::chrono::milliseconds timeout)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    const QDBusMessage reply = bus.call(message, QDBus::Block, int(timeout.count()));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return plainValue(reply.arguments().constFirst());
}

} // namespace

bool hasSessionBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat status {};
    return !runtime.isEmpty() && ::stat((runtime + "/bus").constData(), &status) == 0 &&
           S_ISSOCK(status.st_mode);
}

std::optional<qint64> DBusSessionBus::ownerProcessId(const QString& name,
                                                     std::chrono::milliseconds timeout) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(busService, busPath, busService,
                                                          QStringLiteral("GetConnectionUnixProcessID"));
    message << name;
    const std::optional<QVariant> pid = firstResult(message, timeout);
    bool ok = false;
    const qint64 value = pid ? pid->toLongLong(&ok) : 0;
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

QStringList DBusSessionBus::namesWithPrefix(const QString& prefix, std::chrono::milliseconds timeout) const
{
    const QDBusMessage message =
        QDBusMessage::createMethodCall(busService, busPath, busService, QStringLiteral("ListNames"));
    const std::optional<QVariant> names = firstResult(message, timeout);
    QStringList matching;
    if (names) {
        for (const QString& name : names->toStringList()) {
            if (name.startsWith(prefix))
                matching.append(name);
        }
    }
    return matching;
}

std::optional<QVariant> DBusSessionBus::property(const BusObject& object, const QString& name,
                                                 std::chrono::milliseconds timeout) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(object.service, object.path,
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
    message << object.interface << name;
    return firstResult(message, timeout);
}

std::optional<QVariant> DBusSessionBus::call(const BusObject& object, const QString& method,
                                             const QVariantList& arguments,
                                             std::chrono::milliseconds timeout) const
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(object.service, object.path, object.interface, method);
    message.setArguments(arguments);
    return firstResult(message, timeout);
}

} // namespace morvane
