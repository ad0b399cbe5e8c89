#pragma once

#include "capture/CalendarEventReference.h"
#include "capture/RevealOutcome.h"
#include "capture/StoreReadWait.h"
#include "foundation/LifetimeToken.h"
#include "foundation/StoreExecutor.h"
#include "model/CapturedContext.h"
#include "model/LinkItem.h"
#include "platform/CalendarStore.h"

#include <QCoroTask>
#include <QDateTime>
#include <QFuture>
#include <QList>

#include <chrono>
#include <memory>
#include <optional>

namespace morvane {

class DesktopServices;
class ScriptRunner;
class UserDefaults;

// The answer of a request for calendar access, as the settings show it.
enum class CalendarAccessState { fullAccess, notRequested, writeOnly, denied, restricted, unknown };

// What a capture finds among the events around now.
struct CalendarCaptureResult {
    enum class Kind { accessRequested, accessDenied, notReadYet, noEvents, events };
    Kind kind = Kind::noEvents;
    QList<CapturedContext> events; // not empty exactly for events

    bool operator==(const CalendarCaptureResult&) const = default;
};

// The event the Calendar application reports as selected.
struct SelectedCalendarEvent {
    QString title;
    std::optional<QString> uid;
    QDateTime startDate;
    QDateTime endDate;
};

// The one door to the user's calendars: asks for access, lists the events around now for a capture,
// finds the event selected in Calendar, searches events, and shows a saved event in Fantastical or
// Calendar as the user chose. Main thread; the store is read on a thread of the service's own.
class CalendarEventService {
public:
    static inline const QString calendarIdentifier = QStringLiteral("com.apple.iCal");
    static constexpr int maxCaptureEvents = 24;
    static constexpr int maxSearchResults = 100;
    // How long an open waits for the calendars to be read (the first look at them reads them all).
    static constexpr std::chrono::milliseconds defaultReadBound{5000};

    CalendarEventService(std::shared_ptr<CalendarStore> store, std::shared_ptr<DesktopServices> desktop,
                         std::shared_ptr<ScriptRunner> scripts, std::shared_ptr<const UserDefaults> defaults,
                         std::chrono::milliseconds readBound = defaultReadBound);
    // Ends the reads: one waiting for the calendars gives up, those queued behind it find the
    // service ending and wait no more.
    ~CalendarEventService();
    CalendarEventService(const CalendarEventService&) = delete;
    CalendarEventService& operator=(const CalendarEventService&) = delete;

    // Asks the user when access was never asked for, then answers the status. Never throws.
    QCoro::Task<CalendarAccessState> requestAccess();

    // Whether the calendars are kept by a service that is there but cannot be read (rather than by none).
    bool serviceCannotBeRead() const;
    // The events around now that a capture offers, as eventsAroundNow read them (nothing when they
    // were not read yet), once access is granted.
    CalendarCaptureResult eventsForCapture(const QString& sourceApp,
                                           const std::optional<QList<CalendarEvent>>& aroundNow);
    // The first 24 events by start of the window from 6 hours before now to 7 days after; nothing
    // without access. Read on the reads' thread in what the store holds.
    QFuture<QList<CalendarEvent>> eventsAroundNow(const QDateTime& now) const;
    // The event within a day of the selection that it names; nothing without access.
    std::optional<CapturedContext> matchSelectedEvent(const SelectedCalendarEvent& selection,
                                                      const QString& sourceApp) const;
    // The events that overlap each of the days (local time), day after day, for a capture that matches
    // what an application shows; nothing without access. Read on the reads' thread in what the store
    // holds; may be asked from any thread.
    QFuture<QList<CalendarEvent>> eventsOnDays(const QList<QDate>& days) const;
    // Events from 10 years before now to 5 years after whose title, calendar, location or notes hold
    // the query (2 characters at least), nearest to now first, at most 100; searched on the reads'
    // thread in what the store holds, without waiting for more.
    QFuture<QList<CapturedContext>> searchEvents(const QString& query, const QString& sourceApp,
                                                 const QDateTime& now) const;
    // Nothing when the event has no locator (it is logged).
    static std::optional<CapturedContext> capturedContext(const CalendarEvent& event,
                                                          const QString& sourceApp);

    // Shows the saved event in the application the user chose, else in the desktop's calendar. The
    // event is looked up off the main thread, waiting for the calendars at most the read bound (then
    // it is not shown). Resumes on the main thread; the service may be gone by then (the event is then
    // not shown).
    QCoro::Task<RevealOutcome> open(LinkItem item);

private:
    enum class Access { granted, requested, denied };
    // Full access goes on; the first time access is undetermined, the user is asked (once per
    // process), without waiting for the answer.
    Access accessForCaptureOrOpen();
    bool hasFullAccess() const;
    RevealOutcome revealInCalendar(const CalendarEvent& event);
    bool runRevealScript(const QString& externalIdentifier);

    std::shared_ptr<CalendarStore> m_store;
    std::shared_ptr<DesktopServices> m_desktop;
    std::shared_ptr<ScriptRunner> m_scripts;
    std::shared_ptr<const UserDefaults> m_defaults;
    bool m_requestedAccess = false;
    std::chrono::milliseconds m_readBound;
    LifetimeToken m_lifetime; // answers to access requests are dropped once the service is gone
    StoreReadWait m_readWait;
    // Goes first: its last read holds no member. Mutable: reading is no change to the service.
    mutable StoreExecutor m_reads{"morvane-calendar-reads"};
};

} // namespace morvane
