#pragma once

// GLib's headers name struct members "signals", which Qt defines as a keyword: they come first.
#pragma push_macro("signals")
#undef signals
#include <libecal/libecal.h>
#pragma pop_macro("signals")

#include "platform/CalendarStore.h"
#include "platform/ContactStore.h"
#include "platform/EdsItemKey.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace morvane {

// The calendar an event comes from.
struct EdsCalendarSource {
    QString uid;
    QString displayName;
};

// What one expansion of a calendar's events produced.
struct EdsExpansion {
    QList<CalendarEvent> events;
    int truncatedSeries = 0; // repeating events cut at the per-series limit
};

// Occurrences of the calendar's VEVENTs that overlap [from, to]. A repeating event's occurrences are
// its own except those a detached instance (same uid, with a RECURRENCE-ID) replaces; times without a
// zone and all-day dates are read in defaultZone; zones named by TZID come from resolveZone. A series
// gives at most maxOccurrencesPerSeries occurrences.
EdsExpansion expandCalendarEvents(GSList* vevents, const EdsCalendarSource& source, const QDateTime& from,
                                  const QDateTime& to, ECalRecurResolveTimezoneCb resolveZone,
                                  gpointer resolveData, ICalTimezone* defaultZone);
inline constexpr int maxOccurrencesPerSeries = 10000;

// A card as an address book keeps it, with the name the user files it under (how lists sort cards).
struct EdsCard {
    ContactCard card;
    QString fileAs; // the card's own, else its full name
};

// The card a vCard (3.0, or 2.1 with quoted-printable values) describes; nothing for one without a
// uid. Values are read as the address book writes them: lines folded, text escaped, the structured
// name split into its parts.
std::optional<EdsCard> contactCard(QByteArrayView vcard, const QString& sourceUid);

} // namespace morvane
