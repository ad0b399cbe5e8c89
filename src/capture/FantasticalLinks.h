#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace morvane {

// Every edition of Fantastical has an identifier beginning "com.flexibits.fantastical", in any case.
bool isFantasticalIdentifier(const QString& identifier);

// "x-fantastical://show?item=ITEM&calendarIdentifier=CALENDAR" with both UUIDs in upper case;
// nothing unless each identifier, trimmed, is a UUID in 8-4-4-4-12 form.
std::optional<QString> fantasticalItemUrl(const QString& itemIdentifier, const QString& calendarIdentifier);

// "x-fantastical3://show/calendar/yyyy-MM-dd": the day on which the date falls here, named in the
// Gregorian calendar with ASCII digits whatever calendar and digits the user's locale has.
QString fantasticalDayViewUrl(const QDateTime& date);

} // namespace morvane
