#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace morvane {

struct CalendarEvent;

// What a saved calendar event keeps of the event: enough to find it again after its identifier
// changed, and to show it in a list without asking the calendar store. Its locator is
//   morvane-calendar://event?id=…&externalID=…&fantasticalItem=…&fantasticalCalendar=…&title=…&start=…&end=…
// with the empty items left out and the times in seconds since 1970 UTC.
struct CalendarEventReference {
    static inline const QString scheme = QStringLiteral("morvane-calendar");
    static inline const QString host = QStringLiteral("event");
    static inline const QString defaultTitle = QStringLiteral("Calendar event");

    QString identifier; // the calendar store's identifier; never empty in a reference read from a locator
    std::optional<QString> externalIdentifier;
    std::optional<QString> fantasticalItemID;
    std::optional<QString> fantasticalCalendarID;
    QString title;
    // Seconds since 1970-01-01 00:00 UTC, kept to full double precision so that a locator read and
    // written again comes out the same.
    double startTime = 0;
    double endTime = 0;

    bool operator==(const CalendarEventReference&) const = default;

    static CalendarEventReference fromEvent(const CalendarEvent& event);
    // Nothing when the text is not a calendar locator: scheme and host other than exactly the ones
    // above, no "id", or a "start" or "end" that is not a decimal number of seconds within the years
    // 1 to 9999.
    static std::optional<CalendarEventReference> fromLocator(const QString& text);

    // Nothing when the reference could not be read back from it: no identifier, or a time outside
    // the years 1 to 9999.
    std::optional<QString> locator() const;
    // The date line shown under the event (eventDateLine).
    QString subtitle() const;

    QDateTime startDate() const;
    QDateTime endDate() const;
};

} // namespace morvane
