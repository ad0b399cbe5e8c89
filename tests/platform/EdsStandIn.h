#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

typedef struct _GTestDBus GTestDBus;

namespace morvane {
class GLibLoopThread;
}

namespace morvane::test {

// Evolution Data Server as the module speaks to it, on a message bus of its own that is the process's
// session bus while this lives (a bus with no activatable services: nothing installed on the machine
// is started by a question asked on it). The registry holds one calendar (named "Stand-in") and one
// address book (and, when asked, a broken one of each); both factories answer, and so do the stores and views
// they open. Answers come from a thread of the stand-in's own, so a test can answer strangely, or slowly,
// while the module waits. Any method can be made to fail (the service answers an error) or to be missing (the
// interfaces lack it, as another revision of the service would).
class EdsStandIn {
public:
    struct Behaviour {
        QSet<QString> failing;    // method names that answer org.freedesktop.DBus.Error.Failed
        QSet<QString> missing;    // method names the interfaces lack
        QList<QByteArray> events; // the calendar's items, as iCalendar text
        QList<QByteArray> cards;  // the address book's, as vCards
    };
    static constexpr const char* calendarUid = "stand-in-calendar";
    static constexpr const char* calendarName = "Stand-in";
    static constexpr const char* bookUid = "stand-in-book";
    static constexpr const char* calendarPath = "/org/gnome/evolution/dataserver/Calendar/StandIn";
    static constexpr const char* bookPath = "/org/gnome/evolution/dataserver/AddressBook/StandIn";
    static constexpr const char* brokenCalendarUid = "broken-calendar";
    static constexpr const char* brokenCalendarName = "Work Exchange";
    static constexpr const char* brokenBookUid = "broken-book";
    static constexpr const char* brokenBookName = "Old Contacts";
    static constexpr const char* brokenPath = "/org/gnome/evolution/dataserver/Broken";
    // What a broken source's failing call answers, as the service words it.
    static QString brokenMessage(const char* uid);

    explicit EdsStandIn(Behaviour behaviour = {});
    // The bus goes once the process's connection to it (which the module shares) went too; the next
    // one the process asks for is a new one.
    ~EdsStandIn();
    EdsStandIn(const EdsStandIn&) = delete;
    EdsStandIn& operator=(const EdsStandIn&) = delete;

    // Whether it owns the service's names on its bus.
    bool isReady() const { return m_ready; }

    // From now on the registry holds one more calendar and address book (the broken ones above) whose
    // call of this method fails as the service fails a source whose backend is not installed; their
    // other calls answer as the stand-in's own stores do.
    void addBrokenSources(const QByteArray& failingMethod);
    // From now on only these methods fail.
    void setFailing(const QSet<QString>& failing);
    // The VEVENTs the calendar lists from now on, and the VTIMEZONE it keeps for a TZID.
    void setEvents(const QList<QByteArray>& events);
    void keepZone(const QByteArray& tzid, const QByteArray& vtimezone);
    // What both factories answer to an opening from now on (by default the store's own path and this
    // service's unique name); either may be anything a string holds.
    void answerOpenWith(const QByteArray& path, const QByteArray& busName);
    // The registry reports a calendar added, as it does when one is made.
    void addCalendar(const QString& uid);
    // The registry reports the broken calendar's data changed (to what it was).
    void reportBrokenCalendarChanged();
    // The calendar's view tells its followers that events changed.
    void reportChange();

    // How many times a method was called, and waiting (at most wait) until it was called count times.
    int asked(const char* method) const;
    bool waitUntilAsked(const char* method, int count, std::chrono::milliseconds wait) const;

private:
    struct Service;

    QHash<QByteArray, std::optional<QByteArray>> m_environment; // as it was before
    GTestDBus* m_bus = nullptr;
    std::shared_ptr<Service> d;
    std::unique_ptr<GLibLoopThread> m_thread;
    bool m_ready = false;
};

} // namespace morvane::test
