#include "CalendarTestSupport.h"

#include "capture/CalendarEventReference.h"
#include "capture/CalendarRevealTarget.h"
#include "capture/ContactLink.h"
#include "capture/ContactRevealTarget.h"
#include "capture/FantasticalLinks.h"
#include "foundation/UserDefaults.h"

#include <cstring>

using namespace morvane;
using namespace morvane::test;

namespace {

using CalendarLinks = PinnedZoneAndLocale;

const QString itemUuid = QStringLiteral("6f1c2e0a-8b3d-4c5e-9f7a-1b2c3d4e5f60");
const QString calendarUuid = QStringLiteral("0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D");

} // namespace

TEST_F(CalendarLinks, LocatorsKeepTheirItemsInOrderAndReadBackBitForBit)
{
    const CalendarEventReference full{"E1/2",        "uid@example.com", itemUuid,          calendarUuid,
                                      "A&B=C+D#E é", 1714554000.0,      1714557600.1234567};
    const QString text = *full.locator();
    EXPECT_EQ(text, "morvane-calendar://event?id=E1/2&externalID=uid@example.com&fantasticalItem=" +
                        itemUuid + "&fantasticalCalendar=" + calendarUuid +
                        "&title=A%26B%3DC+D%23E%20%C3%A9&start=1714554000.0&end=1714557600.1234567");
    const std::optional<CalendarEventReference> read = CalendarEventReference::fromLocator(text);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, full);
    EXPECT_EQ(std::memcmp(&read->endTime, &full.endTime, sizeof(double)), 0);

    CalendarEvent event = calendarEvent("E2", QDateTime::fromMSecsSinceEpoch(1714554000250, Qt::UTC), 30, "");
    event.externalIdentifier = "";
    EXPECT_EQ(CalendarEventReference::fromEvent(event).locator(),
              "morvane-calendar://event?id=E2&start=1714554000.25&end=1714555800.25");
    EXPECT_EQ(CalendarEventReference{}.locator(), std::nullopt); // no identifier: it could not be read back
}

TEST_F(CalendarLinks, AReaderTakesOnlyItsOwnSchemeAndFiniteDecimalTimes)
{
    const QString base = "morvane-calendar://event?id=E&start=%1&end=1714554000.0";
    for (const QString& refused :
         {QString("Morvane-calendar://event?id=E&start=1.0&end=2.0"),
          QString("morvane-calendar://Event?id=E&start=1.0&end=2.0"),
          QString("morvane-calendar://event?start=1.0&end=2.0"),
          QString("morvane-calendar://event?id=&start=1.0&end=2.0"),
          QString("morvane-calendar://event?id=E&start=1.0"), QString("morvane-calendar://event"),
          QString("morvane-calendar://event?id=E&id=F&start=1.0&end=2.0"), base.arg(" 1"), base.arg("1 "),
          base.arg("1x"), base.arg("nan"), base.arg("inf"), base.arg("0x1p4"), base.arg("1e400"),
          base.arg("-62135596801"), base.arg("253402300800")})
        EXPECT_FALSE(CalendarEventReference::fromLocator(refused)) << refused.toStdString();

    const auto read = [](const QString& text) { return *CalendarEventReference::fromLocator(text); };
    const CalendarEventReference plain =
        read("morvane-calendar://event?end=2&externalID=&start=-1.5e1&id=E#x");
    EXPECT_EQ(plain, (CalendarEventReference{"E", {}, {}, {}, "Calendar event", -15.0, 2.0}));
    EXPECT_EQ(read("morvane-calendar://event?id=E&title&start=1&end=2").title, "");
}

TEST_F(CalendarLinks, TheDateLineNamesTheDayOnceForAnEventWithinOneDay)
{
    const auto line = [](const QDateTime& start, const QDateTime& end) {
        return CalendarEventReference{
            "E", {}, {}, {}, "", start.toMSecsSinceEpoch() / 1000.0, end.toMSecsSinceEpoch() / 1000.0}
            .subtitle();
    };
    const QDate today = QDate::currentDate();
    const QDateTime ten(today, QTime(10, 0), Qt::LocalTime);
    const QString todayLine = line(ten, ten.addSecs(3600));
    if (QDate::currentDate() == today) { // the day did not change meanwhile
        EXPECT_EQ(todayLine, "Today, 10:00\u202FAM - 11:00\u202FAM");
    }
    // The night the clocks go forward: an hour shorter, and two days.
    EXPECT_EQ(line(local(2024, 3, 30, 23), local(2024, 3, 31, 3)),
              "Mar 30, 2024, 11:00\u202FPM - Mar 31, 2024, 3:00\u202FAM");
}

TEST_F(CalendarLinks, FantasticalLinks)
{
    EXPECT_EQ(fantasticalItemUrl(" " + itemUuid + "\n", calendarUuid),
              "x-fantastical://show?item=" + itemUuid.toUpper() + "&calendarIdentifier=" + calendarUuid);
    EXPECT_FALSE(fantasticalItemUrl(itemUuid, ""));

    // 23:30 UTC is already the next day in Berlin; a Thai user's calendar counts years from 543 BC.
    const QDateTime lateEvening = QDateTime(QDate(2024, 3, 30), QTime(23, 30), Qt::UTC);
    QLocale::setDefault(QLocale(QLocale::Thai, QLocale::Thailand));
    EXPECT_EQ(fantasticalDayViewUrl(lateEvening), "x-fantastical3://show/calendar/2024-03-31");
    EXPECT_TRUE(isFantasticalIdentifier("COM.FLEXIBITS.FANTASTICAL2.MAC"));
    EXPECT_FALSE(isFantasticalIdentifier("com.flexibits.cardhop.mac"));
}

TEST(RevealTargets, StoredChoicesReadExactlyOrAsAutomatic)
{
    auto defaults = UserDefaults::inMemory();
    EXPECT_EQ(storedCalendarRevealTarget(*defaults), CalendarRevealTarget::automatic);
    for (const char* raw : {"Apple Calendar", "apple calendar"}) {
        defaults->setString(calendarRevealTargetKey, raw);
        defaults->setString(contactRevealTargetKey, QString(raw).replace("Calendar", "Contacts"));
        EXPECT_EQ(rawValue(storedCalendarRevealTarget(*defaults)) +
                      rawValue(storedContactRevealTarget(*defaults)),
                  raw[0] == 'A' ? "Apple CalendarApple Contacts" : "AutomaticAutomatic");
    }
}

TEST(ContactLinks, WrittenWithoutEmptyItemsAndReadTrimmed)
{
    EXPECT_EQ(contactLocator("AB:ABPerson", "Ann Lee", std::nullopt),
              "morvane-contact://contact?id=AB:ABPerson&name=Ann%20Lee");
    EXPECT_EQ(contactLocator("1", "", QString(" ")), "morvane-contact://contact?id=1&organization=%20");
    EXPECT_EQ(contactLocator("", "Ann", std::nullopt), std::nullopt);

    const std::pair<const char*, std::optional<ContactLink>> reads[] = {
        {"morvane-contact://contact?id=1&organization=%20", ContactLink{"1", "Contact", std::nullopt}},
        {"morvane-contact://contact?name=%20Ann%20&id=1&organization=Acme+Inc",
         ContactLink{"1", "Ann", "Acme+Inc"}},
        {"morvane-contact://Contact?id=1", std::nullopt},
        {"Morvane-Contact://contact?id=1", std::nullopt},
        {"morvane-contact://contact?id=&name=Ann", std::nullopt},
        {"morvane-contact://contact?name=Ann", std::nullopt},
    };
    for (const auto& [text, link] : reads)
        EXPECT_EQ(parseContactLocator(text), link) << text;
}
