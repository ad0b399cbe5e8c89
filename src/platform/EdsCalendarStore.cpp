#include "EdsCalendarStore.h"

#include "platform/DesktopServices.h"
#include "platform/EdsItemKey.h"
#include "platform/EvolutionDataServer.h"
#include "platform/ProcessLauncher.h"

#include <QUrl>

namespace morvane {

EdsCalendarStore::EdsCalendarStore(std::shared_ptr<EvolutionDataServer> service,
                                   std::shared_ptr<DesktopServices> desktop,
                                   std::shared_ptr<ProcessLauncher> launcher)
    : m_service(std::move(service))
    , m_desktop(std::move(desktop))
    , m_launcher(std::move(launcher))
{
}

CalendarAuthorizationStatus EdsCalendarStore::authorizationStatus() const
{
    switch (m_service->calendarPresence()) {
    case EvolutionDataServer::Presence::present:
        // A service whose calls all fail is as good as none; one store that fails hides none of the
        // others.
        return m_service->calendarFailure() ? CalendarAuthorizationStatus::restricted
                                            : CalendarAuthorizationStatus::fullAccess;
    case EvolutionDataServer::Presence::absent:
        return CalendarAuthorizationStatus::restricted;
    case EvolutionDataServer::Presence::unknown:
        break;
    }
    return CalendarAuthorizationStatus::notDetermined;
}

std::optional<QString> EdsCalendarStore::unavailableReason() const
{
    return m_service->calendarProblem();
}

void EdsCalendarStore::requestFullAccess(AccessRequestCompletion completion)
{
    // Held weakly: the answer waits inside the service until the bus has said.
    m_service->whenPresenceKnown(
        [completion = std::move(completion), weak = std::weak_ptr(m_service)](auto calendars, auto) {
            const std::shared_ptr<EvolutionDataServer> service = weak.lock();
            completion(calendars == EvolutionDataServer::Presence::present && service &&
                           !service->calendarFailure(),
                       std::nullopt);
        });
}

QList<CalendarEvent> EdsCalendarStore::events(const QDateTime& start, const QDateTime& end) const
{
    const std::shared_ptr<const EvolutionDataServer::Snapshot> snapshot = m_service->snapshot();
    // Compared as instants: comparing a local time converts it through the C library's zone on every
    // comparison, which reads the zone file each time.
    const qint64 from = start.toMSecsSinceEpoch();
    const qint64 to = end.toMSecsSinceEpoch();
    QList<CalendarEvent> overlapping;
    for (const CalendarEvent& event : snapshot->events) {
        if (event.startDate.toMSecsSinceEpoch() <= to && event.endDate.toMSecsSinceEpoch() >= from)
            overlapping.append(event);
    }
    return overlapping;
}

std::optional<CalendarEvent> EdsCalendarStore::event(const QString& identifier) const
{
    const std::shared_ptr<const EvolutionDataServer::Snapshot> snapshot = m_service->snapshot();
    const auto found = snapshot->eventIndex.constFind(identifier);
    if (found == snapshot->eventIndex.cend())
        return std::nullopt;
    return snapshot->events[*found];
}

bool EdsCalendarStore::waitUntilRead(std::chrono::milliseconds bound) const
{
    return m_service->waitUntilLoaded(EvolutionDataServer::Load::calendars, bound);
}

bool EdsCalendarStore::revealEvent(const CalendarEvent& event)
{
    const std::optional<EdsItemKey> key = parseEdsItemIdentifier(event.identifier);
    if (!key)
        return false;
    // GNOME Calendar names an event by its calendar's uid and its own, and an occurrence by its
    // recurrence id after them, all joined by colons.
    QString gnomeCalendarId = key->sourceUid + u':' + key->uid;
    if (key->recurrenceId)
        gnomeCalendarId += u':' + *key->recurrenceId;
    if (m_desktop->applicationPath(QStringLiteral("org.gnome.Calendar")) &&
        m_launcher->startDetached(QStringLiteral("gnome-calendar"),
                                  {QStringLiteral("--uuid"), gnomeCalendarId}))
        return true;
    if (m_desktop->applicationPath(QStringLiteral("org.gnome.Evolution"))) {
        QString uri = QStringLiteral("calendar:///?source-uid=") + QUrl::toPercentEncoding(key->sourceUid) +
                      QStringLiteral("&comp-uid=") + QUrl::toPercentEncoding(key->uid);
        if (key->recurrenceId)
            uri += QStringLiteral("&comp-rid=") + QUrl::toPercentEncoding(*key->recurrenceId);
        return m_launcher->startDetached(QStringLiteral("evolution"), {uri});
    }
    return false;
}

} // namespace morvane
