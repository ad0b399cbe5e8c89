#pragma once

// The expansion for a reader that lists calendars through the service's client library: its components
// are written back to text and its zone lookup answers with the zone's VTIMEZONE. Goes when the reader
// reads calendars over the bus.

// GLib's headers name struct members "signals", which Qt defines as a keyword: they come first.
#pragma push_macro("signals")
#undef signals
#include <libecal/libecal.h>
#pragma pop_macro("signals")

#include "platform/eds/EdsMapping.h"

namespace morvane {

inline EdsExpansion expandCalendarEvents(GSList* vevents, const EdsCalendarSource& source,
                                         const QDateTime& from, const QDateTime& to,
                                         ECalRecurResolveTimezoneCb resolveZone, gpointer resolveData,
                                         ICalTimezone* defaultZone)
{
    const auto written = [](gchar* text) {
        QByteArray result(text);
        g_free(text);
        return result;
    };
    QList<QByteArray> texts;
    for (GSList* item = vevents; item; item = item->next)
        texts.append(written(i_cal_component_as_ical_string(static_cast<ICalComponent*>(item->data))));
    const auto zoneText = [&](const char* tzid) -> QByteArray {
        ICalTimezone* zone = resolveZone(tzid, resolveData, nullptr, nullptr);
        ICalComponent* vtimezone = zone ? i_cal_timezone_get_component(zone) : nullptr;
        if (!vtimezone)
            return {};
        QByteArray text = written(i_cal_component_as_ical_string(vtimezone));
        g_object_unref(vtimezone);
        return text;
    };
    return expandCalendarEvents(
        QList<QByteArrayView>(texts.begin(), texts.end()), source, from, to, zoneText,
        defaultZone ? static_cast<icaltimezone*>(i_cal_object_get_native(I_CAL_OBJECT(defaultZone)))
                    : userTimeZone());
}

} // namespace morvane
