#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace morvane::test {

// One element of the portal's a(sa{sv}) shortcut lists.
struct FakePortalShortcut {
    QString id;
    QVariantMap properties;
};

inline QDBusArgument& operator<<(QDBusArgument& argument, const FakePortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, FakePortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace morvane::test

Q_DECLARE_METATYPE(morvane::test::FakePortalShortcut)

namespace morvane::test {

// A message bus of our own, with no activatable services: a desktop portal installed on the machine
// is never started by a test's question.
class PrivateMessageBus {
public:
    PrivateMessageBus()
    {
        const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        file.open(QIODevice::WriteOnly);
        // The socket goes to /tmp: a test's own folder can be too long for a socket's path.
        file.write(QStringLiteral("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                                  "<auth>EXTERNAL</auth><policy context=\"default\">"
                                  "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                                  "</policy></busconfig>")
                       .toUtf8());
        file.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                        QStringLiteral("--config-file=") + config});
        if (m_daemon.waitForReadyRead(10000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateMessageBus()
    {
        for (const QString& name : std::as_const(m_connections))
            QDBusConnection::disconnectFromBus(name);
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
    PrivateMessageBus(const PrivateMessageBus&) = delete;
    PrivateMessageBus& operator=(const PrivateMessageBus&) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QDBusConnection connect(const QString& name)
    {
        m_connections.append(name);
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

// The desktop portal's global shortcuts interface as a backend serves it, answering as the test
// says: the interface's version (none: the property is missing), then each CreateSession and
// BindShortcuts with a response code. A bound shortcut is given the keys in `keys`.
class FakeDesktopPortal : public QDBusVirtualObject {
public:
    using Shortcut = FakePortalShortcut;

    static inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
    static inline const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
    static inline const QString interface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

    explicit FakeDesktopPortal(QDBusConnection connection)
        : m_bus(std::move(connection))
    {
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<QList<Shortcut>>();
        m_bus.registerVirtualObject(path, this, QDBusConnection::SubPath);
        m_bus.registerService(service);
    }

    std::optional<uint> version = 1;
    uint createSessionAnswer = 0;
    uint bindAnswer = 0;
    QMap<QString, QString> keys;
    // Every method called, by name, in order.
    QStringList calls;

    QString sessionPath() const { return path + QStringLiteral("/session/1_2/morvane"); }

    void changeKeys(const QMap<QString, QString>& changed)
    {
        keys = changed;
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, QStringLiteral("ShortcutsChanged"));
        signal << QVariant::fromValue(QDBusObjectPath(sessionPath()))
               << QVariant::fromValue(described(m_bound));
        m_bus.send(signal);
    }
    void press(const QString& id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(sessionPath())) << id << quint64(0) << QVariantMap();
        m_bus.send(signal);
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        calls.append(message.member());
        const QList<QVariant> arguments = message.arguments();
        if (message.member() == QStringLiteral("Get")) {
            if (!version)
                m_bus.send(
                    message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("No such property")));
            else
                m_bus.send(message.createReply(QVariant::fromValue(QDBusVariant(*version))));
        } else if (message.member() == QStringLiteral("CreateSession")) {
            const QVariantMap options = qdbus_cast<QVariantMap>(arguments.value(0));
            QVariantMap results;
            if (createSessionAnswer == 0)
                results.insert(QStringLiteral("session_handle"), sessionPath());
            respond(message, options, createSessionAnswer, results);
        } else if (message.member() == QStringLiteral("BindShortcuts")) {
            m_bound = qdbus_cast<QList<Shortcut>>(arguments.value(1));
            const QVariantMap options = qdbus_cast<QVariantMap>(arguments.value(3));
            respond(message, options, bindAnswer,
                    {{QStringLiteral("shortcuts"), QVariant::fromValue(described(m_bound))}});
        } else {
            m_bus.send(message.createErrorReply(QDBusError::UnknownMethod, message.member()));
        }
        return true;
    }

private:
    QList<Shortcut> described(QList<Shortcut> shortcuts) const
    {
        for (Shortcut& shortcut : shortcuts)
            shortcut.properties.insert(QStringLiteral("trigger_description"), keys.value(shortcut.id));
        return shortcuts;
    }
    // The answer comes as a signal on the request object named after the caller and its token.
    void respond(const QDBusMessage& call, const QVariantMap& options, uint code, const QVariantMap& results)
    {
        QString sender = call.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString request = path + QStringLiteral("/request/") + sender + QLatin1Char('/') +
                                options.value(QStringLiteral("handle_token")).toString();
        m_bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage signal = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        signal << code << results;
        m_bus.send(signal);
    }

    QDBusConnection m_bus;
    QList<Shortcut> m_bound;
};

} // namespace morvane::test
