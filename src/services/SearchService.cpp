#include "services/SearchService.h"

#include "store/LinkStore.h"

namespace morvane {

SearchService::SearchService(LinkStore& store, std::shared_ptr<CalendarEventService> calendarEventService,
                             std::shared_ptr<ContactService> contactService)
    : m_store(store)
    , m_calendarEventService(std::move(calendarEventService))
    , m_contactService(std::move(contactService))
{
}

QFuture<QList<LinkItem>> SearchService::searchLinks(const QString& query)
{
    return m_store.searchLinks(query);
}

} // namespace morvane
