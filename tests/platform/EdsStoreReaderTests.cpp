#include "EdsStandIn.h"
#include "LogCapture.h"
#include "TestEnvironment.h"
#include "platform/GLibLoopThread.h"
#include "platform/eds/EdsStoreReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

namespace {

constexpr auto readerLoadWait = 30s;

QByteArray standInEvent(const QByteArray& uid, const QByteArray& lines)
{
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nSUMMARY:" + uid + "\r\n" + lines + "END:VEVENT\r\n";
}

// Summer time as Berlin keeps it, under a name libical does not know, so the calendar is asked for it.
QByteArray standInZone(const char* tzid, const char* start, const char* daylightRule)
{
    return QByteArray("BEGIN:VTIMEZONE\r\nTZID:") + tzid +
           "\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nDTSTART:" + start +
           "\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\n"
           "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nDTSTART:" +
           start + "\r\nRRULE:" + daylightRule + "\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";
}

// A reader of the calendars alone: these cases are about a calendar's loads and its view.
std::unique_ptr<EdsStoreReader> standInCalendarReader()
{
    return std::make_unique<EdsStoreReader>(true, false, nullptr);
}

QStringList standInStarts(const EdsReader& reader)
{
    QStringList starts;
    // Held here: the reader may publish another meanwhile.
    const std::shared_ptr<const EdsSnapshot> snapshot = reader.snapshot();
    for (const CalendarEvent& event : snapshot->events)
        starts.append(event.externalIdentifier.value_or(QString()) + u' ' +
                      event.startDate.toString(Qt::ISODate));
    return starts;
}

} // namespace

// Quit lets the reader's thread go when it is inside a reload that outlasts the bounded wait (here a
// calendar whose rules take seconds to step through, which nothing can interrupt). The thread keeps what
// it uses until it leaves that reload: under AddressSanitizer nothing it touches afterwards was freed,
// and the process lives on past it.
TEST(EdsStoreReader, AReaderGoneDuringAReloadLeavesItsThreadNothingFreed)
{
    EdsStandIn service;
    ASSERT_TRUE(service.isReady());
    service.keepZone("Stand-in Time",
                     standInZone("Stand-in Time", "19700101T030000", "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU"));
    service.setEvents({standInEvent("lunch", "DTSTART;TZID=Stand-in Time:20240701T120000\r\n")});
    auto reader = standInCalendarReader();
    ASSERT_TRUE(reader->waitUntilLoaded(EdsReader::Load::calendars, readerLoadWait));
    ASSERT_EQ(standInStarts(*reader), QStringList{"lunch 2024-07-01T10:00:00Z"});
    ASSERT_TRUE(service.waitUntilAsked("Start", 1, readerLoadWait)); // its changes are followed

    // Each series steps through 90,000 starts before the window; its zone, new, is asked for first.
    service.keepZone("Slow Time",
                     standInZone("Slow Time", "19700101T030000", "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU"));
    QList<QByteArray> slow;
    for (int i = 0; i < 30; ++i) {
        slow.append(standInEvent("minutes-" + QByteArray::number(i),
                                 "DTSTART;TZID=Slow Time:19900101T090000\r\n"
                                 "RRULE:FREQ=MINUTELY;COUNT=90000\r\n"));
    }
    service.setEvents(slow);
    const int zonesAsked = service.asked("GetTimezone");
    service.reportChange();
    ASSERT_TRUE(service.waitUntilAsked("GetTimezone", zonesAsked + 1, readerLoadWait));
    reader.reset();
    EXPECT_FALSE(GLibLoopThread::joinThreadsLetGo()) << "the reload ended before the reader went";
    EXPECT_TRUE(GLibLoopThread::joinThreadsLetGo(60s));
    // What a freed reader's thread would have run into is over; the process goes on a while yet.
    std::this_thread::sleep_for(2s);
}

// An opening answered with no valid object (a malformed path or bus name) fails that store's opening
// as any other failed opening does: the reader does not wait for an answer GLib would never give, and
// the kind is not available with the reason, logged once and reported to the reader's owner.
TEST(EdsStoreReader, AnOpeningAnsweredWithAMalformedPathOrNameFailsThatKind)
{
    EdsStandIn service;
    ASSERT_TRUE(service.isReady());
    service.setEvents({standInEvent("lunch", "DTSTART:20240701T120000Z\r\n")});
    {
        const auto reader = standInCalendarReader();
        ASSERT_TRUE(reader->waitUntilLoaded(EdsReader::Load::calendars, readerLoadWait));
        EXPECT_EQ(standInStarts(*reader), QStringList{"lunch 2024-07-01T12:00:00Z"});
        EXPECT_EQ(reader->snapshot()->calendarsFailure.toStdString(), "");
    }
    const QByteArray goodPath = EdsStandIn::calendarPath;
    const QByteArray goodName = ":1.1"; // any valid name: no call reaches it
    const QString badPath = QStringLiteral("the answer's object path is not valid");
    const QString badName = QStringLiteral("the answer's bus name is not valid");
    for (const auto& [path, name, reason] : {std::tuple{QByteArray("not/a path"), goodName, badPath},
                                             std::tuple{QByteArray(""), goodName, badPath},
                                             std::tuple{QByteArray("not/a path"), QByteArray(""), badPath},
                                             std::tuple{goodPath, QByteArray("not..a name"), badName},
                                             std::tuple{goodPath, QByteArray(""), badName}}) {
        SCOPED_TRACE(("path " + path + ", name " + name).constData());
        service.answerOpenWith(path, name);
        const int opened = service.asked("Open");
        const LogCapture log(QStringLiteral("morvane.EvolutionDataServer"));
        std::atomic_int failureReports = 0;
        {
            EdsStoreReader reader(true, true, [&failureReports] { ++failureReports; });
            ASSERT_TRUE(reader.waitUntilLoaded(EdsReader::Load::everything, readerLoadWait));
            const std::shared_ptr<const EdsSnapshot> snapshot = reader.snapshot();
            EXPECT_TRUE(snapshot->events.isEmpty());
            EXPECT_EQ(snapshot->calendarsFailure.toStdString(), ("OpenCalendar: " + reason).toStdString());
            EXPECT_EQ(snapshot->cardsFailure.toStdString(), ("OpenAddressBook: " + reason).toStdString());
        }
        // The reader's thread has ended, and its lines are all in, once the reader went.
        ASSERT_TRUE(GLibLoopThread::joinThreadsLetGo(readerLoadWait));
        EXPECT_GE(failureReports.load(), 1);
        const QStringList lines = log.lines();
        EXPECT_EQ(service.asked("Open"), opened);
        EXPECT_EQ(lines.count(QStringLiteral("Calendars are not available: OpenCalendar: ") + reason), 1)
            << lines.join(u'\n').toStdString();
        EXPECT_EQ(lines.count(QStringLiteral("Address books are not available: OpenAddressBook: ") + reason),
                  1)
            << lines.join(u'\n').toStdString();
    }
}

// A zone the calendar keeps whose rules libical could only expand for minutes is refused: the calendar
// loads, its event is read in the user's zone, and the log names the calendar and the zone once.
TEST(EdsStoreReader, ACalendarsZoneChangingHourlySinceYearOneIsReadInTheUsersZone)
{
    const ScopedEnvironmentVariable zone("TZ", QByteArray("Europe/Berlin"));
    EdsStandIn service;
    ASSERT_TRUE(service.isReady());
    service.keepZone("Churn",
                     QByteArray("BEGIN:VTIMEZONE\r\nTZID:Churn\r\nBEGIN:STANDARD\r\n"
                                "TZOFFSETFROM:+0500\r\nTZOFFSETTO:+0400\r\nDTSTART:00010101T000000\r\n"
                                "RRULE:FREQ=HOURLY\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"));
    service.setEvents({standInEvent("standup", "DTSTART;TZID=Churn:20240701T090000\r\n"),
                       standInEvent("retro", "DTSTART;TZID=Churn:20240702T090000\r\n")});
    const LogCapture log(QStringLiteral("morvane.EvolutionDataServer"));
    {
        const auto reader = standInCalendarReader();
        ASSERT_TRUE(reader->waitUntilLoaded(EdsReader::Load::calendars, readerLoadWait));
        EXPECT_EQ(standInStarts(*reader),
                  (QStringList{"standup 2024-07-01T07:00:00Z", "retro 2024-07-02T07:00:00Z"}));
    }
    ASSERT_TRUE(GLibLoopThread::joinThreadsLetGo(readerLoadWait));
    const QStringList lines = log.lines();
    EXPECT_EQ(lines.filter(QStringLiteral("“Stand-in” keeps a time zone “Churn”")).size(), 1)
        << lines.join(u'\n').toStdString();
}
