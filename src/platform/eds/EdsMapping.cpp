#include "platform/eds/EdsMapping.h"

#include <QHash>
#include <QLatin1String>
#include <QTimeZone>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace morvane {

icaltimezone* userTimeZone()
{
    const QByteArray id = QTimeZone::systemTimeZoneId();
    icaltimezone* zone = id.isEmpty() ? nullptr : icaltimezone_get_builtin_timezone(id.constData());
    return zone ? zone : icaltimezone_get_utc_timezone();
}

namespace {

QString text(const char* value)
{
    return value ? QString::fromUtf8(value) : QString();
}

std::optional<QString> presentText(const char* value)
{
    const QString result = text(value);
    return result.isEmpty() ? std::nullopt : std::optional(result);
}

constexpr int secondsPerDay = 24 * 60 * 60;

// A numbered weekday (1MO, -1FR) means something only in a monthly or yearly rule; in a daily or finer
// one libical searches centuries for a day that never comes, in one step, and finds none.
bool readableRule(const icalrecurrencetype& rule)
{
    if (rule.freq >= ICAL_WEEKLY_RECURRENCE)
        return true;
    for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
        if (icalrecurrencetype_day_position(rule.by_day[i]) != 0)
            return false;
    }
    return true;
}

// libical expands a zone's every change from the start of its rules up to a few years past the year a
// time is read in, this one at the latest, in one call nothing interrupts: each change costs it time and
// memory.
constexpr int zoneExpansionEndYear = 2037;
// The changes a zone may have libical expand. A real zone changes at most twice a year; the oldest rules
// calendars write (Windows' zones, and those written from year 1) are read from 1601, about 900 changes.
constexpr int maxZoneChanges = 4000;
// The calendar repeats every 400 years, weekdays and leap years included.
constexpr int calendarCycleYears = 400;
// Rules written to start earlier are read from a start moved forward to this year at the latest.
constexpr int zoneRulesFrom = 1601;

// Moves the start of an observance's rule forward by whole cycles of the calendar (and of the rule's
// interval), to zoneRulesFrom at the latest: from its new start on, the rule gives the changes it gave
// before. A rule ended by a count, or by an end the new start would pass, stays where it began.
void moveRuleStartForward(icalproperty* start, const icalrecurrencetype& rule)
{
    icaltimetype from = icalproperty_get_dtstart(start);
    const int cycle = calendarCycleYears * std::max<int>(rule.interval, 1);
    const int cycles = (zoneRulesFrom - from.year) / cycle;
    if (cycles <= 0 || rule.count > 0)
        return;
    from.year += cycles * cycle;
    if (!icaltime_is_null_time(rule.until) && rule.until.year < from.year)
        return;
    icalproperty_set_dtstart(start, from);
}

// The changes an observance gives up to the last year libical expands (its start, its dates and its
// rule's), counted up to limit; more than limit for a rule libical might search for years in one step
// (repeating more often than daily, or a daily one with a numbered weekday).
int changesOf(icalcomponent* observance, int limit)
{
    icalproperty* start = icalcomponent_get_first_property(observance, ICAL_DTSTART_PROPERTY);
    int changes = 1 + icalcomponent_count_properties(observance, ICAL_RDATE_PROPERTY);
    for (icalproperty* property = icalcomponent_get_first_property(observance, ICAL_RRULE_PROPERTY);
         property && changes <= limit;
         property = icalcomponent_get_next_property(observance, ICAL_RRULE_PROPERTY)) {
        const icalrecurrencetype rule = icalproperty_get_rrule(property);
        if (!start || rule.freq < ICAL_DAILY_RECURRENCE || !readableRule(rule))
            return limit + 1;
        moveRuleStartForward(start, rule);
        icalrecur_iterator* iterator = icalrecur_iterator_new(rule, icalproperty_get_dtstart(start));
        if (!iterator)
            continue;
        for (icaltimetype next = icalrecur_iterator_next(iterator);
             !icaltime_is_null_time(next) && next.year <= zoneExpansionEndYear && changes <= limit;
             next = icalrecur_iterator_next(iterator))
            ++changes;
        icalrecur_iterator_free(iterator);
    }
    return changes;
}

// Whether libical can afford a zone's rules, once those that start before 1601 were moved forward: the
// changes they give up to the last year it expands are bounded.
bool affordableZone(icalcomponent* vtimezone)
{
    int changes = 0;
    for (const icalcomponent_kind kind : {ICAL_XSTANDARD_COMPONENT, ICAL_XDAYLIGHT_COMPONENT}) {
        for (icalcomponent* observance = icalcomponent_get_first_component(vtimezone, kind); observance;
             observance = icalcomponent_get_next_component(vtimezone, kind)) {
            changes += changesOf(observance, maxZoneChanges - changes);
            if (changes > maxZoneChanges)
                return false;
        }
    }
    return true;
}

// A VTIMEZONE, alone or in a VCALENDAR, as a zone of its own; nothing when the text holds none, or
// (refused set) one whose rules libical cannot afford.
icaltimezone* parsedZone(const QByteArray& text, bool& refused)
{
    if (text.isEmpty())
        return nullptr;
    icalcomponent* parsed = icalparser_parse_string(text.constData());
    if (!parsed)
        return nullptr;
    icalcomponent* vtimezone = parsed;
    if (icalcomponent_isa(parsed) != ICAL_VTIMEZONE_COMPONENT) {
        vtimezone = icalcomponent_get_first_component(parsed, ICAL_VTIMEZONE_COMPONENT);
        if (vtimezone)
            icalcomponent_remove_component(parsed, vtimezone);
        icalcomponent_free(parsed);
        if (!vtimezone)
            return nullptr;
    }
    if (!affordableZone(vtimezone)) {
        refused = true;
        icalcomponent_free(vtimezone);
        return nullptr;
    }
    icaltimezone* zone = icaltimezone_new();
    // The zone owns the component once it took it; one without a TZID it refuses.
    if (!icaltimezone_set_component(zone, vtimezone)) {
        icaltimezone_free(zone, 1);
        icalcomponent_free(vtimezone);
        return nullptr;
    }
    return zone;
}

// The zones TZIDs name during one expansion: libical's built-in ones (by their own TZID, which carries
// libical's prefix, or by location), else the calendar's own, asked for once and freed at the end.
class Zones {
public:
    explicit Zones(const EdsZoneLookup& zoneText)
        : zoneText(zoneText)
    {
    }
    Zones(const Zones&) = delete;
    Zones& operator=(const Zones&) = delete;
    ~Zones()
    {
        for (const auto& [tzid, found] : known) {
            if (found.calendars)
                icaltimezone_free(found.zone, 1);
        }
    }

    icaltimezone* find(const char* tzid)
    {
        if (!tzid || !*tzid)
            return nullptr;
        const auto [entry, added] = known.try_emplace(tzid);
        if (!added)
            return entry->second.zone;
        Found& found = entry->second;
        found.zone = icaltimezone_get_builtin_timezone_from_tzid(tzid);
        if (!found.zone)
            found.zone = icaltimezone_get_builtin_timezone(tzid);
        // A TZID the calendar does not know either is asked for once too.
        if (!found.zone && zoneText) {
            bool refusedZone = false;
            found.zone = parsedZone(zoneText(tzid), refusedZone);
            found.calendars = found.zone != nullptr;
            if (refusedZone)
                refused.append(QString::fromUtf8(tzid));
        }
        return found.zone;
    }

    // The TZIDs whose zones the calendar has but libical could not afford, in the order met.
    QStringList refused;

private:
    struct Found {
        icaltimezone* zone = nullptr;
        bool calendars = false; // parsed from the calendar's text, so ours to free
    };
    const EdsZoneLookup& zoneText;
    std::unordered_map<std::string, Found> known;
};

// The zone a time of an event is read in, as calendar applications read it: a UTC time stays UTC; a
// time without TZID, or one whose zone is unknown, is in fallback. A zone the parser set is not kept:
// the zone lookup alone decides. A date keeps none (libical sets no zone on a date), so its day is
// the same everywhere.
void settleZone(icaltimetype& time, icalproperty* property, icaltimezone* fallback, Zones& zones)
{
    if (time.zone != icaltimezone_get_utc_timezone())
        icaltime_set_timezone(&time, nullptr);
    if (icaltime_is_utc(time))
        return;
    icaltime_set_timezone(&time, fallback);
    if (time.is_date || !property)
        return;
    if (icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER)) {
        if (icaltimezone* zone = zones.find(icalparameter_get_tzid(tzid)))
            icaltime_set_timezone(&time, zone);
    }
}

// The zone a time is written in: its own, or for a floating time or a date the user's.
icaltimezone* zoneOf(const icaltimetype& time, icaltimezone* defaultZone)
{
    if (time.zone)
        return const_cast<icaltimezone*>(time.zone);
    return icaltime_is_utc(time) ? icaltimezone_get_utc_timezone() : defaultZone;
}

QDateTime instant(const icaltimetype& time, icaltimezone* zone)
{
    return QDateTime::fromSecsSinceEpoch(qint64(icaltime_as_timet_with_zone(time, zone)), Qt::UTC);
}

// A span as whole days and the seconds left over: days are added to the wall-clock date, so an
// all-day event stays midnight to midnight across a change of summer time.
struct Span {
    int days = 0;
    int seconds = 0;

    static Span of(qint64 seconds) { return {int(seconds / secondsPerDay), int(seconds % secondsPerDay)}; }
    static Span of(const icaldurationtype& duration)
    {
        return of((qint64(duration.weeks) * 7 + duration.days) * secondsPerDay +
                  qint64(duration.hours) * 3600 + qint64(duration.minutes) * 60 + duration.seconds);
    }
};

icaltimetype after(icaltimetype time, Span span)
{
    if (span.seconds != 0)
        time.is_date = 0;
    icaltime_adjust(&time, span.days, 0, 0, span.seconds);
    return time;
}

void addDuration(icaltimetype& time, const icaldurationtype& duration)
{
    if (icaldurationtype_is_null_duration(duration))
        return;
    Span span = Span::of(duration);
    if (duration.is_neg)
        span = {-span.days, -span.seconds};
    time = after(time, span);
}

// Two starts are one occurrence when they are the same instant or, where either is a date, fall on
// the same day in UTC; an all-day EXDATE so removes a timed occurrence of that day.
bool sameOccurrence(const icaltimetype& a, const icaltimetype& b)
{
    return (a.is_date || b.is_date) ? icaltime_compare_date_only(a, b) == 0 : icaltime_compare(a, b) == 0;
}

int utcDay(const icaltimetype& time)
{
    const icaltimetype utc = icaltime_convert_to_zone(time, icaltimezone_get_utc_timezone());
    return utc.year * 10000 + utc.month * 100 + utc.day;
}

struct Occurrence {
    icaltimetype start;
    std::optional<Span> ownSpan; // an RDATE period's; others last as the event does
};

// One event's occurrences, by the day they start on in UTC: the first of two that are one occurrence
// stays, and a removal takes one.
class Occurrences {
public:
    void add(const icaltimetype& start, std::optional<Span> ownSpan = std::nullopt)
    {
        std::vector<Occurrence>& day = days[utcDay(start)];
        if (std::none_of(day.begin(), day.end(),
                         [&](const Occurrence& other) { return sameOccurrence(other.start, start); }))
            day.push_back({start, ownSpan});
    }
    void remove(const icaltimetype& start)
    {
        const auto found = days.find(utcDay(start));
        if (found == days.end())
            return;
        std::vector<Occurrence>& day = found->second;
        const auto same = std::find_if(day.begin(), day.end(), [&](const Occurrence& other) {
            return sameOccurrence(other.start, start);
        });
        if (same != day.end())
            day.erase(same);
    }
    // Earliest first.
    std::vector<Occurrence> sorted() const
    {
        std::vector<Occurrence> all;
        for (const auto& [day, occurrences] : days) {
            const auto first = all.insert(all.end(), occurrences.begin(), occurrences.end());
            std::stable_sort(first, all.end(), [](const Occurrence& a, const Occurrence& b) {
                return icaltime_compare(a.start, b.start) < 0;
            });
        }
        return all;
    }

private:
    std::map<int, std::vector<Occurrence>> days;
};

// One VEVENT's start, end and rules, read in the zones they name.
class Series {
public:
    Series(icalcomponent* vevent, icaltimetype windowStart, icaltimetype windowEnd, icaltimezone* defaultZone,
           Zones& zones)
        : vevent(vevent)
        , windowStart(windowStart)
        , windowEnd(windowEnd)
        , defaultZone(defaultZone)
        , zones(zones)
    {
    }

    // Its occurrences that overlap the window, earliest first, each with its end. Past the limit the
    // list is cut, with one more kept so that the cut shows.
    std::vector<std::pair<icaltimetype, icaltimetype>> occurrences(int limit);

private:
    void readTimes();
    bool overlapsWindow(const icaltimetype& start, std::optional<Span> ownSpan = std::nullopt) const;
    icaltimetype settled(icaltimetype time, icalproperty* property, icaltimezone* fallback)
    {
        settleZone(time, property, fallback, zones);
        return time;
    }
    icalrecurrencetype ruleOf(icalproperty* property, bool exclusion);
    void skipToWindow(icalrecur_iterator* iterator, const icalrecurrencetype& rule) const;
    template <class Visit> void forEachInWindow(icalproperty* ruleProperty, bool exclusion, Visit visit);
    void addDates(icalproperty* rdate);

public:
    // Whether a rule was left unread (one libical cannot take) or stopped at maxRuleStepsPerSeries.
    bool cut = false;

private:
    // The steps libical's iterator may still take, before the window and in it.
    struct Steps {
        int beforeWindow = maxRuleStepsPerSeries;
        int inWindow = maxRuleStepsPerSeries;
    };
    Steps ruleSteps;      // the rules'
    Steps exclusionSteps; // the exclusion rules', which do not spend the rules'

    icalcomponent* vevent;
    icaltimetype windowStart;
    icaltimetype windowEnd;
    icaltimezone* defaultZone;
    Zones& zones;
    icaltimetype dtstart{};
    Span span;
    Occurrences found;
};

icalproperty* firstProperty(icalcomponent* component, icalproperty_kind kind)
{
    return icalcomponent_get_first_property(component, kind);
}

int propertyCount(icalcomponent* component, icalproperty_kind kind)
{
    return icalcomponent_count_properties(component, kind);
}

void Series::readTimes()
{
    dtstart =
        settled(icalcomponent_get_dtstart(vevent), firstProperty(vevent, ICAL_DTSTART_PROPERTY), defaultZone);
    icaltimetype dtend = icalcomponent_get_dtend(vevent);
    if (icaltime_is_null_time(dtend)) {
        dtend = icalcomponent_get_due(vevent);
        if (icaltime_is_null_time(dtend)) {
            const icaldurationtype duration = icalcomponent_get_duration(vevent);
            if (!icaldurationtype_is_null_duration(duration)) {
                dtend = dtstart;
                addDuration(dtend, duration);
            }
        }
        if (icaltime_is_null_time(dtstart) && !icaltime_is_null_time(dtend))
            dtstart = dtend;
        // Without an end a timed event is a moment and an all-day one its day.
        if (icaltime_is_null_time(dtend)) {
            dtend = dtstart;
            if (dtend.is_date)
                icaltime_adjust(&dtend, 1, 0, 0, 0);
        }
    } else {
        if (icaltime_is_null_time(dtstart))
            dtstart = dtend;
        // An all-day event written to end on the day it starts lasts that day.
        if (dtstart.is_date && dtend.is_date && icaltime_compare_date_only(dtstart, dtend) == 0)
            icaltime_adjust(&dtend, 1, 0, 0, 0);
    }
    span = {};
    if (!icaltime_is_null_time(dtend)) {
        // An end given by a duration has no TZID of its own: it is in the start's zone.
        icalproperty* endProperty = firstProperty(vevent, ICAL_DTEND_PROPERTY);
        dtend = settled(dtend, endProperty ? endProperty : firstProperty(vevent, ICAL_DTSTART_PROPERTY),
                        defaultZone);
        const qint64 seconds = qint64(icaltime_as_timet_with_zone(dtend, dtend.zone)) -
                               qint64(icaltime_as_timet_with_zone(dtstart, dtstart.zone));
        span = Span::of(std::max<qint64>(seconds, 0));
    }
}

bool Series::overlapsWindow(const icaltimetype& start, std::optional<Span> ownSpan) const
{
    if (icaltime_is_null_time(start))
        return false;
    // An occurrence without length is in the window from its first instant on.
    const icaltimetype end = after(start, ownSpan.value_or(span));
    const int endAfterWindowStart = icaltime_compare(end, windowStart);
    return icaltime_compare(start, windowEnd) < 0 &&
           (endAfterWindowStart > 0 || (endAfterWindowStart == 0 && icaltime_compare(start, end) == 0));
}

// A rule with its UNTIL read in the start's zone; an UNTIL date on a timed series ends with that day.
icalrecurrencetype Series::ruleOf(icalproperty* property, bool exclusion)
{
    icalrecurrencetype rule =
        exclusion ? icalproperty_get_exrule(property) : icalproperty_get_rrule(property);
    icaltimetype& until = rule.until;
    if (icaltime_is_null_time(until))
        return rule;
    until = settled(until, property, const_cast<icaltimezone*>(dtstart.zone));
    if (until.is_date && !dtstart.is_date) {
        icaltime_adjust(&until, 1, 0, 0, 0);
        until.is_date = 0;
        until.hour = until.minute = until.second = 0;
        if (!until.zone && !icaltime_is_utc(until))
            icaltime_set_timezone(&until, dtstart.zone);
    }
    return rule;
}

// Whether libical's iterator, moved to a later start, gives what it would have given from DTSTART: for
// a series in UTC or of whole days, and then not for a COUNT (the count is of every start before), for
// a rule repeating every few hours, minutes or seconds (it loses the step's phase), for a weekly rule
// with an ordinal BYDAY such as 2WE, nor for an all-day series given hours.
bool skipsExactly(const icalrecurrencetype& rule, const icaltimetype& dtstart)
{
    // In a zone with summer time libical now and then moves a start by the hour the clocks change, and
    // whether it does depends on where it began iterating.
    if (!dtstart.is_date && !icaltime_is_utc(dtstart))
        return false;
    if (rule.count > 0 || rule.freq > ICAL_YEARLY_RECURRENCE)
        return false;
    if (rule.freq < ICAL_DAILY_RECURRENCE && rule.interval > 1)
        return false;
    if (dtstart.is_date &&
        (rule.by_hour[0] != ICAL_RECURRENCE_ARRAY_MAX || rule.by_minute[0] != ICAL_RECURRENCE_ARRAY_MAX ||
         rule.by_second[0] != ICAL_RECURRENCE_ARRAY_MAX))
        return false;
    if (rule.freq != ICAL_WEEKLY_RECURRENCE)
        return true;
    for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
        if (icalrecurrencetype_day_position(rule.by_day[i]) != 0)
            return false;
    }
    return true;
}

// A series that began long before the window starts iterating shortly before it: the starts the rule
// gives between are of no use.
void Series::skipToWindow(icalrecur_iterator* iterator, const icalrecurrencetype& rule) const
{
    // An occurrence that starts before the window may last into it; two days more cover any zone.
    const qint64 skipTo = qint64(icaltime_as_timet(windowStart)) - qint64(span.days + 2) * secondsPerDay;
    if (qint64(icaltime_as_timet_with_zone(dtstart, dtstart.zone)) >= skipTo || !skipsExactly(rule, dtstart))
        return;
    // A series that ended before has nothing in the window; moving past its end is not asked of libical.
    if (!icaltime_is_null_time(rule.until) &&
        qint64(icaltime_as_timet_with_zone(rule.until, rule.until.zone)) < skipTo)
        return;
    icalrecur_iterator_set_start(
        iterator, icaltime_from_timet_with_zone(time_t(skipTo), dtstart.is_date, dtstart.zone));
}

// Calls visit with each start the rule gives that overlaps the window, until it returns false. The
// series' steps are bounded too: a rule that gives starts long before the window (every second since
// 1900), or none at all, is stopped.
template <class Visit> void Series::forEachInWindow(icalproperty* ruleProperty, bool exclusion, Visit visit)
{
    const icalrecurrencetype rule = ruleOf(ruleProperty, exclusion);
    if (!readableRule(rule)) {
        cut = true;
        return;
    }
    icalrecur_iterator* iterator = icalrecur_iterator_new(rule, dtstart);
    if (!iterator)
        return;
    skipToWindow(iterator, rule);
    icaltimetype previous = icaltime_null_time();
    for (icaltimetype next = icalrecur_iterator_next(iterator);
         !icaltime_is_null_time(next) && icaltime_compare(next, windowEnd) <= 0;
         next = icalrecur_iterator_next(iterator)) {
        Steps& steps = exclusion ? exclusionSteps : ruleSteps;
        if (--(icaltime_compare(next, windowStart) < 0 ? steps.beforeWindow : steps.inWindow) < 0) {
            cut = true;
            break;
        }
        // A rule libical cannot take further repeats its last start.
        if (!icaltime_is_null_time(previous) && icaltime_compare(next, previous) == 0)
            break;
        previous = next;
        if (overlapsWindow(next) && !visit(next))
            break;
    }
    icalrecur_iterator_free(iterator);
}

void Series::addDates(icalproperty* property)
{
    const icaldatetimeperiodtype rdate = icalproperty_get_rdate(property);
    icaltimetype start = rdate.time;
    icaldurationtype duration = icaldurationtype_null_duration();
    if (icaltime_is_null_time(start) && !icalperiodtype_is_null_period(rdate.period)) {
        // A period lasts to its end or for its duration, and one written backwards starts at its end.
        start = rdate.period.start;
        if (!icaltime_is_null_time(rdate.period.end)) {
            qint64 seconds = qint64(icaltime_as_timet(rdate.period.end)) - qint64(icaltime_as_timet(start));
            duration.is_neg = seconds < 0;
            seconds = std::abs(seconds);
            duration.weeks = unsigned(seconds / (7 * secondsPerDay));
            duration.days = unsigned(seconds % (7 * secondsPerDay) / secondsPerDay);
            duration.hours = unsigned(seconds % secondsPerDay / 3600);
            duration.minutes = unsigned(seconds % 3600 / 60);
            duration.seconds = unsigned(seconds % 60);
        } else {
            duration = rdate.period.duration;
        }
        if (!icaldurationtype_is_null_duration(duration) && !icaltime_is_null_time(start) &&
            duration.is_neg) {
            addDuration(start, duration);
            duration.is_neg = 0;
        }
    }
    if (icaltime_is_null_time(start))
        return;
    start = settled(start, property, const_cast<icaltimezone*>(dtstart.zone));
    const std::optional<Span> ownSpan =
        icaldurationtype_is_null_duration(duration) ? std::nullopt : std::optional(Span::of(duration));
    if (overlapsWindow(start, ownSpan))
        found.add(start, ownSpan);
}

std::vector<std::pair<icaltimetype, icaltimetype>> Series::occurrences(int limit)
{
    readTimes();
    found = {};
    if (overlapsWindow(dtstart))
        found.add(dtstart);
    // A detached instance is only its own start.
    if (!firstProperty(vevent, ICAL_RECURRENCEID_PROPERTY)) {
        // Starts a rule gives come in order: once a rule gave more in the window than the limit and
        // the EXDATEs could take away, the rest would be cut anyway. Other rules and dates only add to
        // the earlier ones; an EXRULE can take away any number, so with one every start is made.
        const bool bounded = !firstProperty(vevent, ICAL_EXRULE_PROPERTY);
        const int enough = limit + propertyCount(vevent, ICAL_EXDATE_PROPERTY) + 1;
        for (icalproperty* rrule = firstProperty(vevent, ICAL_RRULE_PROPERTY); rrule;
             rrule = icalcomponent_get_next_property(vevent, ICAL_RRULE_PROPERTY)) {
            int given = 0;
            forEachInWindow(rrule, false, [&](const icaltimetype& start) {
                found.add(start);
                return !bounded || ++given < enough;
            });
        }
        for (icalproperty* rdate = firstProperty(vevent, ICAL_RDATE_PROPERTY); rdate;
             rdate = icalcomponent_get_next_property(vevent, ICAL_RDATE_PROPERTY))
            addDates(rdate);
        for (icalproperty* exrule = firstProperty(vevent, ICAL_EXRULE_PROPERTY); exrule;
             exrule = icalcomponent_get_next_property(vevent, ICAL_EXRULE_PROPERTY)) {
            forEachInWindow(exrule, true, [&](const icaltimetype& start) {
                found.remove(start);
                return true;
            });
        }
        for (icalproperty* exdateProperty = firstProperty(vevent, ICAL_EXDATE_PROPERTY); exdateProperty;
             exdateProperty = icalcomponent_get_next_property(vevent, ICAL_EXDATE_PROPERTY)) {
            icaltimetype exdate = icalproperty_get_exdate(exdateProperty);
            if (icaltime_is_null_time(exdate))
                continue;
            exdate = settled(exdate, exdateProperty, const_cast<icaltimezone*>(dtstart.zone));
            if (!exdate.zone && !icaltime_is_utc(exdate))
                icaltime_set_timezone(&exdate, dtstart.zone);
            if (overlapsWindow(exdate))
                found.remove(exdate);
        }
    }
    std::vector<std::pair<icaltimetype, icaltimetype>> result;
    for (const Occurrence& occurrence : found.sorted()) {
        result.emplace_back(occurrence.start, after(occurrence.start, occurrence.ownSpan.value_or(span)));
        if (int(result.size()) > limit)
            break;
    }
    return result;
}

// Two spellings of an occurrence's original start. The identifier keeps the calendar's own, as its
// RECURRENCE-ID would write it (the calendar applications name occurrences so); a detached instance
// and the occurrence it replaces are matched by the instant, which holds however each was written (a
// date only matches the same date).
using InstantKey = std::pair<bool, qint64>; // a date and its yyyymmdd, or seconds since the epoch

struct RecurrenceId {
    QString written;
    InstantKey instant;
};

InstantKey instantKey(const icaltimetype& time, icaltimezone* zone)
{
    if (time.is_date)
        return {true, time.year * 10000 + time.month * 100 + time.day};
    return {false, qint64(icaltime_as_timet_with_zone(time, zone))};
}

QString writtenId(const icaltimetype& time)
{
    char* written = icaltime_as_ical_string_r(time);
    QString id = QString::fromUtf8(written);
    icalmemory_free_buffer(written);
    return id;
}

// The RECURRENCE-ID of a detached instance; nothing for other events.
std::optional<RecurrenceId> detachedRecurrenceId(icalcomponent* vevent, icaltimezone* defaultZone,
                                                 Zones& zones)
{
    icalproperty* property = firstProperty(vevent, ICAL_RECURRENCEID_PROPERTY);
    if (!property)
        return std::nullopt;
    const icaltimetype time = icalproperty_get_recurrenceid(property);
    if (icaltime_is_null_time(time))
        return std::nullopt;
    icaltimezone* zone = nullptr;
    if (icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER))
        zone = zones.find(icalparameter_get_tzid(tzid));
    return RecurrenceId{writtenId(time), instantKey(time, zone ? zone : zoneOf(time, defaultZone))};
}

bool repeats(icalcomponent* vevent)
{
    return firstProperty(vevent, ICAL_RRULE_PROPERTY) || firstProperty(vevent, ICAL_RDATE_PROPERTY);
}

// A parsed component, freed when it goes.
struct Component {
    explicit Component(QByteArrayView text)
        : component(icalparser_parse_string(text.toByteArray().constData()))
    {
    }
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;
    ~Component()
    {
        if (component)
            icalcomponent_free(component);
    }
    icalcomponent* vevent() const
    {
        return component && icalcomponent_isa(component) == ICAL_VEVENT_COMPONENT ? component : nullptr;
    }

    icalcomponent* component;
};

icaltimetype icalInstant(const QDateTime& date)
{
    return icaltime_from_timet_with_zone(time_t(date.toSecsSinceEpoch()), 0, icaltimezone_get_utc_timezone());
}

// Which occurrences detached instances stand for, by uid. Only a text that names a RECURRENCE-ID is
// parsed for it.
QHash<QString, std::set<InstantKey>> replacedOccurrences(const QList<QByteArrayView>& vevents,
                                                         icaltimezone* defaultZone, Zones& zones)
{
    QHash<QString, std::set<InstantKey>> replaced;
    for (QByteArrayView vtext : vevents) {
        if (!QLatin1String(vtext.data(), vtext.size())
                 .contains(QLatin1String("RECURRENCE-ID"), Qt::CaseInsensitive))
            continue;
        const Component parsed(vtext);
        if (icalcomponent* vevent = parsed.vevent()) {
            if (std::optional<RecurrenceId> detached = detachedRecurrenceId(vevent, defaultZone, zones))
                replaced[text(icalcomponent_get_uid(vevent))].insert(detached->instant);
        }
    }
    return replaced;
}

} // namespace

EdsExpansion expandCalendarEvents(const QList<QByteArrayView>& vevents, const EdsCalendarSource& source,
                                  const QDateTime& from, const QDateTime& to, const EdsZoneLookup& zoneText,
                                  icaltimezone* defaultZone)
{
    EdsExpansion expansion;
    const icaltimetype windowStart = icalInstant(from);
    const icaltimetype windowEnd = icalInstant(to);
    if (icaltime_compare(windowStart, windowEnd) >= 0)
        return expansion;
    if (!defaultZone)
        defaultZone = icaltimezone_get_utc_timezone();
    Zones zones(zoneText);
    const QHash<QString, std::set<InstantKey>> replaced = replacedOccurrences(vevents, defaultZone, zones);
    const std::optional<QString> calendarTitle =
        source.displayName.isEmpty() ? std::nullopt : std::optional(source.displayName);

    for (QByteArrayView vtext : vevents) {
        const Component parsed(vtext);
        icalcomponent* vevent = parsed.vevent();
        if (!vevent)
            continue;
        const QString uid = text(icalcomponent_get_uid(vevent));
        if (uid.isEmpty())
            continue; // nothing could find it again
        const std::optional<RecurrenceId> detached = detachedRecurrenceId(vevent, defaultZone, zones);
        const bool repeating = !detached && repeats(vevent);
        const auto replacedHere = replaced.constFind(uid);
        CalendarEvent pattern;
        pattern.externalIdentifier = uid;
        pattern.title = text(icalcomponent_get_summary(vevent));
        pattern.calendarTitle = calendarTitle;
        pattern.location = presentText(icalcomponent_get_location(vevent));
        pattern.notes = presentText(icalcomponent_get_description(vevent));

        Series series(vevent, windowStart, windowEnd, defaultZone, zones);
        const auto occurrences = series.occurrences(maxOccurrencesPerSeries);
        if (int(occurrences.size()) > maxOccurrencesPerSeries)
            ++expansion.truncatedSeries;
        if (series.cut)
            ++expansion.cutSeries;
        for (int i = 0; i < std::min<int>(occurrences.size(), maxOccurrencesPerSeries); ++i) {
            const auto& [start, end] = occurrences[i];
            icaltimezone* startZone = zoneOf(start, defaultZone);
            std::optional<QString> recurrenceId = detached ? std::optional(detached->written) : std::nullopt;
            if (repeating) {
                if (replacedHere != replaced.cend() && replacedHere->count(instantKey(start, startZone)))
                    continue;
                recurrenceId = writtenId(start);
            }
            CalendarEvent event = pattern;
            event.identifier = edsItemIdentifier({source.uid, uid, recurrenceId});
            event.startDate = instant(start, startZone);
            event.endDate = std::max(event.startDate, instant(end, zoneOf(end, defaultZone)));
            expansion.events.append(std::move(event));
        }
    }
    expansion.refusedZones = zones.refused;
    return expansion;
}

} // namespace morvane
