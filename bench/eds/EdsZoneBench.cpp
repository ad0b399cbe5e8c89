// How long reading one event costs in a time zone a calendar keeps for itself, for the zones calendar
// programs write (yearly rules from year 1 or from 1601, a fixed offset from year 1) and for zones
// whose rules would give libical thousands of changes to expand (every hour or second since year 1,
// every ten minutes of a year's hours, every day of a year): each is read, or refused, within about a
// tenth of a second.

#include "platform/eds/EdsMapping.h"

#include <QDateTime>

#include <benchmark/benchmark.h>

#include <utility>

using namespace morvane;

namespace {

QByteArray twoObservances(const char* start, const QByteArray& rule)
{
    return QByteArray("BEGIN:VTIMEZONE\r\nTZID:Bench\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\n"
                      "TZOFFSETTO:+0100\r\nDTSTART:") +
           start +
           "\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\n"
           "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nDTSTART:" +
           start + "\r\nRRULE:" + rule + "\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";
}

QByteArray everyYearDay()
{
    QByteArray rule = "FREQ=YEARLY;BYYEARDAY=1";
    for (int day = 2; day <= 366; ++day)
        rule += ',' + QByteArray::number(day);
    return rule;
}

const std::pair<const char*, QByteArray> zones[] = {
    {"yearly from year 1", twoObservances("00010101T030000", "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU")},
    {"yearly from 1601", twoObservances("16010101T030000", "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU")},
    {"fixed from year 1",
     "BEGIN:VTIMEZONE\r\nTZID:Bench\r\nBEGIN:STANDARD\r\nDTSTART:00010101T000000\r\nTZOFFSETFROM:+0900\r\n"
     "TZOFFSETTO:+0900\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"},
    {"hourly from year 1", twoObservances("00010101T000000", "FREQ=HOURLY")},
    {"secondly from year 1", twoObservances("00010101T000000", "FREQ=SECONDLY")},
    {"months, hours and minutes from 1601",
     twoObservances("16010101T000000",
                    "FREQ=YEARLY;BYMONTH=1,2,3,4,5,6,7,8,9,10,11,12;BYHOUR=0,1,2,3,4,5,6,"
                    "7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23;BYMINUTE=0,10,20,30,40,"
                    "50")},
    {"every weekday from 1601", twoObservances("16010101T000000", "FREQ=YEARLY;BYDAY=MO,TU,WE,TH,FR,SA,SU")},
    {"every year day from 1601", twoObservances("16010101T000000", everyYearDay())},
};

void readEventInZone(benchmark::State& state)
{
    const auto& [name, zone] = zones[state.range(0)];
    state.SetLabel(name);
    const QByteArray vevent = "BEGIN:VEVENT\r\nUID:bench\r\nSUMMARY:bench\r\n"
                              "DTSTART;TZID=Bench:20240701T090000\r\nEND:VEVENT\r\n";
    const QList<QByteArrayView> vevents{vevent};
    const QDateTime from = QDateTime::fromString(QStringLiteral("2024-01-01T00:00:00Z"), Qt::ISODate);
    const QDateTime to = from.addYears(1);
    for (auto _ : state) {
        const EdsExpansion expansion = expandCalendarEvents(
            vevents, {QStringLiteral("cal"), QStringLiteral("Bench")}, from, to,
            [&zone = zone](const char*) { return zone; }, icaltimezone_get_utc_timezone());
        benchmark::DoNotOptimize(expansion.events.size());
        state.counters["refused"] = double(expansion.refusedZones.size());
    }
}
BENCHMARK(readEventInZone)->DenseRange(0, std::size(zones) - 1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
