#pragma once

#include "platform/AccessibilityApi.h"
#include "platform/CalendarStore.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QTime>

#include <optional>

namespace morvane {

// The event GNOME Calendar shows opened, in its popover or its editor, as the window writes it: the
// title, the numbers of the start's date in the desktop's short date form (day, month and year in
// the locale's order), the start's time unless the event lasts all day, and the calendar where the
// window names it (the editor does, the popover does not).
struct ShownCalendarEvent {
    QString title;
    QList<int> dateNumbers;
    std::optional<QTime> startTime;
    std::optional<QString> calendarTitle;

    bool operator==(const ShownCalendarEvent&) const = default;

    // The days the date may be, whichever order the locale writes day, month and year in.
    QList<QDate> possibleDays() const;
    // The event has this title, starts (in local time) on the shown day at the shown time, and is in
    // the shown calendar.
    bool shows(const CalendarEvent& event) const;
};

// Inside an accessibility job: the event the process's GNOME Calendar has open, the editor before a
// popover; nothing when none is open or the process is not on the bus.
//
// GTK 4 names an element without a label after its widget type. The editor is a dialog holding a
// "GcalSummarySection" (its first text field is the title), a "GcalDateSelector" per date and a
// "GtkSpinButton" per hour and minute, and the calendar's menu button whose last label is the
// calendar. A popover ("GcalEventPopover") is a child of the event's "GcalEventWidget", whose
// description is the title and, on the next line, the start's date and time.
std::optional<ShownCalendarEvent> readOpenedCalendarEvent(const AccessibilityElements& api, qint64 processId);

} // namespace morvane
