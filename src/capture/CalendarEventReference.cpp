#include "CalendarEventReference.h"

#include "capture/EventDateLine.h"
#include "capture/LocatorQuery.h"
#include "platform/CalendarStore.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>

namespace morvane {

namespace {

// 0001-01-01T00:00:00Z up to, not including, 10000-01-01T00:00:00Z: the instants that date
// arithmetic, formatters and the day links all handle.
constexpr double earliestSeconds = -62135596800.0;
constexpr double latestSecondsExcluded = 253402300800.0;

bool isWithinDateRange(double seconds)
{
    return std::isfinite(seconds) && seconds >= earliestSeconds && seconds < latestSecondsExcluded;
}

// The shortest fixed-notation text that reads back as the same double, with ".0" for whole seconds.
std::optional<QString> secondsText(double seconds)
{
    if (!isWithinDateRange(seconds))
        return std::nullopt;
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    if (error != std::errc())
        return std::nullopt;
    QString text = QString::fromLatin1(buffer, end - buffer);
    if (!text.contains(u'.'))
        text += QStringLiteral(".0");
    return text;
}

// A decimal number (sign, digits, fraction, exponent) and nothing else: no spaces, no "nan", "inf"
// or hexadecimal, all of which a general double reader takes.
std::optional<double> secondsFromText(const QString& text)
{
    static const QRegularExpression decimal(
        QStringLiteral("\\A[+-]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?\\z"));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    const QByteArray latin = text.toLatin1();
    const char* begin = latin.constData() + (latin.startsWith('+') ? 1 : 0);
    const char* end = latin.constData() + latin.size();
    double seconds = 0;
    const auto [stop, error] = std::from_chars(begin, end, seconds);
    if (error != std::errc() || stop != end || !isWithinDateRange(seconds))
        return std::nullopt;
    return seconds;
}

double secondsOf(const QDateTime& date)
{
    return double(date.toMSecsSinceEpoch()) / 1000.0;
}

QDateTime dateOf(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(seconds * 1000.0)), Qt::UTC);
}

std::optional<QString> nonEmpty(const QString& value)
{
    return value.isEmpty() ? std::nullopt : std::optional(value);
}

} // namespace

CalendarEventReference CalendarEventReference::fromEvent(const CalendarEvent& event)
{
    return {event.identifier,
            event.externalIdentifier ? nonEmpty(*event.externalIdentifier) : std::nullopt,
            std::nullopt,
            std::nullopt,
            event.title,
            secondsOf(event.startDate),
            secondsOf(event.endDate)};
}

std::optional<CalendarEventReference> CalendarEventReference::fromLocator(const QString& text)
{
    const std::optional<QHash<QString, QString>> query = queryOfLocator(text, scheme, host);
    if (!query)
        return std::nullopt;
    const QString identifier = query->value(QStringLiteral("id"));
    const std::optional<double> start = secondsFromText(query->value(QStringLiteral("start")));
    const std::optional<double> end = secondsFromText(query->value(QStringLiteral("end")));
    if (identifier.isEmpty() || !start || !end)
        return std::nullopt;
    const auto title = query->find(QStringLiteral("title"));
    return CalendarEventReference{identifier,
                                  nonEmpty(query->value(QStringLiteral("externalID"))),
                                  nonEmpty(query->value(QStringLiteral("fantasticalItem"))),
                                  nonEmpty(query->value(QStringLiteral("fantasticalCalendar"))),
                                  title == query->end() ? defaultTitle : *title,
                                  *start,
                                  *end};
}

std::optional<QString> CalendarEventReference::locator() const
{
    const std::optional<QString> start = secondsText(startTime);
    const std::optional<QString> end = secondsText(endTime);
    if (identifier.isEmpty() || !start || !end)
        return std::nullopt;
    const std::pair<QString, std::optional<QString>> candidates[] = {
        {QStringLiteral("id"), identifier},
        {QStringLiteral("externalID"), externalIdentifier},
        {QStringLiteral("fantasticalItem"), fantasticalItemID},
        {QStringLiteral("fantasticalCalendar"), fantasticalCalendarID},
        {QStringLiteral("title"), title},
        {QStringLiteral("start"), start},
        {QStringLiteral("end"), end},
    };
    QList<std::pair<QString, QString>> items;
    for (const auto& [name, value] : candidates) {
        if (value && !value->isEmpty())
            items.append({name, *value});
    }
    return queryLocator(scheme, host, items);
}

QString CalendarEventReference::subtitle() const
{
    return eventDateLine(startTime * 1000.0, endTime * 1000.0);
}

QDateTime CalendarEventReference::startDate() const
{
    return dateOf(startTime);
}

QDateTime CalendarEventReference::endDate() const
{
    return dateOf(endTime);
}

} // namespace morvane
