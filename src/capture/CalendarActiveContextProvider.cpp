#include "CalendarActiveContextProvider.h"

#include "capture/CalendarEventService.h"
#include "capture/CaptureText.h"
#include "capture/FantasticalLinks.h"
#include "capture/ProviderScript.h"
#include "foundation/Clock.h"
#include "foundation/IsoDate.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"

MORVANE_LOGGING_CATEGORY(lcCalendarContext, "CalendarContext")

namespace morvane {

namespace {

const QString calendarIdentifier = CalendarEventService::calendarIdentifier;

bool isCalendarApplication(const QString& identifier)
{
    return identifier == calendarIdentifier || isFantasticalIdentifier(identifier);
}

QString displayName(const QString& identifier)
{
    return identifier == calendarIdentifier ? QStringLiteral("Calendar") : QStringLiteral("Fantastical");
}

QString calendarSelectionScript()
{
    return statusWordScript(
        QStringLiteral("id \"com.apple.iCal\""),
        QStringLiteral("        set selectedEvents to selection\n"
                       "        if selectedEvents is {} then return \"empty\"\n"
                       "        set selectedEvent to item 1 of selectedEvents\n"
                       "        set eventTitle to summary of selectedEvent\n"
                       "        set eventUID to uid of selectedEvent\n"
                       "        set eventStart to start date of selectedEvent\n"
                       "        set eventEnd to end date of selectedEvent\n"
                       "        return eventTitle & %1 & eventUID & %1 & (eventStart as \u00ABclass "
                       "isot\u00BB as text) & %1 "
                       "& (eventEnd as \u00ABclass isot\u00BB as text)\n")
            .arg(scriptPayloadSeparator()));
}

} // namespace

CalendarActiveContextProvider::CalendarActiveContextProvider(
    std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts,
    std::shared_ptr<AccessibilityElements> accessibility,
    std::shared_ptr<CalendarEventService> calendarEventService, std::shared_ptr<Clock> clock)
    : m_scripts(std::move(scripts))
    , m_calendarEventService(std::move(calendarEventService))
    , m_clock(std::move(clock))
    , m_lastCalendarApp(workspace, RecentlyActiveApplication::Policy::lastApplicationInFront,
                        isCalendarApplication)
    , m_openedEvent(std::move(workspace), std::move(accessibility), calendarIdentifier,
                    &readOpenedCalendarEvent,
                    [service = m_calendarEventService](std::optional<ShownCalendarEvent> shown) {
                        return eventShown(*service, std::move(shown));
                    })
{
}

ApplicationReading CalendarActiveContextProvider::readingOf(const QString& identifier) const
{
    return identifier == calendarIdentifier ? ApplicationReading::direct : ApplicationReading::none;
}

CaptureResult CalendarActiveContextProvider::captureContexts()
{
    const std::optional<QString> application = m_lastCalendarApp.captureTarget();
    if (!application)
        return {};
    if (*application == calendarIdentifier) {
        if (std::optional<CapturedContext> opened = m_openedEvent.reading())
            return {{std::move(*opened)}, std::nullopt};
        // An event the window may have open is not known until its reading ends: neither it nor the
        // events around now are offered before.
        if (m_openedEvent.isReading())
            return {};
        if (std::optional<CapturedContext> selected = readCalendarSelection())
            return {{std::move(*selected)}, std::nullopt};
    }

    const QString name = displayName(*application);
    std::optional<QList<CalendarEvent>> aroundNow;
    {
        const std::lock_guard lock(m_aroundNow->mutex);
        aroundNow = m_aroundNow->events;
    }
    CalendarCaptureResult result = m_calendarEventService->eventsForCapture(name, aroundNow);
    switch (result.kind) {
    case CalendarCaptureResult::Kind::notReadYet:
        // The panel captures again each second.
        return {};
    case CalendarCaptureResult::Kind::accessRequested:
        return {{}, QStringLiteral("Calendar access requested. Approve it, then open Morvane again.")};
    case CalendarCaptureResult::Kind::accessDenied:
        if (m_calendarEventService->serviceCannotBeRead())
            return {{},
                    QStringLiteral("Calendar access is not available: the desktop's calendar service "
                                   "(Evolution Data Server) could not be read. Preferences says why.")};
        return {{},
                QStringLiteral("Calendar access is not available: this desktop runs no calendar service "
                               "(Evolution Data Server) that Morvane may read.")};
    case CalendarCaptureResult::Kind::noEvents:
        return {{},
                QStringLiteral("No ") + name +
                    QStringLiteral(" events found from the last 6 hours through the next 7 days.")};
    case CalendarCaptureResult::Kind::events:
        break;
    }
    return {std::move(result.events),
            QStringLiteral("Select a ") + name + QStringLiteral(" event to add or open.")};
}

QFuture<void> CalendarActiveContextProvider::refresh()
{
    QList<QFuture<void>> reads{m_openedEvent.refresh()};
    if (m_lastCalendarApp.captureTarget()) {
        reads.append(m_calendarEventService->eventsAroundNow(m_clock->now())
                         .then(QtFuture::Launch::Sync, [kept = m_aroundNow](QList<CalendarEvent> events) {
                             const std::lock_guard lock(kept->mutex);
                             kept->events = std::move(events);
                         }));
    }
    return QtFuture::whenAll(reads.begin(), reads.end())
        .then(QtFuture::Launch::Sync, [](const QList<QFuture<void>>&) {});
}

QFuture<std::optional<CapturedContext>>
CalendarActiveContextProvider::eventShown(const CalendarEventService& service,
                                          std::optional<ShownCalendarEvent> shown)
{
    if (!shown)
        return QtFuture::makeReadyFuture(std::optional<CapturedContext>());
    // The window writes the date in the locale's order: each day it may be is looked at.
    return service.eventsOnDays(shown->possibleDays())
        .then(QtFuture::Launch::Sync, [shown = *shown](const QList<CalendarEvent>& events) {
            std::optional<CalendarEvent> found;
            for (const CalendarEvent& event : events) {
                if (!shown.shows(event) || (found && found->identifier == event.identifier))
                    continue;
                if (found) {
                    qCInfo(lcCalendarContext) << "The event open in Calendar matches several events";
                    return std::optional<CapturedContext>();
                }
                found = event;
            }
            return found ? CalendarEventService::capturedContext(*found, QStringLiteral("Calendar"))
                         : std::nullopt;
        });
}

std::optional<CapturedContext> CalendarActiveContextProvider::readCalendarSelection()
{
    const QString answer =
        trimmedText(runProviderScript(*m_scripts, calendarSelectionScript(), lcCalendarContext(),
                                      QStringLiteral("Calendar selection AppleScript failed: %1"))
                        .value_or(QString()));
    if (answer.isEmpty() || scriptStatusWord(answer))
        return std::nullopt;
    const QStringList parts = payloadFields(answer);
    if (parts.size() != 4)
        return std::nullopt;
    // Calendar writes its dates in the internet form with fractional seconds and a zone.
    const std::optional<QDateTime> start = parseLibraryDate(parts[2]);
    const std::optional<QDateTime> end = parseLibraryDate(parts[3]);
    if (!start || !end)
        return std::nullopt;
    const QString uid = trimmedText(parts[1]);
    const SelectedCalendarEvent selection{trimmedText(parts[0]),
                                          uid.isEmpty() ? std::nullopt : std::optional(uid), *start, *end};
    return m_calendarEventService->matchSelectedEvent(selection, QStringLiteral("Calendar"));
}

} // namespace morvane
