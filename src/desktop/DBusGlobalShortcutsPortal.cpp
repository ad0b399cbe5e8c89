#include "DBusGlobalShortcutsPortal.h"

#include "foundation/Logging.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QTimer>

MORVANE_LOGGING_CATEGORY(lcShortcutsPortal, "GlobalShortcutsPortal")

namespace morvane {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString sessionToken = QStringLiteral("morvane");
// The first call may start the portal and its backend.
constexpr int callTimeoutMs = 10000;
// A backend may ask the user before it binds.
constexpr int responseTimeoutMs = 60000;
// The portal's response codes besides 0 (success): the user cancelled, or something else failed.
constexpr uint responseOther = 2;

// One element of the portal's a(sa{sv}) shortcut lists.
struct ShortcutData {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const ShortcutData& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ShortcutData& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

// Waits for the Response signal of one request object, for a bounded time. The signal is
// subscribed before the call goes out: the portal may answer before the call's own reply arrives.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(uint code, const QVariantMap& results)>;

    PortalRequest(const QDBusConnection& bus, const QString& path, Done done, QObject* parent)
        : QObject(parent)
        , m_bus(bus)
        , m_path(path)
        , m_done(std::move(done))
    {
        m_bus.connect(portalService, m_path, requestInterface, QStringLiteral("Response"), this,
                      SLOT(response(uint, QVariantMap)));
        QTimer::singleShot(responseTimeoutMs, this, [this] { finish(responseOther, {}); });
    }

    void fail() { finish(responseOther, {}); }

public slots:
    void response(uint code, const QVariantMap& results) { finish(code, results); }

private:
    void finish(uint code, const QVariantMap& results)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_bus.disconnect(portalService, m_path, requestInterface, QStringLiteral("Response"), this,
                         SLOT(response(uint, QVariantMap)));
        m_done(code, results);
        deleteLater();
    }

    QDBusConnection m_bus;
    QString m_path;
    Done m_done;
    bool m_finished = false;
};

} // namespace morvane

Q_DECLARE_METATYPE(morvane::ShortcutData)

namespace morvane {

namespace {

QList<ShortcutData> shortcutData(const QList<PortalShortcut>& shortcuts)
{
    QList<ShortcutData> data;
    for (const PortalShortcut& shortcut : shortcuts)
        data.append({shortcut.id,
                     {{QStringLiteral("description"), shortcut.description},
                      {QStringLiteral("preferred_trigger"), shortcut.preferredTrigger}}});
    return data;
}

QString objectPathText(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

} // namespace

DBusGlobalShortcutsPortal::DBusGlobalShortcutsPortal(QObject* parent)
    : DBusGlobalShortcutsPortal(QDBusConnection::sessionBus(), parent)
{
}

DBusGlobalShortcutsPortal::DBusGlobalShortcutsPortal(const QDBusConnection& connection, QObject* parent)
    : GlobalShortcutsPortal(parent)
    , m_bus(connection)
{
    qDBusRegisterMetaType<ShortcutData>();
    qDBusRegisterMetaType<QList<ShortcutData>>();
    if (!m_bus.isConnected()) {
        m_state = State::unavailable;
        logFailureOnce(QStringLiteral("no session bus"));
        return;
    }
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(onActivated(QDBusMessage)));
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("ShortcutsChanged"), this,
                  SLOT(onShortcutsChanged(QDBusMessage)));
    askVersion();
}

DBusGlobalShortcutsPortal::~DBusGlobalShortcutsPortal() = default;

void DBusGlobalShortcutsPortal::askVersion()
{
    QDBusMessage ask = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    ask << shortcutsInterface << QStringLiteral("version");
    auto* answer = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, callTimeoutMs), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (reply.isError())
            return giveUp(reply.error().message());
        bool isNumber = false;
        const uint version = reply.value().variant().toUInt(&isNumber);
        if (!isNumber || version < neededVersion)
            return giveUp(
                QStringLiteral("the portal's version is %1").arg(reply.value().variant().toString()));
        qCInfo(lcShortcutsPortal) << "The desktop's global shortcuts portal is version" << version;
        m_versionAnswered = true;
        if (!m_wanted.isEmpty())
            rebind();
    });
}

void DBusGlobalShortcutsPortal::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

void DBusGlobalShortcutsPortal::bindShortcuts(const QList<PortalShortcut>& shortcuts)
{
    m_wanted = shortcuts;
    ++m_generation;
    if (m_versionAnswered && m_state != State::unavailable)
        rebind();
}

void DBusGlobalShortcutsPortal::giveUp(const QString& why)
{
    logFailureOnce(why);
    closeSession();
    if (!m_triggers.isEmpty()) {
        m_triggers.clear();
        emit triggerDescriptionsChanged();
    }
    setState(State::unavailable);
}

// A session binds its shortcuts once: a new set takes a new session. One session is made at a time,
// since each has the same handle, and so the same object path, as the one before. The desktop's keys
// are kept until it answers: they are its keys still, and what a recorder shows while it listens.
void DBusGlobalShortcutsPortal::rebind()
{
    if (m_binding)
        return; // the call in flight notices the newer set when it ends
    closeSession();
    if (m_wanted.isEmpty())
        return;
    m_binding = true;
    createSession(m_generation);
}

void DBusGlobalShortcutsPortal::bindingEnded(quint64 generation)
{
    m_binding = false;
    if (generation != m_generation && m_state != State::unavailable)
        rebind();
}

void DBusGlobalShortcutsPortal::createSession(quint64 generation)
{
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface,
                                                       QStringLiteral("CreateSession"));
    QVariantMap options{{QStringLiteral("session_handle_token"), sessionToken},
                        {QStringLiteral("shortcuts"), QVariant::fromValue(shortcutData(m_wanted))}};
    request(call, options, [this, generation](uint code, const QVariantMap& results) {
        const QString session = objectPathText(results.value(QStringLiteral("session_handle")));
        if (code != 0 || session.isEmpty()) {
            giveUp(QStringLiteral("CreateSession answered %1").arg(code));
            bindingEnded(generation);
            return;
        }
        m_session = session;
        if (generation != m_generation) {
            bindingEnded(generation);
            return;
        }
        bind(generation);
    });
}

void DBusGlobalShortcutsPortal::bind(quint64 generation)
{
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface,
                                                       QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(shortcutData(m_wanted))
         << QString();
    request(call, {}, [this, generation](uint code, const QVariantMap& results) {
        if (code != 0)
            giveUp(QStringLiteral("BindShortcuts answered %1").arg(code));
        else if (generation == m_generation) {
            qCInfo(lcShortcutsPortal) << "Bound" << m_wanted.size() << "shortcuts through the desktop";
            takeTriggers(results.value(QStringLiteral("shortcuts")));
            setState(State::available);
            emit shortcutsBound();
        }
        bindingEnded(generation);
    });
}

void DBusGlobalShortcutsPortal::closeSession()
{
    if (m_session.isEmpty())
        return;
    // Not awaited: the portal drops a session whose owner is gone anyway.
    m_bus.send(
        QDBusMessage::createMethodCall(portalService, m_session, sessionInterface, QStringLiteral("Close")));
    m_session.clear();
}

void DBusGlobalShortcutsPortal::request(QDBusMessage call, QVariantMap options, Response response)
{
    const QString token = QStringLiteral("morvane%1").arg(++m_requestCount);
    options.insert(QStringLiteral("handle_token"), token);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    auto* pending =
        new PortalRequest(m_bus, portalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token,
                          std::move(response), this);
    call << options;
    auto* answer = new QDBusPendingCallWatcher(m_bus.asyncCall(call, callTimeoutMs), pending);
    connect(answer, &QDBusPendingCallWatcher::finished, pending,
            [this, pending](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (!call->isError())
                    return;
                logFailureOnce(call->error().message());
                pending->fail();
            });
}

void DBusGlobalShortcutsPortal::takeTriggers(const QVariant& shortcuts)
{
    if (!shortcuts.canConvert<QDBusArgument>())
        return;
    QMap<QString, QString> triggers;
    for (const ShortcutData& shortcut : qdbus_cast<QList<ShortcutData>>(shortcuts.value<QDBusArgument>()))
        triggers.insert(shortcut.id,
                        shortcut.properties.value(QStringLiteral("trigger_description")).toString());
    if (triggers == m_triggers)
        return;
    m_triggers = triggers;
    emit triggerDescriptionsChanged();
}

void DBusGlobalShortcutsPortal::onActivated(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || m_session.isEmpty() || objectPathText(arguments.at(0)) != m_session)
        return;
    emit activated(arguments.at(1).toString());
}

void DBusGlobalShortcutsPortal::onShortcutsChanged(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || m_session.isEmpty() || objectPathText(arguments.at(0)) != m_session)
        return;
    takeTriggers(arguments.at(1));
}

void DBusGlobalShortcutsPortal::logFailureOnce(const QString& what)
{
    if (m_failureLogged)
        return;
    m_failureLogged = true;
    qCWarning(lcShortcutsPortal).noquote()
        << "Global shortcuts through the desktop portal are not available:" << what;
}

} // namespace morvane

#include "DBusGlobalShortcutsPortal.moc"
#include "moc_DBusGlobalShortcutsPortal.cpp"
