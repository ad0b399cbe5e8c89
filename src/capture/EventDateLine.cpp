#include "EventDateLine.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <unicode/datefmt.h>
#include <unicode/timezone.h>
#include <unicode/udisplaycontext.h>
#include <unicode/unistr.h>

#include <cmath>
#include <memory>
#include <string>

namespace morvane {

namespace {

using Style = icu::DateFormat::EStyle;

// The three formatters of one locale and time zone. Made on first use and again only when the user's
// locale or time zone changed; one set per thread, as an ICU formatter is not safe to share.
class DateLineFormatters {
public:
    static DateLineFormatters& current()
    {
        thread_local DateLineFormatters formatters;
        const QString localeName = QLocale().name();
        const QByteArray zoneId = QTimeZone::systemTimeZoneId();
        if (!formatters.m_day || localeName != formatters.m_localeName || zoneId != formatters.m_zoneId)
            formatters.rebuild(localeName, zoneId);
        return formatters;
    }

    QString day(UDate date) const { return format(m_day.get(), date); }
    QString time(UDate date) const { return format(m_time.get(), date); }
    QString dateAndTime(UDate date) const { return format(m_dateAndTime.get(), date); }

private:
    void rebuild(const QString& localeName, const QByteArray& zoneId)
    {
        m_localeName = localeName;
        m_zoneId = zoneId;
        const icu::Locale locale(localeName.toLatin1().constData());
        m_day = make(Style::kMediumRelative, Style::kNone, locale, zoneId);
        m_time = make(Style::kNone, Style::kShort, locale, zoneId);
        m_dateAndTime = make(Style::kMediumRelative, Style::kShort, locale, zoneId);
    }

    static std::unique_ptr<icu::DateFormat> make(Style date, Style time, const icu::Locale& locale,
                                                 const QByteArray& zoneId)
    {
        std::unique_ptr<icu::DateFormat> formatter(
            date == Style::kNone   ? icu::DateFormat::createTimeInstance(time, locale)
            : time == Style::kNone ? icu::DateFormat::createDateInstance(date, locale)
                                   : icu::DateFormat::createDateTimeInstance(date, time, locale));
        if (!formatter)
            return nullptr;
        UErrorCode status = U_ZERO_ERROR;
        formatter->setContext(UDISPCTX_CAPITALIZATION_FOR_BEGINNING_OF_SENTENCE, status);
        formatter->adoptTimeZone(zone(zoneId));
        return formatter;
    }

    // ICU keeps its own idea of the host's zone from start-up; the zone Qt's local time uses now is
    // the one that decides which day an instant falls on.
    static icu::TimeZone* zone(const QByteArray& zoneId)
    {
        icu::TimeZone* zone =
            icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zoneId.toStdString()));
        if (*zone == icu::TimeZone::getUnknown()) {
            delete zone;
            zone = icu::TimeZone::detectHostTimeZone();
        }
        return zone;
    }

    static QString format(const icu::DateFormat* formatter, UDate date)
    {
        if (!formatter)
            return {};
        icu::UnicodeString text;
        formatter->format(date, text);
        return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
    }

    QString m_localeName;
    QByteArray m_zoneId;
    std::unique_ptr<icu::DateFormat> m_day, m_time, m_dateAndTime;
};

QDate localDay(double milliseconds)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(milliseconds)), Qt::LocalTime).date();
}

} // namespace

QString eventDateLine(double startMilliseconds, double endMilliseconds)
{
    const DateLineFormatters& formatters = DateLineFormatters::current();
    if (localDay(startMilliseconds) == localDay(endMilliseconds))
        return formatters.day(startMilliseconds) + QStringLiteral(", ") + formatters.time(startMilliseconds) +
               QStringLiteral(" - ") + formatters.time(endMilliseconds);
    return formatters.dateAndTime(startMilliseconds) + QStringLiteral(" - ") +
           formatters.dateAndTime(endMilliseconds);
}

} // namespace morvane
