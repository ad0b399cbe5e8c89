#include "CalendarRevealTarget.h"

#include "foundation/EnumNames.h"
#include "foundation/UserDefaults.h"
#include "platform/DesktopServices.h"

namespace morvane {

namespace {

constexpr EnumName<CalendarRevealTarget> revealTargetNames[] = {
    {CalendarRevealTarget::automatic, "Automatic"},
    {CalendarRevealTarget::fantastical, "Fantastical"},
    {CalendarRevealTarget::appleCalendar, "Apple Calendar"},
};

} // namespace

QString rawValue(CalendarRevealTarget target)
{
    return enumNameText(revealTargetNames, target);
}

CalendarRevealTarget storedCalendarRevealTarget(const UserDefaults& defaults)
{
    return enumValue(revealTargetNames, defaults.stringValue(calendarRevealTargetKey).value_or(QString()))
        .value_or(CalendarRevealTarget::automatic);
}

bool isFantasticalInstalled(const DesktopServices& desktop)
{
    for (const char* identifier :
         {"com.flexibits.fantastical2.mac", "com.flexibits.fantastical.mac", "com.flexibits.fantastical"}) {
        if (desktop.applicationPath(QString::fromLatin1(identifier)))
            return true;
    }
    return false;
}

} // namespace morvane
