#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/RecentlyActiveApplication.h"

#include <memory>

namespace morvane {

class CalendarEventService;
class Clock;
class ScriptRunner;
class Workspace;

// The event selected in Calendar; else, for Calendar and for Fantastical (after its own provider
// found nothing), the events around now to pick from, with a message for the quick panel.
class CalendarActiveContextProvider final : public ActiveContextProvider {
public:
    CalendarActiveContextProvider(std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts,
                                  std::shared_ptr<CalendarEventService> calendarEventService,
                                  std::shared_ptr<Clock> clock);

    QString providerName() const override { return QStringLiteral("Calendar"); }
    CaptureResult captureContexts() override;
    // The desktop's calendar application, whose events come from the calendar store.
    ApplicationReading readingOf(const QString& identifier) const override;

private:
    std::optional<CapturedContext> readCalendarSelection();

    std::shared_ptr<ScriptRunner> m_scripts;
    std::shared_ptr<CalendarEventService> m_calendarEventService;
    std::shared_ptr<Clock> m_clock;
    RecentlyActiveApplication m_lastCalendarApp;
};

} // namespace morvane
