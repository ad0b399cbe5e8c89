#include "services/PrivacyAccess.h"

#include "capture/CalendarEventService.h"
#include "capture/ContactService.h"
#include "platform/CalendarStore.h"
#include "platform/ContactStore.h"

#include <QPointer>

namespace morvane {

namespace {

QString calendarAccessText(CalendarAuthorizationStatus status)
{
    switch (status) {
    case CalendarAuthorizationStatus::notDetermined:
        return QStringLiteral("Not requested");
    case CalendarAuthorizationStatus::restricted:
        return QStringLiteral("Restricted");
    case CalendarAuthorizationStatus::denied:
        return QStringLiteral("Denied");
    case CalendarAuthorizationStatus::fullAccess:
        return QStringLiteral("Full access");
    case CalendarAuthorizationStatus::writeOnly:
        return QStringLiteral("Write-only");
    }
    return QStringLiteral("Unknown");
}

QString contactAccessText(ContactAuthorizationStatus status)
{
    switch (status) {
    case ContactAuthorizationStatus::notDetermined:
        return QStringLiteral("Not requested");
    case ContactAuthorizationStatus::restricted:
        return QStringLiteral("Restricted");
    case ContactAuthorizationStatus::denied:
        return QStringLiteral("Denied");
    case ContactAuthorizationStatus::authorized:
        return QStringLiteral("Authorized");
    case ContactAuthorizationStatus::limited:
        break;
    }
    return QStringLiteral("Unknown");
}

QString calendarStateText(CalendarAccessState state)
{
    switch (state) {
    case CalendarAccessState::fullAccess:
        return QStringLiteral("Full access");
    case CalendarAccessState::notRequested:
        return QStringLiteral("Not requested");
    case CalendarAccessState::writeOnly:
        return QStringLiteral("Write-only");
    case CalendarAccessState::denied:
        return QStringLiteral("Denied");
    case CalendarAccessState::restricted:
        return QStringLiteral("Restricted");
    case CalendarAccessState::unknown:
        break;
    }
    return QStringLiteral("Unknown");
}

QString contactStateText(ContactAccessState state)
{
    switch (state) {
    case ContactAccessState::authorized:
        return QStringLiteral("Authorized");
    case ContactAccessState::notDetermined:
        return QStringLiteral("Not requested");
    case ContactAccessState::denied:
        return QStringLiteral("Denied");
    case ContactAccessState::restricted:
        return QStringLiteral("Restricted");
    case ContactAccessState::unknown:
        break;
    }
    return QStringLiteral("Unknown");
}

} // namespace

PrivacyAccess::PrivacyAccess(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_calendarAccessStatus(calendarAccessText(m_services.calendarStore->authorizationStatus()))
    , m_contactAccessStatus(contactAccessText(m_services.contactStore->authorizationStatus()))
    , m_calendarAccessProblem(m_services.calendarStore->unavailableReason().value_or(QString()))
    , m_contactAccessProblem(m_services.contactStore->unavailableReason().value_or(QString()))
{
}

PrivacyAccess::~PrivacyAccess() = default;

void PrivacyAccess::refreshCalendarAccessStatus()
{
    m_calendarAccessStatus = calendarAccessText(m_services.calendarStore->authorizationStatus());
    m_calendarAccessProblem = m_services.calendarStore->unavailableReason().value_or(QString());
    emit calendarAccessStatusChanged();
}

void PrivacyAccess::refreshContactAccessStatus()
{
    m_contactAccessStatus = contactAccessText(m_services.contactStore->authorizationStatus());
    m_contactAccessProblem = m_services.contactStore->unavailableReason().value_or(QString());
    emit contactAccessStatusChanged();
}

QCoro::Task<void> PrivacyAccess::requestCalendarAccess()
{
    QPointer<PrivacyAccess> self(this);
    std::shared_ptr<CalendarEventService> service = m_services.calendarEventService;
    const CalendarAccessState state = co_await service->requestAccess();
    if (!self)
        co_return;
    m_calendarAccessStatus = calendarStateText(state);
    m_calendarAccessProblem = m_services.calendarStore->unavailableReason().value_or(QString());
    emit calendarAccessStatusChanged();
}

QCoro::Task<void> PrivacyAccess::requestContactAccess()
{
    QPointer<PrivacyAccess> self(this);
    std::shared_ptr<ContactService> service = m_services.contactService;
    const ContactAccessState state = co_await service->requestAccess();
    if (!self)
        co_return;
    m_contactAccessStatus = contactStateText(state);
    m_contactAccessProblem = m_services.contactStore->unavailableReason().value_or(QString());
    emit contactAccessStatusChanged();
}

} // namespace morvane
