#pragma once

#include <QString>

namespace morvane {

// The line shown under a calendar event: "<day>, <start time> - <end time>" when it starts and ends
// on the same day, else "<start date and time> - <end date and time>". Medium dates with relative
// day words ("Today", "Tomorrow", in the user's language and capitalised as at the start of a
// sentence), short times, in the user's locale (with its calendar) and the current time zone.
// Instants are milliseconds since 1970 UTC.
QString eventDateLine(double startMilliseconds, double endMilliseconds);

} // namespace morvane
