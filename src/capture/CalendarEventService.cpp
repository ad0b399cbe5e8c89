#include "CalendarEventService.h"

#include "capture/CalendarRevealTarget.h"
#include "capture/CaptureText.h"
#include "capture/FantasticalLinks.h"
#include "capture/MainThreadAnswer.h"
#include "capture/ProviderScript.h"
#include "capture/TextMatching.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"
#include "foundation/Uuid.h"
#include "platform/DesktopServices.h"

#include <QCoroFuture>
#include <QPromise>

#include <algorithm>
#include <cmath>

MORVANE_LOGGING_CATEGORY(lcCalendarEvents, "CalendarEvents")

namespace morvane {

namespace {

// Two events are the same when their starts and their ends are each less than this apart.
constexpr double matchToleranceSeconds = 60;

CalendarAccessState accessState(CalendarAuthorizationStatus status)
{
    switch (status) {
    case CalendarAuthorizationStatus::fullAccess:
        return CalendarAccessState::fullAccess;
    case CalendarAuthorizationStatus::notDetermined:
        return CalendarAccessState::notRequested;
    case CalendarAuthorizationStatus::writeOnly:
        return CalendarAccessState::writeOnly;
    case CalendarAuthorizationStatus::denied:
        return CalendarAccessState::denied;
    case CalendarAuthorizationStatus::restricted:
        return CalendarAccessState::restricted;
    }
    return CalendarAccessState::unknown;
}

// Calendar days of the user's time zone: seven days ahead is the same wall-clock time even across a
// change to or from summer time. A date the calendar cannot reach falls back to the one given.
QDateTime addingDays(const QDateTime& date, int days)
{
    const QDateTime moved = date.toLocalTime().addDays(days);
    return moved.isValid() ? moved : date;
}

QDateTime addingYears(const QDateTime& date, int years)
{
    const QDateTime moved = date.toLocalTime().addYears(years);
    return moved.isValid() ? moved : date;
}

double secondsOf(const QDateTime& date)
{
    return double(date.toMSecsSinceEpoch()) / 1000.0;
}

// By the external identifier when one is given and the event has it, else by the same title with
// start and end each less than a minute off.
bool matches(const CalendarEvent& event, const std::optional<QString>& externalIdentifier,
             const QString& title, double startTime, double endTime)
{
    if (externalIdentifier && event.externalIdentifier == externalIdentifier)
        return true;
    return event.title == title && std::abs(secondsOf(event.startDate) - startTime) < matchToleranceSeconds &&
           std::abs(secondsOf(event.endDate) - endTime) < matchToleranceSeconds;
}

// The store's event the reference names, by identifier, else the first within a day of its dates that
// it matches.
std::optional<CalendarEvent> findEvent(const CalendarStore& store, const CalendarEventReference& reference)
{
    if (std::optional<CalendarEvent> event = store.event(reference.identifier))
        return event;
    for (const CalendarEvent& event :
         store.events(addingDays(reference.startDate(), -1), addingDays(reference.endDate(), 1))) {
        if (matches(event, reference.externalIdentifier, reference.title, reference.startTime,
                    reference.endTime))
            return event;
    }
    return std::nullopt;
}

// On the reads' thread: a service that has not read the calendars within the bound, or is ending,
// has no event.
std::optional<CalendarEvent> findEventWithin(const CalendarStore& store,
                                             const CalendarEventReference& reference,
                                             const StoreReadWait& readWait, std::chrono::milliseconds bound)
{
    if (!readWait.wait([&store](std::chrono::milliseconds step) { return store.waitUntilRead(step); },
                       bound)) {
        if (!readWait.closed())
            qCWarning(lcCalendarEvents) << "The calendars were not read within" << bound.count() << "ms";
        return std::nullopt;
    }
    return findEvent(store, reference);
}

QString searchText(const CalendarEvent& event)
{
    QString text = event.title;
    for (const std::optional<QString>* part : {&event.calendarTitle, &event.location, &event.notes}) {
        if (*part)
            text += u' ' + **part;
    }
    return text;
}

std::optional<QString> nonEmpty(const std::optional<QString>& text)
{
    return text && !text->isEmpty() ? text : std::nullopt;
}

std::optional<CapturedContext> eventContext(const CalendarEvent& event, const QString& sourceApp)
{
    const std::optional<QString> locator = CalendarEventReference::fromEvent(event).locator();
    if (!locator) {
        qCInfo(lcCalendarEvents) << "Ignored calendar event without a stable identifier";
        return std::nullopt;
    }
    const QString title = trimmedText(event.title);
    return CapturedContext{title.isEmpty() ? CalendarEventReference::defaultTitle : title, *locator,
                           LinkType::calendar, sourceApp, std::nullopt};
}

// On the reads' thread: the events of the search window that hold the needle, nearest to now first.
QList<CapturedContext> eventsHolding(const CalendarStore& store, const QString& needle,
                                     const QString& sourceApp, const QDateTime& now)
{
    const TextNeedle searched(needle);
    QList<CalendarEvent> found;
    for (const CalendarEvent& event : store.events(addingYears(now, -10), addingYears(now, 5))) {
        if (searched.isIn(searchText(event)))
            found.append(event);
    }
    const qint64 nowMs = now.toMSecsSinceEpoch();
    const auto distance = [nowMs](const CalendarEvent& event) {
        return std::abs(event.startDate.toMSecsSinceEpoch() - nowMs);
    };
    std::stable_sort(found.begin(), found.end(), [&](const CalendarEvent& a, const CalendarEvent& b) {
        return distance(a) < distance(b);
    });
    QList<CapturedContext> contexts;
    const qsizetype kept = std::min<qsizetype>(found.size(), CalendarEventService::maxSearchResults);
    for (const CalendarEvent& event : found.first(kept)) {
        if (std::optional<CapturedContext> context = eventContext(event, sourceApp))
            contexts.append(std::move(*context));
    }
    return contexts;
}

// The event in Fantastical: the item itself when the link names it, else its day.
QCoro::Task<bool> openInFantastical(std::shared_ptr<DesktopServices> desktop, CalendarEvent event,
                                    CalendarEventReference reference)
{
    if (reference.fantasticalItemID && reference.fantasticalCalendarID) {
        if (const std::optional<QString> item =
                fantasticalItemUrl(*reference.fantasticalItemID, *reference.fantasticalCalendarID)) {
            QFuture<bool> opening = desktop->openUrl(*item);
            if (co_await opening)
                co_return true;
        }
    }
    QFuture<bool> opening = desktop->openUrl(fantasticalDayViewUrl(event.startDate));
    if (!co_await opening)
        co_return false;
    qCInfo(lcCalendarEvents) << "Opened Fantastical day view for calendar event without Fantastical item IDs";
    co_return true;
}

} // namespace

CalendarEventService::CalendarEventService(std::shared_ptr<CalendarStore> store,
                                           std::shared_ptr<DesktopServices> desktop,
                                           std::shared_ptr<ScriptRunner> scripts,
                                           std::shared_ptr<const UserDefaults> defaults,
                                           std::chrono::milliseconds readBound)
    : m_store(std::move(store))
    , m_desktop(std::move(desktop))
    , m_scripts(std::move(scripts))
    , m_defaults(std::move(defaults))
    , m_readBound(readBound)
{
}

CalendarEventService::~CalendarEventService()
{
    m_readWait.close();
}

QCoro::Task<CalendarAccessState> CalendarEventService::requestAccess()
{
    if (m_store->authorizationStatus() == CalendarAuthorizationStatus::notDetermined) {
        auto answered = std::make_shared<QPromise<void>>();
        answered->start();
        const QFuture<void> answer = answered->future();
        m_store->requestFullAccess(
            firstAnswerOnMainThread(m_lifetime.watch(), [answered](bool, std::optional<QString> error) {
                if (error)
                    qCInfo(lcCalendarEvents).noquote() << "Calendar access request failed:" << *error;
                answered->finish();
            }));
        const LifetimeToken::Watch alive = m_lifetime.watch();
        co_await answer;
        if (!alive)
            co_return CalendarAccessState::unknown;
    }
    co_return accessState(m_store->authorizationStatus());
}

CalendarEventService::Access CalendarEventService::accessForCaptureOrOpen()
{
    switch (m_store->authorizationStatus()) {
    case CalendarAuthorizationStatus::fullAccess:
        return Access::granted;
    case CalendarAuthorizationStatus::notDetermined:
        if (!m_requestedAccess) {
            m_requestedAccess = true;
            m_store->requestFullAccess(
                firstAnswerOnMainThread(m_lifetime.watch(), [](bool granted, std::optional<QString> error) {
                    if (error)
                        qCInfo(lcCalendarEvents).noquote() << "Calendar access request failed:" << *error;
                    else if (!granted)
                        qCInfo(lcCalendarEvents) << "Calendar access was not granted";
                }));
        }
        return Access::requested;
    default:
        return Access::denied;
    }
}

bool CalendarEventService::hasFullAccess() const
{
    return m_store->authorizationStatus() == CalendarAuthorizationStatus::fullAccess;
}

bool CalendarEventService::serviceCannotBeRead() const
{
    return m_store->unavailableReason().has_value();
}

CalendarCaptureResult
CalendarEventService::eventsForCapture(const QString& sourceApp,
                                       const std::optional<QList<CalendarEvent>>& aroundNow)
{
    switch (accessForCaptureOrOpen()) {
    case Access::requested:
        return {CalendarCaptureResult::Kind::accessRequested, {}};
    case Access::denied:
        return {CalendarCaptureResult::Kind::accessDenied, {}};
    case Access::granted:
        break;
    }
    if (!aroundNow)
        return {CalendarCaptureResult::Kind::notReadYet, {}};
    QList<CapturedContext> contexts;
    for (const CalendarEvent& event : *aroundNow) {
        if (std::optional<CapturedContext> context = capturedContext(event, sourceApp))
            contexts.append(std::move(*context));
    }
    if (contexts.isEmpty())
        return {CalendarCaptureResult::Kind::noEvents, {}};
    return {CalendarCaptureResult::Kind::events, std::move(contexts)};
}

QFuture<QList<CalendarEvent>> CalendarEventService::eventsAroundNow(const QDateTime& now) const
{
    if (!hasFullAccess())
        return QtFuture::makeReadyFuture(QList<CalendarEvent>());
    return m_reads.submit([store = m_store, now] {
        QList<CalendarEvent> events = store->events(now.addSecs(-6 * 3600), addingDays(now, 7));
        std::stable_sort(events.begin(), events.end(), [](const CalendarEvent& a, const CalendarEvent& b) {
            return a.startDate < b.startDate;
        });
        return events.first(std::min<qsizetype>(events.size(), maxCaptureEvents));
    });
}

std::optional<CapturedContext>
CalendarEventService::matchSelectedEvent(const SelectedCalendarEvent& selection,
                                         const QString& sourceApp) const
{
    if (!hasFullAccess())
        return std::nullopt;
    const double start = secondsOf(selection.startDate);
    const double end = secondsOf(selection.endDate);
    // The store is read on the service's thread, as every read is (a read here raced the ones queued
    // there). Only a calendar application that answers a script selects an event this way, and none
    // does on Linux, so no one waits here in practice.
    const QList<CalendarEvent> nearby =
        m_reads
            .submit([store = m_store, from = addingDays(selection.startDate, -1),
                     to = addingDays(selection.endDate, 1)] { return store->events(from, to); })
            .result();
    for (const CalendarEvent& event : nearby) {
        if (matches(event, nonEmpty(selection.uid), selection.title, start, end))
            return capturedContext(event, sourceApp);
    }
    return std::nullopt;
}

QFuture<QList<CalendarEvent>> CalendarEventService::eventsOnDays(const QList<QDate>& days) const
{
    if (!hasFullAccess())
        return QtFuture::makeReadyFuture(QList<CalendarEvent>());
    return m_reads.submit([store = m_store, days] {
        QList<CalendarEvent> events;
        for (const QDate& day : days) {
            const QDateTime start = day.startOfDay();
            events.append(store->events(start, start.addDays(1)));
        }
        return events;
    });
}

QFuture<QList<CapturedContext>>
CalendarEventService::searchEvents(const QString& query, const QString& sourceApp, const QDateTime& now) const
{
    QString needle = trimmedText(query);
    if (graphemeCount(needle) < 2 || !hasFullAccess())
        return QtFuture::makeReadyFuture(QList<CapturedContext>());
    return m_reads.submit([store = m_store, needle = std::move(needle), sourceApp, now] {
        return eventsHolding(*store, needle, sourceApp, now);
    });
}

std::optional<CapturedContext> CalendarEventService::capturedContext(const CalendarEvent& event,
                                                                     const QString& sourceApp)
{
    return eventContext(event, sourceApp);
}

QCoro::Task<RevealOutcome> CalendarEventService::open(LinkItem item)
{
    if (item.type != LinkType::calendar)
        co_return RevealOutcome::notShown;
    const std::optional<CalendarEventReference> reference = CalendarEventReference::fromLocator(item.url);
    if (!reference || accessForCaptureOrOpen() != Access::granted)
        co_return RevealOutcome::notShown;
    const LifetimeToken::Watch alive = m_lifetime.watch();
    QFuture<std::optional<CalendarEvent>> finding =
        m_reads.submit([store = m_store, reference = *reference, readWait = m_readWait, bound = m_readBound] {
            return findEventWithin(*store, reference, readWait, bound);
        });
    const std::optional<CalendarEvent> found = co_await finding;
    if (!alive)
        co_return RevealOutcome::notShown;
    if (!found) {
        qCCritical(lcCalendarEvents).noquote()
            << "Unable to resolve calendar event link" << uuidString(item.id);
        co_return RevealOutcome::notShown;
    }
    bool fantasticalFirst = false;
    switch (storedCalendarRevealTarget(*m_defaults)) {
    case CalendarRevealTarget::automatic:
        fantasticalFirst = isFantasticalInstalled(*m_desktop);
        break;
    case CalendarRevealTarget::fantastical:
        fantasticalFirst = true;
        break;
    case CalendarRevealTarget::appleCalendar:
        break;
    }
    if (fantasticalFirst) {
        QCoro::Task<bool> opening = openInFantastical(m_desktop, *found, *reference);
        const bool shown = co_await std::move(opening);
        if (shown)
            co_return RevealOutcome::shown;
        if (!alive)
            co_return RevealOutcome::notShown;
    }
    co_return revealInCalendar(*found);
}

RevealOutcome CalendarEventService::revealInCalendar(const CalendarEvent& event)
{
    if (const std::optional<QString> uid = nonEmpty(event.externalIdentifier); uid && runRevealScript(*uid))
        return RevealOutcome::shown;
    // Where no script reaches the calendar application, the store knows the application that keeps
    // its events (GNOME Calendar, else Evolution) and how to start it at one.
    if (m_store->revealEvent(event))
        return RevealOutcome::shown;
    if (!m_desktop->applicationPath(calendarIdentifier)) {
        qCCritical(lcCalendarEvents) << "Unable to locate GNOME Calendar or Evolution";
        return RevealOutcome::noApplication;
    }
    // Calendar comes to the front without showing the event.
    return m_desktop->launchApplication(calendarIdentifier) ? RevealOutcome::shown : RevealOutcome::notShown;
}

bool CalendarEventService::runRevealScript(const QString& externalIdentifier)
{
    const QString script = QStringLiteral("tell application id \"com.apple.iCal\"\n"
                                          "    repeat with calendarItem in calendars\n"
                                          "        try\n"
                                          "            set matchingEvents to every event of calendarItem "
                                          "whose uid is %1\n"
                                          "            if matchingEvents is not {} then\n"
                                          "                show item 1 of matchingEvents\n"
                                          "                activate\n"
                                          "                return \"ok\"\n"
                                          "            end if\n"
                                          "        end try\n"
                                          "    end repeat\n"
                                          "end tell")
                               .arg(scriptStringLiteral(externalIdentifier));
    return runProviderScript(*m_scripts, script, lcCalendarEvents(),
                             QStringLiteral("Unable to reveal Calendar event: %1")) == QStringLiteral("ok");
}

} // namespace morvane
