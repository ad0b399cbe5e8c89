#pragma once

#include "platform/GlobalShortcutsPortal.h"

#include <QDBusConnection>

class QDBusMessage;

#include <functional>

namespace morvane {

// The desktop portal's org.freedesktop.portal.GlobalShortcuts on the session bus. It asks for the
// interface's version at once; where the portal answers, each wanted set is bound in a session of
// its own (CreateSession, then BindShortcuts; each answered by a Request's Response signal) and
// the session's Activated signals become activated(). Every call is asynchronous and bounded.
//
// The desktop holds the shortcuts only once a set was bound: a portal that lists the interface can
// still refuse the session (the KDE backend, picked by the portal on another desktop, answers
// CreateSession with a failure), and then the user must bind the commands themselves. So the state
// stays "asking" until the first binding is answered, and any failure makes it "unavailable" for
// good: the window system's grabs stay, and nothing is asked of the desktop again.
//
// Two habits of the KDE backend shape the calls: it reads the shortcuts from CreateSession's
// options, so they go into both calls; and it names the shortcuts' group in its settings after the
// session's handle token when the application has no sandbox app id, so the token is fixed and the
// user's own keys survive a restart.
class DBusGlobalShortcutsPortal : public GlobalShortcutsPortal {
    Q_OBJECT
public:
    // The interface version Morvane needs: sessions, binding and activation.
    static constexpr uint neededVersion = 1;

    // connection: the session bus unless a test gives its own.
    explicit DBusGlobalShortcutsPortal(QObject* parent = nullptr);
    explicit DBusGlobalShortcutsPortal(const QDBusConnection& connection, QObject* parent = nullptr);
    ~DBusGlobalShortcutsPortal() override;

    State state() const override { return m_state; }
    void bindShortcuts(const QList<PortalShortcut>& shortcuts) override;
    QMap<QString, QString> triggerDescriptions() const override { return m_triggers; }

private slots:
    void onActivated(const QDBusMessage& message);
    void onShortcutsChanged(const QDBusMessage& message);

private:
    using Response = std::function<void(uint code, const QVariantMap& results)>;

    void askVersion();
    void setState(State state);
    void rebind();
    void createSession(quint64 generation);
    void bind(quint64 generation);
    void bindingEnded(quint64 generation);
    void closeSession();
    // Sends a portal call whose answer comes as a Response signal on a request object.
    void request(QDBusMessage call, QVariantMap options, Response response);
    void takeTriggers(const QVariant& shortcuts);
    void logFailureOnce(const QString& what);
    // The desktop will not hold the shortcuts: stop asking it.
    void giveUp(const QString& why);

    QDBusConnection m_bus;
    State m_state = State::asking;
    bool m_versionAnswered = false;
    QList<PortalShortcut> m_wanted;
    // Each wanted set is one generation; answers for an older one are dropped.
    quint64 m_generation = 0;
    QString m_session;
    bool m_binding = false; // a CreateSession or BindShortcuts is in flight
    QMap<QString, QString> m_triggers;
    quint64 m_requestCount = 0;
    bool m_failureLogged = false;
};

} // namespace morvane
