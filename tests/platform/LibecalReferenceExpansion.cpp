// GLib's headers name struct members "signals", which Qt defines as a keyword: they come first.
#pragma push_macro("signals")
#undef signals
#include <libecal/libecal.h>
#pragma pop_macro("signals")

#include "LibecalReferenceExpansion.h"

#include "platform/GObjectRef.h"

#include <QHash>
#include <QSet>

#include <map>
#include <string>

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

// How the client library's lookup answered: libical's zones, else the calendar's VTIMEZONE.
struct Resolver {
    const EdsZoneLookup* zoneText;
    ICalTimezone* defaultZone;
    std::map<std::string, ICalTimezone*> parsed;

    ~Resolver()
    {
        for (const auto& [tzid, zone] : parsed) {
            if (zone)
                g_object_unref(zone);
        }
    }

    static ICalTimezone* resolve(const gchar* tzid, gpointer data, GCancellable*, GError**)
    {
        auto& self = *static_cast<Resolver*>(data);
        if (ICalTimezone* builtin = i_cal_timezone_get_builtin_timezone_from_tzid(tzid))
            return builtin;
        if (ICalTimezone* builtin = i_cal_timezone_get_builtin_timezone(tzid))
            return builtin;
        const auto [known, added] = self.parsed.try_emplace(tzid, nullptr);
        if (added && *self.zoneText) {
            const QByteArray vtimezone = (*self.zoneText)(tzid);
            ICalComponent* component =
                vtimezone.isEmpty() ? nullptr : i_cal_component_new_from_string(vtimezone.constData());
            if (component && i_cal_component_isa(component) == I_CAL_VCALENDAR_COMPONENT) {
                ICalComponent* inner =
                    i_cal_component_get_first_component(component, I_CAL_VTIMEZONE_COMPONENT);
                ICalComponent* vtimezone = inner ? i_cal_component_clone(inner) : nullptr;
                if (inner)
                    g_object_unref(inner);
                g_object_unref(component);
                component = vtimezone;
            }
            if (component) {
                ICalTimezone* zone = i_cal_timezone_new();
                if (i_cal_timezone_set_component(zone, component))
                    known->second = zone;
                else
                    g_object_unref(zone);
                g_object_unref(component);
            }
        }
        return known->second;
    }
};

std::optional<RecurrenceId> detachedRecurrenceId(ICalComponent* vevent, Resolver& resolver)
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
            i_cal_property_get_first_parameter(property.get(), I_CAL_TZID_PARAMETER)}) {
        zone = Resolver::resolve(i_cal_parameter_get_tzid(tzid.get()), &resolver, nullptr, nullptr);
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
    CalendarEvent pattern;
    QString uid;
    std::optional<QString> recurrenceId;
    bool repeating = false;
    const QSet<QString>* replaced = nullptr;
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

ICalTimezone* wrapped(icaltimezone* zone)
{
    if (zone == icaltimezone_get_utc_timezone())
        return i_cal_timezone_get_utc_timezone();
    return i_cal_timezone_get_builtin_timezone(icaltimezone_get_location(zone));
}

} // namespace

EdsExpansion libecalReferenceExpansion(const QList<QByteArrayView>& texts, const EdsCalendarSource& source,
                                       const QDateTime& from, const QDateTime& to,
                                       const EdsZoneLookup& zoneText, icaltimezone* nativeDefaultZone)
{
    // As the client library lists a calendar: each text parsed on its own, those that do not parse left out.
    GSList* vevents = nullptr;
    for (QByteArrayView vtext : texts) {
        if (ICalComponent* component = i_cal_component_new_from_string(vtext.toByteArray().constData()))
            vevents = g_slist_append(vevents, component);
    }
    Resolver resolver{&zoneText, wrapped(nativeDefaultZone), {}};
    ICalTimezone* defaultZone = resolver.defaultZone;

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
            continue;
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
                                            Resolver::resolve, &resolver, defaultZone, nullptr, nullptr);
    }
    g_slist_free_full(vevents, g_object_unref);
    return expansion;
}

} // namespace morvane
