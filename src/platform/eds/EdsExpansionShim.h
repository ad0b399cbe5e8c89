#pragma once

// TEMPORARY: the expansion's plain-libical interface, served by the client library's expansion until
// that rewrite lands in EdsMapping; this file and its .cpp go then.
#include "platform/eds/EdsMapping.h"

#include <libical/ical.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <functional>

namespace morvane {

icaltimezone* userTimeZone();
using EdsZoneLookup = std::function<QByteArray(const char* tzid)>;
EdsExpansion expandCalendarEvents(const QList<QByteArrayView>& vevents, const EdsCalendarSource& source,
                                  const QDateTime& from, const QDateTime& to, const EdsZoneLookup& zoneText,
                                  icaltimezone* defaultZone);

} // namespace morvane
