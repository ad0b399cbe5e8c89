#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GTestDBus GTestDBus;
typedef struct _GVariant GVariant;
typedef struct _GDBusMethodInvocation GDBusMethodInvocation;

namespace morvane {
class GLibLoopThread;
}

namespace morvane::test {

// The calendar service as the reader meets it, on a message bus of its own (whose address this sets
// as the session bus's for the process while it lives): a registry holding one enabled calendar, the
// calendar factory, the calendar (its events and the zones it keeps) and a view of it. Answers come
// from a thread of its own, so a test can hold one back, or answer strangely, while the reader waits.
class EdsStandInService {
public:
    EdsStandInService();
    ~EdsStandInService();
    EdsStandInService(const EdsStandInService&) = delete;
    EdsStandInService& operator=(const EdsStandInService&) = delete;

    bool isRunning() const { return m_service != nullptr; }

    // What the factory answers to OpenCalendar (default: the calendar's own path and this service's
    // unique name); either may be anything a string holds.
    void answerOpenWith(const QByteArray& path, const QByteArray& busName);
    // The VEVENTs the calendar lists from now on, and the VTIMEZONE it keeps for a TZID.
    void setEvents(const QList<QByteArray>& events);
    void keepZone(const QByteArray& tzid, const QByteArray& vtimezone);
    // Tells the view's followers that events changed.
    void reportChange();

    // How many times each was asked, and waiting (at most wait) until one was asked count times.
    int asked(const char* method) const;
    bool waitUntilAsked(const char* method, int count, std::chrono::milliseconds wait) const;

    static constexpr const char* calendarPath = "/org/gnome/evolution/dataserver/Calendar/StandIn";
    static constexpr const char* viewPath = "/org/gnome/evolution/dataserver/CalendarView/StandIn";

private:
    struct Calls;
    void start();
    static void onMethod(GDBusConnection* connection, const char* sender, const char* path,
                         const char* interface, const char* method, GVariant* arguments,
                         GDBusMethodInvocation* invocation, void* self);

    GTestDBus* m_bus = nullptr;
    QHash<QByteArray, QByteArray> m_environment; // as it was before
    std::unique_ptr<GLibLoopThread> m_thread;
    GDBusConnection* m_service = nullptr;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_asked;
    QHash<QByteArray, int> m_calls;
    QByteArray m_openPath;
    QByteArray m_openBusName;
    QList<QByteArray> m_events;
    QHash<QByteArray, QByteArray> m_zones;
};

} // namespace morvane::test
