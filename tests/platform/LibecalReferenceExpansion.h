#pragma once

#include "platform/eds/EdsMapping.h"

namespace morvane {

// The expansion as the calendar service's client library makes it, kept to check the one the reader
// uses against: same arguments, same answer.
EdsExpansion libecalReferenceExpansion(const QList<QByteArrayView>& vevents, const EdsCalendarSource& source,
                                       const QDateTime& from, const QDateTime& to,
                                       const EdsZoneLookup& zoneText, icaltimezone* defaultZone);

} // namespace morvane
