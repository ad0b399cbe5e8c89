#pragma once

// A calendar's events as Evolution Data Server lists them, expanded into occurrences with libical,
// without the service's client libraries.

#include "platform/CalendarStore.h"
#include "platform/EdsItemKey.h"

#include <libical/ical.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace morvane {

// The calendar an event comes from.
struct EdsCalendarSource {
    QString uid;
    QString displayName;
};

// What one expansion of a calendar's events produced.
struct EdsExpansion {
    QList<CalendarEvent> events;
    int truncatedSeries = 0;  // repeating events cut at the per-series limit
    int cutSeries = 0;        // repeating events with a rule left unread or stopped at maxRuleStepsPerSeries
    QStringList refusedZones; // TZIDs whose VTIMEZONE the calendar has but that were refused
};

// The user's zone, for floating times and all-day dates: the system's, as one of libical's built-in
// zones, else UTC. Never null; libical owns it.
icaltimezone* userTimeZone();

// The VTIMEZONE text a calendar keeps for a TZID that is not one of libical's built-in zones; empty when
// it has none. Called on the expanding thread, at most once per TZID and expansion (it may ask the
// calendar service).
using EdsZoneLookup = std::function<QByteArray(const char* tzid)>;

// Occurrences of a calendar's VEVENTs (each one component's iCalendar text, as the calendar service
// lists them) that overlap [from, to]. A repeating event's occurrences are its own except those a
// detached instance (same uid, with a RECURRENCE-ID) replaces. Zones named by TZID are libical's
// built-in ones, else what zoneText gives; times without a zone and all-day dates are read in
// defaultZone, as are those naming a zone the calendar keeps but whose rules libical could not afford
// (rules giving thousands of changes up to the years libical reads, once rules that start before 1601
// are read from a start moved forward by whole 400-year cycles; listed in refusedZones). A numbered
// weekday in a daily or finer rule leaves that rule unread. Occurrences, their ends and their names follow
// the rules the calendar applications have always expanded events by, so identifiers the library keeps stay
// valid. A series gives at most maxOccurrencesPerSeries occurrences; a text that does not parse gives none.
EdsExpansion expandCalendarEvents(const QList<QByteArrayView>& vevents, const EdsCalendarSource& source,
                                  const QDateTime& from, const QDateTime& to, const EdsZoneLookup& zoneText,
                                  icaltimezone* defaultZone);
inline constexpr int maxOccurrencesPerSeries = 10000;
// The steps libical's iterator takes for one series at most before the window, and again in it, each
// for its rules and again for its exclusion rules: a daily series in a zone with summer time that began
// in 1750 reaches a window from 2016 on (97,500 days before it) and is read through it whatever rule
// excludes some of its days.
inline constexpr int maxRuleStepsPerSeries = 100000;

} // namespace morvane
