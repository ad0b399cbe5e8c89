// TEMPORARY: see EdsExpansionShim.h.
#include "platform/eds/EdsExpansionShim.h"

#include "platform/GObjectRef.h"

#include <memory>
#include <vector>

namespace morvane {

icaltimezone* userTimeZone()
{
    if (ICalTimezone* zone = e_cal_util_get_system_timezone())
        return static_cast<icaltimezone*>(i_cal_object_get_native(I_CAL_OBJECT(zone)));
    return icaltimezone_get_utc_timezone();
}

namespace {

struct Zones {
    const EdsZoneLookup* lookup;
    std::vector<GObjectRef<ICalTimezone>> made;
};

ICalTimezone* resolve(const gchar* tzid, gpointer data, GCancellable*, GError**)
{
    auto& zones = *static_cast<Zones*>(data);
    if (!tzid || !*tzid)
        return nullptr;
    if (ICalTimezone* builtin = i_cal_timezone_get_builtin_timezone_from_tzid(tzid))
        return builtin;
    if (ICalTimezone* builtin = i_cal_timezone_get_builtin_timezone(tzid))
        return builtin;
    const QByteArray text = (*zones.lookup)(tzid);
    if (text.isEmpty())
        return nullptr;
    GObjectRef<ICalComponent> component(i_cal_component_new_from_string(text.constData()));
    if (!component)
        return nullptr;
    GObjectRef<ICalTimezone> zone(i_cal_timezone_new());
    if (!i_cal_timezone_set_component(zone.get(), component.get()))
        return nullptr;
    zones.made.push_back(std::move(zone));
    return zones.made.back().get();
}

} // namespace

EdsExpansion expandCalendarEvents(const QList<QByteArrayView>& vevents, const EdsCalendarSource& source,
                                  const QDateTime& from, const QDateTime& to, const EdsZoneLookup& zoneText,
                                  icaltimezone* defaultZone)
{
    GSList* components = nullptr;
    for (QByteArrayView vevent : vevents) {
        const QByteArray text = vevent.toByteArray();
        if (ICalComponent* component = i_cal_component_new_from_string(text.constData()))
            components = g_slist_prepend(components, component);
    }
    components = g_slist_reverse(components);
    ICalTimezone* zone = defaultZone == icaltimezone_get_utc_timezone()
                             ? i_cal_timezone_get_utc_timezone()
                             : i_cal_timezone_get_builtin_timezone(icaltimezone_get_location(defaultZone));
    Zones zones{&zoneText, {}};
    EdsExpansion expansion = expandCalendarEvents(components, source, from, to, &resolve, &zones,
                                                  zone ? zone : i_cal_timezone_get_utc_timezone());
    g_slist_free_full(components, g_object_unref);
    return expansion;
}

} // namespace morvane
