#include "FantasticalLinks.h"

#include "capture/LocatorQuery.h"
#include "foundation/Text.h"
#include "foundation/Uuid.h"

namespace morvane {

namespace {

std::optional<QString> normalizedIdentifier(const QString& identifier)
{
    const QString trimmed = trimmedText(identifier);
    if (!parseUuid(trimmed))
        return std::nullopt;
    return trimmed.toUpper();
}

} // namespace

bool isFantasticalIdentifier(const QString& identifier)
{
    return identifier.startsWith(QStringLiteral("com.flexibits.fantastical"), Qt::CaseInsensitive);
}

std::optional<QString> fantasticalItemUrl(const QString& itemIdentifier, const QString& calendarIdentifier)
{
    const std::optional<QString> item = normalizedIdentifier(itemIdentifier);
    const std::optional<QString> calendar = normalizedIdentifier(calendarIdentifier);
    if (!item || !calendar)
        return std::nullopt;
    return queryLocator(u"x-fantastical", u"show",
                        {{QStringLiteral("item"), *item}, {QStringLiteral("calendarIdentifier"), *calendar}});
}

QString fantasticalDayViewUrl(const QDateTime& date)
{
    // QDate counts in the proleptic Gregorian calendar.
    const QDate day = date.toLocalTime().date();
    return QStringLiteral("x-fantastical3://show/calendar/") +
           QString::asprintf("%04d-%02d-%02d", day.year(), day.month(), day.day());
}

} // namespace morvane
