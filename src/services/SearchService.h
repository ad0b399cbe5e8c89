#pragma once

#include <memory>

namespace morvane {

class CalendarEventService;
class ContactService;

// What the quick panel searches beside the library (which it searches through the store): the
// desktop's calendars and address books, either of which may be absent.
class SearchService {
public:
    SearchService(std::shared_ptr<CalendarEventService> calendarEventService,
                  std::shared_ptr<ContactService> contactService);

    CalendarEventService* calendarEventService() const { return m_calendarEventService.get(); }
    ContactService* contactService() const { return m_contactService.get(); }

private:
    std::shared_ptr<CalendarEventService> m_calendarEventService;
    std::shared_ptr<ContactService> m_contactService;
};

} // namespace morvane
