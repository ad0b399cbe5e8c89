#include "CalendarStore.h"

namespace morvane {

CalendarAuthorizationStatus UnavailableCalendarStore::authorizationStatus() const
{
    return CalendarAuthorizationStatus::restricted;
}

std::optional<QString> UnavailableCalendarStore::unavailableReason() const
{
    return std::nullopt;
}

void UnavailableCalendarStore::requestFullAccess(AccessRequestCompletion completion)
{
    completion(false, std::nullopt);
}

QList<CalendarEvent> UnavailableCalendarStore::events(const QDateTime&, const QDateTime&) const
{
    return {};
}

std::optional<CalendarEvent> UnavailableCalendarStore::event(const QString&) const
{
    return std::nullopt;
}

bool UnavailableCalendarStore::waitUntilRead(std::chrono::milliseconds) const
{
    return true;
}

bool UnavailableCalendarStore::revealEvent(const CalendarEvent&)
{
    return false;
}

} // namespace morvane
