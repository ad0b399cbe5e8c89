#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <memory>

namespace morvane {

class CalendarEventService;
class CalendarStore;
class ContactService;
class ContactStore;

// What the user allowed the application to read of their calendars and contacts, as the words the
// Preferences window shows, and the requests for that access. Main thread only.
class PrivacyAccess : public QObject {
    Q_OBJECT
public:
    struct Services {
        std::shared_ptr<CalendarEventService> calendarEventService;
        std::shared_ptr<ContactService> contactService;
        std::shared_ptr<CalendarStore> calendarStore; // for the current access status
        std::shared_ptr<ContactStore> contactStore;
    };

    explicit PrivacyAccess(Services services, QObject* parent = nullptr);
    ~PrivacyAccess() override;

    QString calendarAccessStatus() const { return m_calendarAccessStatus; }
    QString contactAccessStatus() const { return m_contactAccessStatus; }
    // Why the store cannot be read although the desktop has one (its service failed); empty when it
    // can, or has none. Follows the status.
    QString calendarAccessProblem() const { return m_calendarAccessProblem; }
    QString contactAccessProblem() const { return m_contactAccessProblem; }
    void refreshCalendarAccessStatus();
    void refreshContactAccessStatus();
    QCoro::Task<void> requestCalendarAccess();
    QCoro::Task<void> requestContactAccess();

signals:
    void calendarAccessStatusChanged();
    void contactAccessStatusChanged();

private:
    Services m_services;
    QString m_calendarAccessStatus;
    QString m_contactAccessStatus;
    QString m_calendarAccessProblem;
    QString m_contactAccessProblem;
};

} // namespace morvane
