#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/GnomeCalendarEventReader.h"
#include "capture/KeptWindowReading.h"
#include "capture/RecentlyActiveApplication.h"

#include <memory>
#include <mutex>

namespace morvane {

class AccessibilityElements;
class CalendarEventService;
class Clock;
class ScriptRunner;
class Workspace;

// The event selected in Calendar; else, for Calendar and for Fantastical (after its own provider
// found nothing), the events around now to pick from, with a message for the quick panel. On this
// desktop Calendar is GNOME Calendar: the event it has open (its popover or its editor) is read over
// the accessibility bus and found among the user's events at each refresh, off the main thread, which
// also reads the events around now.
class CalendarActiveContextProvider final : public ActiveContextProvider {
public:
    CalendarActiveContextProvider(std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts,
                                  std::shared_ptr<AccessibilityElements> accessibility,
                                  std::shared_ptr<CalendarEventService> calendarEventService,
                                  std::shared_ptr<Clock> clock);

    QString providerName() const override { return QStringLiteral("Calendar"); }
    CaptureResult captureContexts() override;
    QFuture<void> refresh() override;
    void distrustKeptReadings() override { m_openedEvent.distrust(); }
    // The desktop's calendar application, whose events come from the calendar store.
    ApplicationReading readingOf(const QString& identifier) const override;

private:
    std::optional<CapturedContext> readCalendarSelection();
    // On the accessibility thread: the one event that matches what GNOME Calendar has open.
    static QFuture<std::optional<CapturedContext>> eventShown(const CalendarEventService& service,
                                                              std::optional<ShownCalendarEvent> shown);

    std::shared_ptr<ScriptRunner> m_scripts;
    std::shared_ptr<CalendarEventService> m_calendarEventService;
    std::shared_ptr<Clock> m_clock;
    RecentlyActiveApplication m_lastCalendarApp;
    KeptWindowReading<ShownCalendarEvent, CapturedContext> m_openedEvent; // the event it names
    // The events around now as the last refresh read them, for the capture that follows it.
    struct AroundNow {
        std::mutex mutex;
        std::optional<QList<CalendarEvent>> events;
    };
    std::shared_ptr<AroundNow> m_aroundNow = std::make_shared<AroundNow>();
};

} // namespace morvane
