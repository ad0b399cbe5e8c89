#pragma once

#include "platform/CalendarStore.h"

#include <QByteArray>
#include <QLocale>

#include <gtest/gtest.h>

#include <ctime>

namespace morvane::test {

// Pins the local time zone to one with summer time (Berlin: clocks go forward at 02:00 on
// 31 March 2024) and the user's locale to US English, for one test.
class PinnedZoneAndLocale : public ::testing::Test {
protected:
    void SetUp() override { pin("Europe/Berlin", QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { pin(m_zone, m_locale); }

    static void pin(const QByteArray& zone, const QLocale& locale)
    {
        zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
        tzset();
        QLocale::setDefault(locale);
    }

    // A local wall-clock time in the pinned zone.
    static QDateTime local(int year, int month, int day, int hour)
    {
        return QDateTime(QDate(year, month, day), QTime(hour, 0), Qt::LocalTime);
    }

private:
    QByteArray m_zone = qgetenv("TZ");
    QLocale m_locale;
};

inline CalendarEvent calendarEvent(const QString& identifier, const QDateTime& start, int minutes = 60,
                                   const QString& title = QStringLiteral("Standup"))
{
    return CalendarEvent{identifier,   std::nullopt, title,       start, start.addSecs(minutes * 60),
                         std::nullopt, std::nullopt, std::nullopt};
}

} // namespace morvane::test
