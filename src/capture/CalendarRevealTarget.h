#pragma once

#include <QString>

namespace morvane {

class DesktopServices;
class UserDefaults;

// Where a saved calendar event is shown when it is opened. The raw values are stored and shown.
enum class CalendarRevealTarget {
    automatic,     // "Automatic": Fantastical when it is installed, else Calendar
    fantastical,   // "Fantastical"
    appleCalendar, // "Apple Calendar"
};

// The user's choice, under this key as its raw value; absent means automatic.
inline const QString calendarRevealTargetKey = QStringLiteral("preferences.calendarRevealTarget");

QString rawValue(CalendarRevealTarget target);

// The stored choice, read afresh; a missing or unknown value is automatic (raw values are exact:
// case counts).
CalendarRevealTarget storedCalendarRevealTarget(const UserDefaults& defaults);

// Whether any edition of Fantastical is installed.
bool isFantasticalInstalled(const DesktopServices& desktop);

} // namespace morvane
