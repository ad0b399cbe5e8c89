#include "services/SearchService.h"

namespace morvane {

SearchService::SearchService(std::shared_ptr<CalendarEventService> calendarEventService,
                             std::shared_ptr<ContactService> contactService)
    : m_calendarEventService(std::move(calendarEventService))
    , m_contactService(std::move(contactService))
{
}

} // namespace morvane
