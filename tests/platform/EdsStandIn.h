#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace morvane {
class GLibLoopThread;
}

namespace morvane::test {

// A message bus of a test's own with no activatable services: nothing installed on the machine is
// started by a question asked on it.
class EdsPrivateBus {
public:
    EdsPrivateBus();
    ~EdsPrivateBus();
    EdsPrivateBus(const EdsPrivateBus&) = delete;
    EdsPrivateBus& operator=(const EdsPrivateBus&) = delete;

    // Empty when the daemon did not start.
    const QString& address() const { return m_address; }

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
};

// Evolution Data Server as the module speaks to it, on a bus of the test's own: the registry with one
// calendar and one address book, both factories, and the stores and views they open, answered from a
// thread of the stand-in's own. Any method can be made to fail (the service answers an error) or to be
// missing (the interface lacks it, as another revision of the service would).
class EdsStandIn {
public:
    struct Behaviour {
        QSet<QString> failing;    // method names that answer org.freedesktop.DBus.Error.Failed
        QSet<QString> missing;    // method names the interfaces lack
        QList<QByteArray> events; // the calendar's items, as iCalendar text
        QList<QByteArray> cards;  // the address book's, as vCards
    };
    static constexpr const char* calendarUid = "stand-in-calendar";
    static constexpr const char* bookUid = "stand-in-book";

    EdsStandIn(const QString& busAddress, Behaviour behaviour);
    ~EdsStandIn();
    EdsStandIn(const EdsStandIn&) = delete;
    EdsStandIn& operator=(const EdsStandIn&) = delete;

    // Whether it owns the service's names on the bus.
    bool isReady() const { return m_ready; }
    // From now on only these methods fail.
    void setFailing(const QSet<QString>& failing);
    // The registry reports a calendar added, as it does when one is made.
    void addCalendar(const QString& uid);

private:
    struct Service;
    std::shared_ptr<Service> d;
    std::unique_ptr<GLibLoopThread> m_thread;
    bool m_ready = false;
};

} // namespace morvane::test
