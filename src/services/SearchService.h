#pragma once

#include "model/LinkItem.h"

#include <QFuture>
#include <QList>
#include <QString>

#include <memory>

namespace morvane {

class CalendarEventService;
class ContactService;
class LinkStore;

// Where the quick panel searches: the library on the store's thread, and the calendar and contact
// services it holds for the panel's own event and card searches (either may be absent).
class SearchService {
public:
    SearchService(LinkStore& store, std::shared_ptr<CalendarEventService> calendarEventService,
                  std::shared_ptr<ContactService> contactService);

    // The query as typed: blank gives the most recently used links, else the matches (at most 200
    // either way). A pure read, so it never waits behind file hashing.
    QFuture<QList<LinkItem>> searchLinks(const QString& query);

    LinkStore& store() const { return m_store; }
    CalendarEventService* calendarEventService() const { return m_calendarEventService.get(); }
    ContactService* contactService() const { return m_contactService.get(); }

private:
    LinkStore& m_store;
    std::shared_ptr<CalendarEventService> m_calendarEventService;
    std::shared_ptr<ContactService> m_contactService;
};

} // namespace morvane
