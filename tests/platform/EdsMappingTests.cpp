#include "LibecalReferenceExpansion.h"
#include "platform/eds/EdsMapping.h"

#include <gtest/gtest.h>

#include <QHash>

#include <iterator>
#include <random>
#include <string>
#include <vector>

using namespace morvane;

namespace {

QDateTime utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toUTC();
}

// Each top-level block of a VCALENDAR body that begins with "BEGIN:<name>", as it is written.
QList<QByteArray> blocks(const QByteArray& body, const QByteArray& name)
{
    QList<QByteArray> found;
    const QByteArray begin = "BEGIN:" + name + "\r\n";
    const QByteArray end = "END:" + name + "\r\n";
    for (qsizetype at = body.indexOf(begin); at >= 0; at = body.indexOf(begin, at + 1)) {
        const qsizetype stop = body.indexOf(end, at);
        found.append(body.mid(at, stop < 0 ? -1 : stop + end.size() - at));
    }
    return found;
}

// A calendar as the calendar service hands it over: one text per VEVENT, and the VTIMEZONE it keeps
// for each TZID of its own. Floating times and dates are read in Berlin.
struct Calendar {
    explicit Calendar(const QByteArray& body)
        : vevents(blocks(body, "VEVENT"))
    {
        for (const QByteArray& vtimezone : blocks(body, "VTIMEZONE")) {
            const qsizetype tzid = vtimezone.indexOf("TZID:") + 5;
            zones.insert(vtimezone.mid(tzid, vtimezone.indexOf("\r\n", tzid) - tzid), vtimezone);
        }
    }

    using Expander = EdsExpansion (*)(const QList<QByteArrayView>&, const EdsCalendarSource&,
                                      const QDateTime&, const QDateTime&, const EdsZoneLookup&,
                                      icaltimezone*);
    EdsExpansion expand(const QDateTime& from, const QDateTime& to, Expander expander = expandCalendarEvents)
    {
        const auto zoneText = [this](const char* tzid) {
            asked.append(tzid);
            return zones.value(tzid);
        };
        return expander(QList<QByteArrayView>(vevents.begin(), vevents.end()),
                        {QStringLiteral("cal"), QStringLiteral("Work")}, from, to, zoneText,
                        icaltimezone_get_builtin_timezone("Europe/Berlin"));
    }
    QList<CalendarEvent> events(const char* from = "2024-01-01T00:00:00Z",
                                const char* to = "2024-12-31T00:00:00Z")
    {
        return expand(utc(from), utc(to)).events;
    }

    QList<QByteArray> vevents;
    QHash<QByteArray, QByteArray> zones;
    QList<QByteArray> asked; // the TZIDs the expansion asked the calendar for
};

const char* newYork =
    "BEGIN:VTIMEZONE\r\nTZID:America/New_York\r\n"
    "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\nDTSTART:19700308T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\nEND:DAYLIGHT\r\n"
    "BEGIN:STANDARD\r\nTZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\nDTSTART:19701101T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";

} // namespace

TEST(EdsMapping, IdentifiersHoldAnyUidAndRefuseOtherShapes)
{
    for (const EdsItemKey& key :
         {EdsItemKey{"system-calendar", "20240501T093012Z-17@host", std::nullopt},
          EdsItemKey{"a/b%2F", "x/y&z=1?#\n\u00e9", QStringLiteral("20240110T090000Z")},
          EdsItemKey{"book:1", "pas-id-1", std::nullopt}}) {
        const QString identifier = edsItemIdentifier(key);
        EXPECT_EQ(identifier.count(u'/'), key.recurrenceId ? 2 : 1) << identifier.toStdString();
        EXPECT_EQ(parseEdsItemIdentifier(identifier), key);
    }
    for (const char* text : {"", "cal", "cal/", "/uid", "cal//rid", "a/b/c/d"})
        EXPECT_EQ(parseEdsItemIdentifier(QString::fromLatin1(text)), std::nullopt) << text;
}

TEST(EdsMapping, EventTimesFollowTheirZonesAndAllDayDatesTheUsers)
{
    Calendar calendar(
        (QByteArray(newYork) +
         "BEGIN:VEVENT\r\nUID:utc\r\nSUMMARY:Stand-up\r\nLOCATION:Room 4\r\nDESCRIPTION:Notes\r\n"
         "DTSTART:20240110T090000Z\r\nDTEND:20240110T091500Z\r\nEND:VEVENT\r\n"
         "BEGIN:VEVENT\r\nUID:ny\r\nSUMMARY:Call\r\nDTSTART;TZID=America/New_York:20240701T090000\r\n"
         "DTEND;TZID=America/New_York:20240701T100000\r\nEND:VEVENT\r\n"
         "BEGIN:VEVENT\r\nUID:floating\r\nDTSTART:20240110T090000\r\nDURATION:PT30M\r\nEND:VEVENT\r\n"
         "BEGIN:VEVENT\r\nUID:day\r\nSUMMARY:Holiday\r\nDTSTART;VALUE=DATE:20240110\r\n"
         "DTEND;VALUE=DATE:20240111\r\nEND:VEVENT\r\n"
         "BEGIN:VEVENT\r\nSUMMARY:No uid\r\nDTSTART:20240110T090000Z\r\nEND:VEVENT\r\n")
            .constData());
    const QList<CalendarEvent> events = calendar.events();
    ASSERT_EQ(events.size(), 4);
    EXPECT_EQ(events[0], (CalendarEvent{"cal/utc", "utc", "Stand-up", utc("2024-01-10T09:00:00Z"),
                                        utc("2024-01-10T09:15:00Z"), "Work", "Room 4", "Notes"}));
    EXPECT_EQ(events[1].startDate, utc("2024-07-01T13:00:00Z")); // summer time in New York
    EXPECT_EQ(events[1].endDate, utc("2024-07-01T14:00:00Z"));
    EXPECT_EQ(events[2].startDate, utc("2024-01-10T08:00:00Z")); // a floating time is the user's
    EXPECT_EQ(events[2].endDate, utc("2024-01-10T08:30:00Z"));
    EXPECT_EQ(events[2].title, QString());
    EXPECT_EQ(events[3].startDate, utc("2024-01-09T23:00:00Z")); // the user's midnight to midnight
    EXPECT_EQ(events[3].endDate, utc("2024-01-10T23:00:00Z"));
}

TEST(EdsMapping, RepeatingEventsGiveOneEventPerOccurrenceNamedByItsOriginalStart)
{
    Calendar calendar(
        "BEGIN:VEVENT\r\nUID:weekly/"
        "1\r\nSUMMARY:Review\r\nDTSTART:20240110T090000Z\r\nDTEND:20240110T100000Z\r\n"
        "RRULE:FREQ=WEEKLY;COUNT=4\r\nEXDATE:20240117T090000Z\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:weekly/1\r\nRECURRENCE-ID:20240124T090000Z\r\nSUMMARY:Review (moved)\r\n"
        "DTSTART:20240125T150000Z\r\nDTEND:20240125T160000Z\r\nEND:VEVENT\r\n");
    QStringList seen;
    for (const CalendarEvent& event : calendar.events()) {
        seen.append(event.identifier + u' ' + event.title + u' ' + event.startDate.toString(Qt::ISODate));
        EXPECT_EQ(event.externalIdentifier, QStringLiteral("weekly/1"));
    }
    EXPECT_EQ(seen, (QStringList{"cal/weekly%2F1/20240110T090000Z Review 2024-01-10T09:00:00Z",
                                 "cal/weekly%2F1/20240131T090000Z Review 2024-01-31T09:00:00Z",
                                 "cal/weekly%2F1/20240124T090000Z Review (moved) 2024-01-25T15:00:00Z"}));
    // Occurrences are named as the calendar writes them; a detached instance written in UTC still
    // replaces the occurrence of its instant.
    Calendar zoned(
        (QByteArray(newYork) +
         "BEGIN:VEVENT\r\nUID:ny\r\nSUMMARY:Sync\r\nDTSTART;TZID=America/New_York:20240703T090000\r\n"
         "DURATION:PT1H\r\nRRULE:FREQ=WEEKLY;COUNT=2\r\nEND:VEVENT\r\n"
         "BEGIN:VEVENT\r\nUID:ny\r\nRECURRENCE-ID:20240710T130000Z\r\nSUMMARY:Sync (moved)\r\n"
         "DTSTART:20240711T130000Z\r\nDURATION:PT1H\r\nEND:VEVENT\r\n")
            .constData());
    QStringList zonedIds;
    for (const CalendarEvent& event : zoned.events())
        zonedIds.append(event.identifier + u' ' + event.startDate.toString(Qt::ISODate));
    EXPECT_EQ(zonedIds, (QStringList{"cal/ny/20240703T090000 2024-07-03T13:00:00Z",
                                     "cal/ny/20240710T130000Z 2024-07-11T13:00:00Z"}));
    // Outside the window nothing is made.
    EXPECT_TRUE(calendar.events("2025-01-01T00:00:00Z", "2025-02-01T00:00:00Z").isEmpty());
}

namespace {

// Calendars written to reach the edges of expansion: old series, all-day and floating ones, zones
// across summer time and of the calendar's own, exceptions written in other zones, added dates of
// every kind, detached instances, ends of every kind, a series over the limit, texts that do not parse.
const char* officeZone = // not one of libical's zones: the calendar answers for it
    "BEGIN:VTIMEZONE\r\nTZID:Morvane Office Time\r\n"
    "BEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nDTSTART:19701025T030000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\n"
    "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nDTSTART:19700329T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";

QByteArray vevent(const char* uid, const char* lines)
{
    return QByteArray("BEGIN:VEVENT\r\nUID:") + uid + "\r\nSUMMARY:" + uid + "\r\n" + lines +
           "END:VEVENT\r\n";
}

QByteArray edgeCalendar()
{
    return QByteArray(newYork) + officeZone +
           // Rules
           vevent("weekly-old", "DTSTART:20050103T080000Z\r\nDURATION:PT45M\r\n"
                                "RRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR\r\nEXDATE:20240304T080000Z\r\n") +
           vevent("fortnightly-old", "DTSTART;TZID=Europe/Berlin:20010102T170000\r\n"
                                     "DTEND;TZID=Europe/Berlin:20010102T180000\r\n"
                                     "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,TH\r\n") +
           vevent("last-friday", "DTSTART;TZID=America/New_York:20030131T160000\r\nDURATION:PT1H\r\n"
                                 "RRULE:FREQ=MONTHLY;INTERVAL=2;BYDAY=-1FR\r\n") +
           vevent("the-31st", "DTSTART:20230131T120000Z\r\nRRULE:FREQ=MONTHLY;BYMONTHDAY=31\r\n") +
           vevent("last-weekday", "DTSTART;TZID=Europe/Berlin:20220131T090000\r\nDURATION:PT30M\r\n"
                                  "RRULE:FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1\r\n") +
           vevent("quarterly-old",
                  "DTSTART:19990115T100000Z\r\nRRULE:FREQ=MONTHLY;INTERVAL=3;BYMONTHDAY=15\r\n") +
           vevent("leap-day",
                  "DTSTART;VALUE=DATE:20000229\r\nRRULE:FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29\r\n") +
           vevent("thanksgiving", "DTSTART;TZID=America/New_York:20101125T120000\r\n"
                                  "DTEND;TZID=America/New_York:20101125T150000\r\n"
                                  "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=4TH\r\n") +
           vevent("every-fourth-year", "DTSTART:19960704T150000Z\r\nRRULE:FREQ=YEARLY;INTERVAL=4\r\n") +
           vevent("third-daily-old",
                  "DTSTART:19950301T070000Z\r\nRRULE:FREQ=DAILY;INTERVAL=3;UNTIL=20240601\r\n") +
           vevent("counted", "DTSTART;TZID=Europe/Berlin:20231201T080000\r\nDURATION:PT15M\r\n"
                             "RRULE:FREQ=DAILY;COUNT=150\r\nEXDATE;TZID=Europe/Berlin:20240102T080000\r\n") +
           vevent("counted-old", "DTSTART:20100105T060000Z\r\nRRULE:FREQ=WEEKLY;COUNT=800\r\n") +
           vevent("until-day", "DTSTART;TZID=America/New_York:20240301T090000\r\n"
                               "RRULE:FREQ=DAILY;UNTIL=20240315\r\n") +
           vevent("until-utc", "DTSTART;TZID=America/New_York:20240301T090000\r\n"
                               "RRULE:FREQ=DAILY;UNTIL=20240310T140000Z\r\n") +
           vevent("exrule", "DTSTART:20240101T100000Z\r\nRRULE:FREQ=DAILY;COUNT=60\r\n"
                            "EXRULE:FREQ=WEEKLY;BYDAY=SA,SU\r\n") +
           vevent("two-rules", "DTSTART:20240102T100000Z\r\nRRULE:FREQ=WEEKLY;BYDAY=TU;COUNT=10\r\n"
                               "RRULE:FREQ=MONTHLY;BYMONTHDAY=2;COUNT=4\r\n") +
           // All-day, floating and zoned series
           vevent("birthday", "DTSTART;VALUE=DATE:19800412\r\nRRULE:FREQ=YEARLY\r\n") +
           vevent("all-day-same-day", "DTSTART;VALUE=DATE:20240105\r\nDTEND;VALUE=DATE:20240105\r\n"
                                      "RRULE:FREQ=WEEKLY;COUNT=20\r\nEXDATE;VALUE=DATE:20240119\r\n"
                                      "EXDATE:20240126T120000Z\r\n") +
           vevent("all-day-no-end", "DTSTART;VALUE=DATE:20240320\r\nRRULE:FREQ=DAILY;COUNT=20\r\n") +
           vevent("all-day-week", "DTSTART;VALUE=DATE:20240325\r\nDURATION:P7D\r\n") +
           vevent("floating-weekly",
                  "DTSTART:20240104T180000\r\nDTEND:20240104T193000\r\n"
                  "RRULE:FREQ=WEEKLY;UNTIL=20241231T235959\r\nEXDATE:20240328T180000\r\n") +
           vevent("berlin-over-dst",
                  "DTSTART;TZID=Europe/Berlin:20240301T013000\r\n"
                  "DTEND;TZID=Europe/Berlin:20240301T033000\r\nRRULE:FREQ=DAILY;COUNT=60\r\n") +
           vevent("prefixed-zone",
                  "DTSTART;TZID=/freeassociation.sourceforge.net/Europe/London:20240322T233000\r\n"
                  "DURATION:PT2H\r\nRRULE:FREQ=WEEKLY;COUNT=40\r\n") +
           vevent("office", "DTSTART;TZID=Morvane Office Time:20240325T090000\r\n"
                            "DTEND;TZID=Morvane Office Time:20240325T100000\r\n"
                            "RRULE:FREQ=WEEKLY;BYDAY=MO,TH;COUNT=30\r\n"
                            "EXDATE;TZID=Morvane Office Time:20240404T090000\r\n") +
           vevent("unknown-zone", "DTSTART;TZID=Nowhere/Unknown:20240110T090000\r\nDURATION:PT1H\r\n"
                                  "RRULE:FREQ=WEEKLY;COUNT=5\r\n") +
           // Exceptions and added dates written otherwise than the start
           vevent("exdate-zones",
                  "DTSTART;TZID=America/New_York:20240605T090000\r\nDURATION:PT1H\r\n"
                  "RRULE:FREQ=WEEKLY;COUNT=10\r\nEXDATE:20240612T130000Z\r\n"
                  "EXDATE;TZID=Europe/Berlin:20240619T150000\r\nEXDATE;VALUE=DATE:20240626\r\n"
                  "EXDATE:20240703T090000\r\n") +
           vevent("rdates", "DTSTART;TZID=America/New_York:20240801T100000\r\n"
                            "DTEND;TZID=America/New_York:20240801T113000\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n"
                            "RDATE:20240803T150000Z,20240808T140000Z\r\nRDATE;VALUE=DATE:20240820\r\n"
                            "RDATE;VALUE=PERIOD:20240825T090000Z/20240825T170000Z\r\n"
                            "RDATE;VALUE=PERIOD:20240827T090000Z/PT3H\r\n"
                            "RDATE;TZID=Europe/Berlin:20240829T200000\r\nRDATE:20240830T120000\r\n") +
           vevent("rdates-only", "DTSTART;VALUE=DATE:20240901\r\nRDATE;VALUE=DATE:20240915,20241001\r\n"
                                 "RDATE:20240920T100000Z\r\n") +
           // Detached instances
           vevent("moved", "DTSTART;TZID=Europe/Berlin:20240902T100000\r\nDURATION:PT1H\r\n"
                           "RRULE:FREQ=WEEKLY;COUNT=8\r\n") +
           vevent("moved", "RECURRENCE-ID;TZID=Europe/Berlin:20240909T100000\r\n"
                           "DTSTART;TZID=Europe/Berlin:20240910T140000\r\nDURATION:PT1H\r\n") +
           vevent("moved",
                  "RECURRENCE-ID:20240916T080000Z\r\nDTSTART:20250116T080000Z\r\nDURATION:PT1H\r\n") +
           vevent("moved", "RECURRENCE-ID;VALUE=DATE:20240923\r\nDTSTART:20240924T080000Z\r\n") +
           vevent("orphan", "RECURRENCE-ID:20240410T090000Z\r\nDTSTART:20240411T090000Z\r\n"
                            "DTEND:20240411T100000Z\r\n") +
           vevent("moved-in", "DTSTART:20231204T090000Z\r\nRRULE:FREQ=WEEKLY;COUNT=2\r\n") +
           vevent("moved-in", "RECURRENCE-ID:20231211T090000Z\r\nDTSTART:20240108T090000Z\r\n") +
           // Ends
           vevent("end-before-start", "DTSTART:20240501T100000Z\r\nDTEND:20240501T090000Z\r\n") +
           vevent("day-duration", "DTSTART;VALUE=DATE:20240502\r\nDURATION:P1D\r\n") +
           vevent("hours-on-a-date", "DTSTART;VALUE=DATE:20240503\r\nDURATION:PT36H\r\n") +
           vevent("moment", "DTSTART:20240504T100000Z\r\n") +
           vevent("long-trip", "DTSTART:20231220T080000Z\r\nDTEND:20240110T200000Z\r\n") +
           vevent("zone-to-zone", "DTSTART;TZID=America/New_York:20240505T200000\r\n"
                                  "DTEND;TZID=Europe/Berlin:20240506T080000\r\n") +
           // Limits, faults, the rest of the calendar
           vevent("hourly-exrule",
                  "DTSTART:20240101T000000Z\r\nRRULE:FREQ=HOURLY;INTERVAL=5;UNTIL=20250101T000000Z\r\n"
                  "EXRULE:FREQ=DAILY;BYHOUR=0,1,2,3,4,5\r\n") +
           "BEGIN:VEVENT\r\nUID:bad-start\r\nDTSTART:tomorrow\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\n" +
           "BEGIN:VEVENT\r\nUID:cut-short\r\nDTSTART:20240601T100000Z\r\nRRULE:FREQ=DAI" +
           "BEGIN:VEVENT\r\nUID:bad-rule\r\nDTSTART:20240601T100000Z\r\nRRULE:FREQ=SOMETIMES\r\nEND:"
           "VEVENT\r\n" +
           "BEGIN:VEVENT\r\nSUMMARY:no uid\r\nDTSTART:20240601T100000Z\r\nEND:VEVENT\r\n" +
           "BEGIN:VTODO\r\nUID:task\r\nDTSTART:20240601T100000Z\r\nEND:VTODO\r\n" +
           vevent("long-ago", "DTSTART:19990601T100000Z\r\nRRULE:FREQ=WEEKLY;UNTIL=20000101T000000Z\r\n") +
           vevent("far-ahead", "DTSTART:20400601T100000Z\r\n");
}

// A series with more occurrences in the years the reader keeps than it takes.
QByteArray overLimitCalendar()
{
    return vevent("three-a-day", "DTSTART:20210601T080000Z\r\nRRULE:FREQ=DAILY;BYHOUR=8,12,16\r\n"
                                 "EXDATE:20210601T120000Z\r\nEXDATE:20210602T080000Z\r\n") +
           vevent("after", "DTSTART:20240101T080000Z\r\n");
}

// Occurrences one to a line.
std::vector<std::string> lines(const EdsExpansion& expansion)
{
    std::vector<std::string> result;
    for (const CalendarEvent& event : expansion.events) {
        result.push_back((event.identifier + u' ' + event.title + u' ' +
                          event.startDate.toString(Qt::ISODate) + u' ' + event.endDate.toString(Qt::ISODate))
                             .toStdString());
    }
    result.push_back("cut: " + std::to_string(expansion.truncatedSeries));
    return result;
}

// Where two lists of lines part: what lies between their common beginning and their common end.
std::string difference(const std::vector<std::string>& expected, const std::vector<std::string>& actual)
{
    size_t head = 0;
    while (head < expected.size() && head < actual.size() && expected[head] == actual[head])
        ++head;
    size_t tail = 0;
    while (tail < expected.size() - head && tail < actual.size() - head &&
           expected[expected.size() - 1 - tail] == actual[actual.size() - 1 - tail])
        ++tail;
    std::string text;
    const auto show = [&](const std::vector<std::string>& list, char mark) {
        for (size_t i = head; i < list.size() - tail && i < head + 20; ++i)
            text += std::string(1, mark) + ' ' + list[i] + '\n';
    };
    show(expected, '-');
    show(actual, '+');
    return text;
}

} // namespace

// The expansion gives what the calendar service's client library gave for the same calendar, in the
// same order: the years the reader keeps, and a short window whose edges cut events.
TEST(EdsMapping, ExpansionMatchesTheClientLibrarysAtItsEdges)
{
    const auto expectSame = [](const QByteArray& body, const char* from, const char* to) {
        Calendar calendar(body);
        const EdsExpansion expanded = calendar.expand(utc(from), utc(to));
        const EdsExpansion reference = calendar.expand(utc(from), utc(to), libecalReferenceExpansion);
        if (expanded.events != reference.events || expanded.truncatedSeries != reference.truncatedSeries)
            ADD_FAILURE() << from << " - " << to << ":\n" << difference(lines(reference), lines(expanded));
    };
    const char* years[] = {"2016-06-01T00:00:00Z", "2031-06-01T00:00:00Z"};
    expectSame(edgeCalendar(), years[0], years[1]);
    expectSame(edgeCalendar(), "2024-03-10T07:00:00Z", "2024-04-05T12:00:00Z");
    expectSame(edgeCalendar(), "2024-05-04T10:00:00Z", "2024-05-04T10:00:01Z");
    expectSame(overLimitCalendar(), years[0], years[1]);
}

namespace {

// Events of many shapes from a seed: rules of every frequency with BY parts, starts in every kind of
// zone over thirty years, exceptions and added dates written in other zones, detached instances.
QByteArray generatedCalendar(unsigned seed, int count)
{
    std::mt19937 random(seed);
    const auto pick = [&random](const auto& list) { return list[random() % std::size(list)]; };
    const char* frequencies[] = {"DAILY", "WEEKLY", "MONTHLY", "YEARLY", "HOURLY"};
    // Parts that libical searches centuries for when no day fits (an ordinal day in a daily rule, a
    // leap day every other month) are left to the frequencies they are written for.
    const char* parts[] = {"",
                           "",
                           ";BYDAY=MO,WE,FR",
                           ";BYMONTHDAY=31",
                           ";BYMONTHDAY=1,15",
                           ";WKST=SU;BYDAY=SU,SA",
                           ";BYHOUR=8,17"};
    const char* ordinalParts[] = {";BYDAY=-1FR", ";BYDAY=2WE", ";BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1",
                                  ";BYMONTH=3,10;BYDAY=-1SU", ";BYDAY=1MO,-1MO"};
    const char* yearlyParts[] = {";BYMONTH=2;BYMONTHDAY=29", ";BYMONTH=11;BYDAY=4TH", ";BYYEARDAY=100"};
    const char* zones[] = {
        "", "Z", ";TZID=Europe/Berlin", ";TZID=America/New_York", ";TZID=Morvane Office Time", ";VALUE=DATE"};
    const char* ends[] = {"", "DURATION:PT1H\r\n", "DURATION:P1D\r\n", "DURATION:PT30M\r\n", "END"};
    const auto time = [&](QDate day, const char* zone, int hour) {
        const bool date = QByteArray(zone) == ";VALUE=DATE";
        const QByteArray zoneParameter = QByteArray(zone) == "Z" ? QByteArray() : QByteArray(zone);
        return zoneParameter + ':' + day.toString(QStringLiteral("yyyyMMdd")).toLatin1() +
               (date ? QByteArray() : QByteArray("T") + QByteArray::number(100 + hour).right(2) + "0000") +
               (QByteArray(zone) == "Z" ? "Z" : "");
    };
    QByteArray body = officeZone;
    for (int i = 0; i < count; ++i) {
        const QByteArray uid = "generated-" + QByteArray::number(i);
        const char* zone = pick(zones);
        const QDate start = QDate(2005, 1, 1).addDays(random() % (25 * 365));
        const int hour = random() % 24;
        QByteArray lines = "DTSTART" + time(start, zone, hour) + "\r\n";
        const char* end = pick(ends);
        if (QByteArray(end) == "END")
            lines +=
                "DTEND" + time(start.addDays(random() % 3), zone, (hour + 1 + random() % 5) % 24) + "\r\n";
        else
            lines += end;
        const char* frequency = pick(frequencies);
        QByteArray rule =
            QByteArray("RRULE:FREQ=") + frequency + ";INTERVAL=" + QByteArray::number(1 + random() % 3);
        const QByteArray frequencyName(frequency);
        if (frequencyName == "YEARLY" && random() % 2)
            rule += pick(yearlyParts);
        else if ((frequencyName == "MONTHLY" || frequencyName == "YEARLY") && random() % 2)
            rule += pick(ordinalParts);
        else if (frequencyName == "WEEKLY" && random() % 3 == 0)
            rule += ";BYDAY=2WE";
        else if (frequencyName != "HOURLY")
            rule += pick(parts);
        // A rule repeating within the day is given an end: otherwise both iterate every step since 1995.
        switch (frequencyName == "HOURLY" ? 0 : random() % 4) {
        case 0:
            rule += ";COUNT=" + QByteArray::number(1 + random() % 400);
            break;
        case 1:
            rule +=
                ";UNTIL=" + start.addDays(random() % 8000).toString(QStringLiteral("yyyyMMdd")).toLatin1() +
                (random() % 2 ? "T235959Z" : "");
            break;
        }
        lines += rule + "\r\n";
        const QDate near = QDate(2024, 1, 1).addDays(random() % 365);
        // An all-day EXDATE on a series of several starts a day takes one of them, which one depending
        // on the client library's hash table: not asked.
        const bool severalADay = rule.contains("BYHOUR") || frequencyName == "HOURLY";
        for (int n = random() % 3; n > 0; --n) {
            const char* exdateZone = pick(zones);
            if (severalADay && QByteArray(exdateZone) == ";VALUE=DATE")
                exdateZone = "Z";
            lines += "EXDATE" +
                     time(near.addDays(random() % 30), exdateZone, random() % 2 ? hour : random() % 24) +
                     "\r\n";
        }
        for (int n = random() % 2; n > 0; --n)
            lines += "RDATE" + time(near.addDays(random() % 30), pick(zones), random() % 24) + "\r\n";
        body += vevent(uid.constData(), lines.constData());
        if (random() % 5 == 0) {
            body += vevent(uid.constData(), ("RECURRENCE-ID" + time(near, zone, hour) + "\r\nDTSTART" +
                                             time(near.addDays(1), zone, hour) + "\r\n")
                                                .constData());
        }
    }
    return body;
}

} // namespace

TEST(EdsMapping, ExpansionMatchesTheClientLibrarysForEventsOfManyShapes)
{
    for (unsigned seed = 1; seed <= 1; ++seed) {
        Calendar calendar(generatedCalendar(seed, 60));
        for (const auto& [from, to] : {std::pair{"2023-10-01T00:00:00Z", "2024-10-01T00:00:00Z"},
                                       std::pair{"2024-02-01T00:00:00Z", "2024-03-01T00:00:00Z"}}) {
            const EdsExpansion expanded = calendar.expand(utc(from), utc(to));
            const EdsExpansion reference = calendar.expand(utc(from), utc(to), libecalReferenceExpansion);
            if (expanded.events != reference.events || expanded.truncatedSeries != reference.truncatedSeries)
                ADD_FAILURE() << seed << ' ' << from << ":\n"
                              << difference(lines(reference), lines(expanded));
        }
    }
}

// A TZID names one of libical's zones before the calendar's own; the calendar is asked once per
// expansion for one of its own, whichever way it wraps it, and a zone nobody knows reads as the user's.
TEST(EdsMapping, ZonesAreLibicalsFirstAndTheCalendarIsAskedOnce)
{
    Calendar calendar(vevent("ny", "DTSTART;TZID=America/New_York:20240701T090000\r\n") +
                      vevent("office", "DTSTART;TZID=Morvane Office Time:20240701T090000\r\n"
                                       "RRULE:FREQ=DAILY;COUNT=3\r\n"
                                       "EXDATE;TZID=Morvane Office Time:20240702T090000\r\n") +
                      vevent("office-winter", "DTSTART;TZID=Morvane Office Time:20240101T090000\r\n") +
                      vevent("nowhere", "DTSTART;TZID=Nowhere/Unknown:20240701T090000\r\n"));
    calendar.zones.insert("Morvane Office Time", QByteArray("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n") +
                                                     officeZone + "END:VCALENDAR\r\n");
    QStringList starts;
    for (const CalendarEvent& event : calendar.events())
        starts.append(event.identifier + u' ' + event.startDate.toString(Qt::ISODate));
    EXPECT_EQ(starts,
              (QStringList{"cal/ny 2024-07-01T13:00:00Z", "cal/office/20240701T090000 2024-07-01T07:00:00Z",
                           "cal/office/20240703T090000 2024-07-03T07:00:00Z",
                           "cal/office-winter 2024-01-01T08:00:00Z", "cal/nowhere 2024-07-01T07:00:00Z"}));
    EXPECT_EQ(calendar.asked, (QList<QByteArray>{"Morvane Office Time", "Nowhere/Unknown"}));
}

// Floating times and dates are read in the system's zone when libical knows it, else in UTC.
TEST(EdsMapping, TheUsersZoneIsTheSystemsOrUtc)
{
    const QByteArray saved = qgetenv("TZ");
    const auto zoneFor = [](const char* tz) {
        qputenv("TZ", tz);
        return userTimeZone();
    };
    EXPECT_EQ(zoneFor("America/New_York"), icaltimezone_get_builtin_timezone("America/New_York"));
    EXPECT_EQ(zoneFor("Nowhere/Unknown"), icaltimezone_get_utc_timezone());
    if (saved.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", saved);
}

// libical expands a zone's every change from the start of its rules in one call nothing interrupts. A
// calendar's own zone is read at its own time whatever year its rules start (the forms Outlook writes,
// from year 1 or from 1601, and a fixed offset from year 1), while one whose rules would give thousands
// of changes (every hour or second since year 1, every minute of a day's hours, every day of a year)
// is refused: its events are read in the user's zone, and the TZID is named.
TEST(EdsMapping, ZonesAreReadAtTheirOwnTimeUnlessTheirRulesGiveThousandsOfChanges)
{
    const auto zone = [](const char* tzid, const char* start, const char* rule) {
        return QByteArray("BEGIN:VTIMEZONE\r\nTZID:") + tzid +
               "\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+0400\r\nTZOFFSETTO:+0300\r\nDTSTART:" + start +
               "\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\n"
               "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0300\r\nTZOFFSETTO:+0400\r\nDTSTART:" +
               start + "\r\nRRULE:" + rule + "\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";
    };
    const QList<std::pair<const char*, QByteArray>> zones = {
        {"Churn", zone("Churn", "00010101T000000", "FREQ=HOURLY")},
        {"Seconds", zone("Seconds", "00010101T000000", "FREQ=SECONDLY")},
        {"Minutes", zone("Minutes", "16010101T000000",
                         "FREQ=YEARLY;BYMONTH=1,2,3,4,5,6,7,8,9,10,11,12;BYHOUR=0,1,2,3,4,5,6,7,8,9,10,11,"
                         "12,13,14,15,16,17,18,19,20,21,22,23;BYMINUTE=0,10,20,30,40,50")},
        {"Days", zone("Days", "16010101T000000", "FREQ=YEARLY;BYDAY=MO,TU,WE,TH,FR,SA,SU")},
        {"YearDays", zone(
                         "YearDays", "16010101T000000",
                         "FREQ=YEARLY;BYYEARDAY=" +
                             [] {
                                 QByteArray days;
                                 for (int day = 1; day <= 366; ++day)
                                     days += (day > 1 ? "," : "") + QByteArray::number(day);
                                 return days;
                             }())},
        {"W. Europe Standard Time",
         "BEGIN:VTIMEZONE\r\nTZID:W. Europe Standard Time\r\nBEGIN:STANDARD\r\nDTSTART:00010101T030000\r\n"
         "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;INTERVAL=1;BYDAY=-1SU;BYMONTH=10\r\n"
         "END:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:00010101T020000\r\nTZOFFSETFROM:+0100\r\n"
         "TZOFFSETTO:+0200\r\nRRULE:FREQ=YEARLY;INTERVAL=1;BYDAY=-1SU;BYMONTH=3\r\nEND:DAYLIGHT\r\n"
         "END:VTIMEZONE\r\n"},
        {"Nine", "BEGIN:VTIMEZONE\r\nTZID:Nine\r\nBEGIN:STANDARD\r\nDTSTART:00010101T000000\r\n"
                 "TZOFFSETFROM:+0900\r\nTZOFFSETTO:+0900\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"},
        {"Outlook", zone("Outlook", "16010101T000000", "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU")},
        {"Monthly", zone("Monthly", "19700101T000000", "FREQ=MONTHLY;BYDAY=-1SU")},
        {"Weekly", zone("Weekly", "19700101T000000", "FREQ=WEEKLY")},
    };
    QByteArray vevents;
    for (const auto& [tzid, text] : zones) {
        vevents += vevent(QByteArray(tzid).split(' ').first().constData(),
                          ("DTSTART;TZID=" + QByteArray(tzid) + ":20240701T090000\r\n").constData());
    }
    // Winter in the zones of two observances, summer in Berlin's.
    vevents += vevent("winter", "DTSTART;TZID=W. Europe Standard Time:20240115T090000\r\n");
    Calendar calendar(vevents);
    for (const auto& [tzid, text] : zones)
        calendar.zones.insert(tzid, text);
    const EdsExpansion expansion = calendar.expand(utc("2024-01-01T00:00:00Z"), utc("2024-12-31T00:00:00Z"));
    QStringList starts;
    for (const CalendarEvent& event : expansion.events)
        starts.append(event.identifier + u' ' + event.startDate.toString(Qt::ISODate));
    // Refused zones read as Berlin's summer time (+02:00); the weekly rule changes on Thursdays, which
    // 1 January 1970 was, and last did on 27 June 2024, to +04:00.
    EXPECT_EQ(starts, (QStringList{"cal/Churn 2024-07-01T07:00:00Z", "cal/Seconds 2024-07-01T07:00:00Z",
                                   "cal/Minutes 2024-07-01T07:00:00Z", "cal/Days 2024-07-01T07:00:00Z",
                                   "cal/YearDays 2024-07-01T07:00:00Z", "cal/W. 2024-07-01T07:00:00Z",
                                   "cal/Nine 2024-07-01T00:00:00Z", "cal/Outlook 2024-07-01T05:00:00Z",
                                   "cal/Monthly 2024-07-01T05:00:00Z", "cal/Weekly 2024-07-01T05:00:00Z",
                                   "cal/winter 2024-01-15T08:00:00Z"}));
    EXPECT_EQ(expansion.refusedZones, (QStringList{"Churn", "Seconds", "Minutes", "Days", "YearDays"}));
}

// A numbered weekday in a daily rule makes libical search centuries in one step for a day that never
// comes, and a rule repeating every few seconds since long before the window steps millions of times
// to reach it: the first is not read, the second is stopped, and each series still gives its own start
// where that falls in the window.
TEST(EdsMapping, RulesLibicalWouldSearchWithoutEndAreBounded)
{
    Calendar calendar(vevent("numbered-daily", "DTSTART:20240102T090000Z\r\nRRULE:FREQ=DAILY;BYDAY=1MO\r\n") +
                      vevent("numbered-hourly",
                             "DTSTART:20240103T090000Z\r\nRRULE:FREQ=HOURLY;BYDAY=2TU,-1FR;BYMONTH=2\r\n") +
                      vevent("seconds", "DTSTART:19900101T000000Z\r\nRRULE:FREQ=SECONDLY;INTERVAL=7\r\n") +
                      vevent("weekly", "DTSTART:20240101T090000Z\r\nRRULE:FREQ=DAILY;BYDAY=MO;COUNT=3\r\n"));
    const EdsExpansion expansion = calendar.expand(utc("2024-01-01T00:00:00Z"), utc("2024-12-31T00:00:00Z"));
    QStringList identifiers;
    for (const CalendarEvent& event : expansion.events)
        identifiers.append(event.identifier);
    EXPECT_EQ(identifiers, (QStringList{"cal/numbered-daily/20240102T090000Z",
                                        "cal/numbered-hourly/20240103T090000Z", "cal/weekly/20240101T090000Z",
                                        "cal/weekly/20240108T090000Z", "cal/weekly/20240115T090000Z"}));
    EXPECT_EQ(expansion.cutSeries, 3);
}

// The steps a series takes before the window are counted apart from those in it, and an exclusion
// rule's apart from the rules': a daily series in Berlin's zone since 1750, with its Sundays excluded by
// a rule of its own, is read through a window of fifteen years, to its last day.
TEST(EdsMapping, ASeriesCenturiesOldIsReadThroughTheWindowWithItsExclusions)
{
    Calendar calendar(vevent("daily", "DTSTART;TZID=Europe/Berlin:17500101T090000\r\nRRULE:FREQ=DAILY\r\n"
                                      "EXRULE:FREQ=DAILY;BYDAY=SU\r\n"));
    const EdsExpansion expansion = calendar.expand(utc("2016-12-07T00:00:00Z"), utc("2031-12-09T00:00:00Z"));
    EXPECT_EQ(expansion.cutSeries, 0);
    ASSERT_FALSE(expansion.events.isEmpty());
    EXPECT_EQ(expansion.events.first().startDate, utc("2016-12-07T08:00:00Z"));
    EXPECT_EQ(expansion.events.last().startDate, utc("2031-12-08T08:00:00Z"));
    const auto sunday = [](const CalendarEvent& event) { return event.startDate.date().dayOfWeek() == 7; };
    EXPECT_TRUE(std::none_of(expansion.events.begin(), expansion.events.end(), sunday));
    // The window's 5,480 days but its 783 Sundays.
    EXPECT_EQ(expansion.events.size(), 4697);
}
