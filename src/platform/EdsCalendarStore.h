#pragma once

#include "platform/CalendarStore.h"

#include <memory>

namespace morvane {

class DesktopServices;
class EvolutionDataServer;
class ProcessLauncher;

// The desktop's calendars through Evolution Data Server. Linux asks no one for access: with the
// service there, access is full; without it, or when its calls fail, restricted. Reads come from the
// service's snapshot; only waitUntilRead waits for the service.
class EdsCalendarStore final : public CalendarStore {
public:
    EdsCalendarStore(std::shared_ptr<EvolutionDataServer> service, std::shared_ptr<DesktopServices> desktop,
                     std::shared_ptr<ProcessLauncher> launcher);

    // Not determined only while the bus has not yet said whether the service is there.
    CalendarAuthorizationStatus authorizationStatus() const override;
    // The service's failure, once a reading of its stores failed.
    std::optional<QString> unavailableReason() const override;
    // Completes as soon as the bus has said, granted when the service is there.
    void requestFullAccess(AccessRequestCompletion completion) override;
    QList<CalendarEvent> events(const QDateTime& start, const QDateTime& end) const override;
    std::optional<CalendarEvent> event(const QString& identifier) const override;
    bool waitUntilRead(std::chrono::milliseconds bound) const override;
    // GNOME Calendar at the event, else Evolution's editor of it.
    bool revealEvent(const CalendarEvent& event) override;

private:
    std::shared_ptr<EvolutionDataServer> m_service;
    std::shared_ptr<DesktopServices> m_desktop;
    std::shared_ptr<ProcessLauncher> m_launcher;
};

} // namespace morvane
