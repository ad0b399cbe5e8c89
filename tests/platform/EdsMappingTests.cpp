#include "platform/eds/EdsMapping.h"

#include <gtest/gtest.h>

#include <QHash>

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

TEST(EdsMapping, CardsAreNamedInFullOrByTheirParts)
{
    struct Case {
        const char* vcard;
        std::optional<ContactCard> card;
        QString fileAs;
    };
    const Case cases[] = {
        {"UID:1\r\nFN: Ann Lee \r\nN:Lee;Ann;;;\r\nORG:Acme Inc.\r\n",
         ContactCard{"book/1", "Ann", "Lee", "Acme Inc.", "Ann Lee"}, "Ann Lee"},
        {"UID:2\r\nORG:Okapi Works\r\n", ContactCard{"book/2", "", "", "Okapi Works", ""}, ""},
        {"UID:3\r\nN:Zebrafish;Bo;;;\r\nX-EVOLUTION-FILE-AS:Zebrafish\\, Bo\r\n",
         ContactCard{"book/3", "Bo", "Zebrafish", "", "Bo Zebrafish"}, "Zebrafish, Bo"},
        {"FN:No uid\r\n", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        const QByteArray vcard = QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\n") + c.vcard + "END:VCARD\r\n";
        const std::optional<EdsCard> read = contactCard(vcard, QStringLiteral("book"));
        EXPECT_EQ(read ? std::optional(read->card) : std::nullopt, c.card) << c.vcard;
        EXPECT_EQ(read ? read->fileAs : QString(), c.fileAs) << c.vcard;
    }
}

// Cards as other programs write them into an address book: folded lines, escaped separators,
// grouped and parameterised names, vCard 2.1's quoted-printable values.
TEST(EdsMapping, CardsAreReadAsTheirWritersSpellThem)
{
    struct Case {
        const char* vcard;
        ContactCard card;
    };
    const Case cases[] = {
        {"VERSION:3.0\r\nUID:folded\r\nFN:Anna-Lena Ber\r\n gmann\r\nN:Bergmann;Anna-Lena\r\n\t;;;\r\n",
         ContactCard{"book/folded", "Anna-Lena", "Bergmann", "", "Anna-Lena Bergmann"}},
        {"VERSION:3.0\nuid:lf-only\nfn:Jo\\; Co\\, Ltd\\nNext\nitem1.ORG;TYPE=\"work:main\":R&D\\; "
         "Labs;Unit\n",
         ContactCard{"book/lf-only", "", "", "R&D; Labs", "Jo; Co, Ltd\nNext"}},
        {"VERSION:2.1\r\nUID:qp\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=\r\n=BCrgen\r\n"
         "FN;QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller\r\n",
         ContactCard{"book/qp", "J\u00fcrgen", "M\u00fcller", "", "J\u00fcrgen M\u00fcller"}},
        // A later line of the same name, such as a second organisation, does not replace the first.
        {"VERSION:3.0\r\nUID:two\r\nORG:First\r\nORG:Second\r\nFN:Two\r\n",
         ContactCard{"book/two", "", "", "First", "Two"}},
    };
    for (const Case& c : cases) {
        const QByteArray vcard = QByteArray("BEGIN:VCARD\r\n") + c.vcard + "END:VCARD\r\n";
        const std::optional<EdsCard> read = contactCard(vcard, QStringLiteral("book"));
        ASSERT_TRUE(read) << c.vcard;
        EXPECT_EQ(read->card, c.card) << c.vcard;
    }
}
