#pragma once

#include "TestEnvironment.h"
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
    void SetUp() override
    {
        m_zone.emplace("TZ", QByteArray("Europe/Berlin"));
        tzset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void TearDown() override
    {
        m_zone.reset();
        tzset();
        QLocale::setDefault(m_locale);
    }

    // A local wall-clock time in the pinned zone.
    static QDateTime local(int year, int month, int day, int hour)
    {
        return QDateTime(QDate(year, month, day), QTime(hour, 0), Qt::LocalTime);
    }

private:
    std::optional<ScopedEnvironmentVariable> m_zone;
    QLocale m_locale;
};

inline CalendarEvent calendarEvent(const QString& identifier, const QDateTime& start, int minutes = 60,
                                   const QString& title = QStringLiteral("Standup"))
{
    return CalendarEvent{identifier,   std::nullopt, title,       start, start.addSecs(minutes * 60),
                         std::nullopt, std::nullopt, std::nullopt};
}

} // namespace morvane::test
