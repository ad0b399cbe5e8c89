#include "platform/eds/EdsMapping.h"

#include "platform/GObjectRef.h"

#include <QHash>
#include <QSet>

#include <memory>

namespace morvane {

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

// The zone a time is written in: its own, UTC, or for a floating time or a date the user's.
ICalTimezone* zoneOf(ICalTime* time, ICalTimezone* defaultZone)
{
    if (ICalTimezone* own = i_cal_time_get_timezone(time))
        return own;
    if (i_cal_time_is_utc(time))
        return i_cal_timezone_get_utc_timezone();
    return defaultZone;
}

QDateTime instant(ICalTime* time, ICalTimezone* zone)
{
    return QDateTime::fromSecsSinceEpoch(qint64(i_cal_time_as_timet_with_zone(time, zone)), Qt::UTC);
}

// Two spellings of an occurrence's original start. The identifier keeps the calendar's own, as its
// RECURRENCE-ID would write it (the calendar applications name occurrences so); a detached instance
// and the occurrence it replaces are matched by the instant, which holds however each was written.
struct RecurrenceId {
    QString written;
    QString instant;
};

RecurrenceId recurrenceIdOf(ICalTime* time, ICalTimezone* zone)
{
    gchar* written = i_cal_time_as_ical_string(time);
    RecurrenceId id{QString::fromUtf8(written),
                    i_cal_time_is_date(time)
                        ? QString::fromUtf8(written)
                        : instant(time, zone).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"))};
    g_free(written);
    return id;
}

ICalTime* icalInstant(const QDateTime& date)
{
    return i_cal_time_new_from_timet_with_zone(time_t(date.toSecsSinceEpoch()), 0,
                                               i_cal_timezone_get_utc_timezone());
}

struct Resolver {
    ECalRecurResolveTimezoneCb resolve;
    gpointer data;
    ICalTimezone* defaultZone;
};

// The RECURRENCE-ID of a detached instance; nothing for other events.
std::optional<RecurrenceId> detachedRecurrenceId(ICalComponent* vevent, const Resolver& resolver)
{
    GObjectRef<ICalProperty> property(
        i_cal_component_get_first_property(vevent, I_CAL_RECURRENCEID_PROPERTY));
    if (!property)
        return std::nullopt;
    GObjectRef<ICalTime> time(i_cal_property_get_recurrenceid(property.get()));
    if (!time || i_cal_time_is_null_time(time.get()))
        return std::nullopt;
    ICalTimezone* zone = nullptr;
    if (GObjectRef<ICalParameter> tzid{
            i_cal_property_get_first_parameter(property.get(), I_CAL_TZID_PARAMETER)};
        tzid && resolver.resolve) {
        zone = resolver.resolve(i_cal_parameter_get_tzid(tzid.get()), resolver.data, nullptr, nullptr);
    }
    return recurrenceIdOf(time.get(), zone ? zone : zoneOf(time.get(), resolver.defaultZone));
}

bool repeats(ICalComponent* vevent)
{
    for (ICalPropertyKind kind : {I_CAL_RRULE_PROPERTY, I_CAL_RDATE_PROPERTY}) {
        if (GObjectRef<ICalProperty>(i_cal_component_get_first_property(vevent, kind)))
            return true;
    }
    return false;
}

struct Expanding {
    EdsExpansion* out;
    const EdsCalendarSource* source;
    const Resolver* resolver;
    CalendarEvent pattern; // the event's values; identifier and times per occurrence
    QString uid;
    std::optional<QString> recurrenceId; // a detached instance's own, as written
    bool repeating = false;
    const QSet<QString>* replaced = nullptr; // occurrences that detached instances stand for
    int count = 0;
};

gboolean addOccurrence(ICalComponent*, ICalTime* start, ICalTime* end, gpointer data, GCancellable*, GError**)
{
    auto& expanding = *static_cast<Expanding*>(data);
    if (++expanding.count > maxOccurrencesPerSeries) {
        ++expanding.out->truncatedSeries;
        return false;
    }
    ICalTimezone* startZone = zoneOf(start, expanding.resolver->defaultZone);
    std::optional<QString> recurrenceId = expanding.recurrenceId;
    if (expanding.repeating) {
        const RecurrenceId occurrence = recurrenceIdOf(start, startZone);
        if (expanding.replaced && expanding.replaced->contains(occurrence.instant))
            return true;
        recurrenceId = occurrence.written;
    }
    CalendarEvent event = expanding.pattern;
    event.identifier = edsItemIdentifier({expanding.source->uid, expanding.uid, recurrenceId});
    event.startDate = instant(start, startZone);
    event.endDate = end ? instant(end, zoneOf(end, expanding.resolver->defaultZone)) : event.startDate;
    if (event.endDate < event.startDate)
        event.endDate = event.startDate;
    expanding.out->events.append(std::move(event));
    return true;
}

} // namespace

EdsExpansion expandCalendarEvents(GSList* vevents, const EdsCalendarSource& source, const QDateTime& from,
                                  const QDateTime& to, ECalRecurResolveTimezoneCb resolveZone,
                                  gpointer resolveData, ICalTimezone* defaultZone)
{
    const Resolver resolver{resolveZone, resolveData, defaultZone};
    // A detached instance replaces its series' occurrence of the same recurrence id.
    QHash<QString, QSet<QString>> replaced;
    for (GSList* item = vevents; item; item = item->next) {
        auto* vevent = static_cast<ICalComponent*>(item->data);
        if (std::optional<RecurrenceId> detached = detachedRecurrenceId(vevent, resolver))
            replaced[text(i_cal_component_get_uid(vevent))].insert(detached->instant);
    }

    EdsExpansion expansion;
    GObjectRef<ICalTime> start(icalInstant(from));
    GObjectRef<ICalTime> end(icalInstant(to));
    for (GSList* item = vevents; item; item = item->next) {
        auto* vevent = static_cast<ICalComponent*>(item->data);
        if (i_cal_component_isa(vevent) != I_CAL_VEVENT_COMPONENT)
            continue;
        const QString uid = text(i_cal_component_get_uid(vevent));
        if (uid.isEmpty())
            continue; // nothing could find it again
        const std::optional<RecurrenceId> detached = detachedRecurrenceId(vevent, resolver);
        Expanding expanding{&expansion, &source, &resolver,
                            {},         uid,     detached ? std::optional(detached->written) : std::nullopt};
        expanding.repeating = !expanding.recurrenceId && repeats(vevent);
        expanding.replaced = replaced.contains(uid) ? &replaced[uid] : nullptr;
        expanding.pattern.externalIdentifier = uid;
        expanding.pattern.title = text(i_cal_component_get_summary(vevent));
        expanding.pattern.calendarTitle =
            source.displayName.isEmpty() ? std::nullopt : std::optional(source.displayName);
        expanding.pattern.location = presentText(i_cal_component_get_location(vevent));
        expanding.pattern.notes = presentText(i_cal_component_get_description(vevent));
        e_cal_recur_generate_instances_sync(vevent, start.get(), end.get(), addOccurrence, &expanding,
                                            resolveZone, resolveData, defaultZone, nullptr, nullptr);
    }
    return expansion;
}

std::optional<ContactCard> contactCard(EContact* contact, const QString& sourceUid)
{
    const auto field = [contact](EContactField id) {
        return text(static_cast<const char*>(e_contact_get_const(contact, id)));
    };
    const QString uid = field(E_CONTACT_UID);
    if (uid.isEmpty())
        return std::nullopt;
    ContactCard card{edsItemIdentifier({sourceUid, uid, std::nullopt}), field(E_CONTACT_GIVEN_NAME),
                     field(E_CONTACT_FAMILY_NAME), field(E_CONTACT_ORG),
                     field(E_CONTACT_FULL_NAME).trimmed()};
    // A card written without its full name (a vCard with only N) is named by its parts.
    if (card.fullName.isEmpty())
        card.fullName = (card.givenName + u' ' + card.familyName).trimmed();
    return card;
}

} // namespace morvane
