#include "GnomeCalendarEventReader.h"

#include "foundation/Text.h"

#include <QRegularExpression>

namespace morvane {

namespace {

constexpr int maxTitleLength = 1000;

AccessibilityElements::Walk windowWalk()
{
    AccessibilityElements::Walk walk;
    walk.maxDepth = 30;
    walk.maxNodes = 3000;
    walk.maxChildren = 200;
    walk.showingOnly = false; // GTK 4 marks few elements showing
    walk.skipRoles = {AccessibilityRole::menu, AccessibilityRole::popupMenu};
    return walk;
}

bool isNamed(const AccessibilityElements& api, const AccessibilityElement& element, QLatin1String name)
{
    return api.name(element) == name;
}

QString textOf(const AccessibilityElements& api, const AccessibilityElement& element)
{
    return trimmedText(api.text(element, maxTitleLength).value_or(QString()));
}

// A time as the desktop writes one: "14:05", "2:05 PM", "2:05 p.m.".
const QRegularExpression& timePattern()
{
    static const QRegularExpression pattern(
        QStringLiteral(R"((\d{1,2}):(\d{2})(?:\s*([AaPp])\.?\s*[Mm]\.?)?)"));
    return pattern;
}

std::optional<QTime> timeOf(const QRegularExpressionMatch& match)
{
    int hour = match.captured(1).toInt();
    const QString meridiem = match.captured(3).toLower();
    if (!meridiem.isEmpty()) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (meridiem == QLatin1String("p") ? 12 : 0);
    }
    const QTime time(hour, match.captured(2).toInt());
    return time.isValid() ? std::optional(time) : std::nullopt;
}

// The first three numbers of a date text.
QList<int> dateNumbers(QStringView text)
{
    static const QRegularExpression number(QStringLiteral(R"(\d+)"));
    QList<int> numbers;
    for (QRegularExpressionMatchIterator it = number.globalMatch(text.toString());
         it.hasNext() && numbers.size() < 3;)
        numbers.append(it.next().captured().toInt());
    return numbers.size() == 3 ? numbers : QList<int>();
}

// The editor: the title field, the start's date and time, the calendar.
std::optional<ShownCalendarEvent> readEditor(const AccessibilityElements& api,
                                             const AccessibilityElement& window)
{
    const AccessibilityElements::Walk walk = windowWalk();
    const std::optional<AccessibilityElement> summary = api.findFirst(
        window,
        [&](const AccessibilityElement& e) { return isNamed(api, e, QLatin1String("GcalSummarySection")); },
        walk);
    if (!summary)
        return std::nullopt;
    ShownCalendarEvent shown;
    api.findFirst(
        *summary,
        [&](const AccessibilityElement& e) {
            const AccessibilityRole role = api.role(e);
            if (role == AccessibilityRole::text || role == AccessibilityRole::entry)
                shown.title = textOf(api, e);
            return !shown.title.isEmpty();
        },
        walk);

    // The start's date selector comes first, its hour and minute right after it; they are hidden for
    // an event that lasts all day.
    QStringList timeParts;
    api.findFirst(
        window,
        [&](const AccessibilityElement& e) {
            if (shown.dateNumbers.isEmpty()) {
                if (isNamed(api, e, QLatin1String("GcalDateSelector")))
                    shown.dateNumbers = dateNumbers(textOf(api, e));
                return false;
            }
            if (isNamed(api, e, QLatin1String("GcalDateSelector")))
                return true; // the end's
            if (isNamed(api, e, QLatin1String("GtkSpinButton")) &&
                api.states(e).testFlag(AccessibilityState::visible))
                timeParts.append(textOf(api, e));
            return timeParts.size() == 2;
        },
        walk);
    if (timeParts.size() == 2) {
        bool hourRead = false, minuteRead = false;
        const QTime time(timeParts[0].toInt(&hourRead), timeParts[1].toInt(&minuteRead));
        if (hourRead && minuteRead && time.isValid())
            shown.startTime = time;
    }

    // The calendar's menu button shows the event's colour, its title and the calendar's name.
    const std::optional<AccessibilityElement> calendarButton = api.findFirst(
        window,
        [&](const AccessibilityElement& e) { return isNamed(api, e, QLatin1String("GtkMenuButton")); }, walk);
    if (calendarButton) {
        QString lastLabel;
        api.findFirst(
            *calendarButton,
            [&](const AccessibilityElement& e) {
                if (api.role(e) == AccessibilityRole::label && !textOf(api, e).isEmpty())
                    lastLabel = textOf(api, e);
                return false;
            },
            walk);
        if (!lastLabel.isEmpty() && lastLabel != shown.title)
            shown.calendarTitle = lastLabel;
    }
    if (shown.title.isEmpty() || shown.dateNumbers.isEmpty())
        return std::nullopt;
    return shown;
}

// A popover: the event widget it belongs to describes the event.
std::optional<ShownCalendarEvent> readPopover(const AccessibilityElements& api,
                                              const AccessibilityElement& window)
{
    const std::optional<AccessibilityElement> opened = api.findFirst(
        window,
        [&](const AccessibilityElement& e) {
            if (!isNamed(api, e, QLatin1String("GcalEventWidget")))
                return false;
            for (const AccessibilityElement& child : api.children(e, 4)) {
                if (isNamed(api, child, QLatin1String("GcalEventPopover")) &&
                    api.states(child).testFlag(AccessibilityState::visible))
                    return true;
            }
            return false;
        },
        windowWalk());
    if (!opened)
        return std::nullopt;
    const QString description = api.description(*opened).value_or(QString());
    const qsizetype lineEnd = description.lastIndexOf(u'\n');
    if (lineEnd < 0)
        return std::nullopt;
    ShownCalendarEvent shown;
    shown.title = trimmedText(description.left(lineEnd));
    const QString when = description.mid(lineEnd + 1);
    const QRegularExpressionMatch time = timePattern().match(when);
    shown.dateNumbers = dateNumbers(time.hasMatch() ? QStringView(when).left(time.capturedStart()) : when);
    if (time.hasMatch())
        shown.startTime = timeOf(time);
    if (shown.title.isEmpty() || shown.dateNumbers.isEmpty())
        return std::nullopt;
    return shown;
}

} // namespace

QList<QDate> ShownCalendarEvent::possibleDays() const
{
    QList<QDate> days;
    if (dateNumbers.size() != 3)
        return days;
    // Year first (ISO), last with the day first, or last with the month first.
    const int orders[][3] = {{0, 1, 2}, {2, 1, 0}, {2, 0, 1}};
    for (const auto& order : orders) {
        int year = dateNumbers[order[0]];
        if (year < 100)
            year += 2000;
        const QDate day(year, dateNumbers[order[1]], dateNumbers[order[2]]);
        if (day.isValid() && !days.contains(day))
            days.append(day);
    }
    return days;
}

bool ShownCalendarEvent::shows(const CalendarEvent& event) const
{
    if (trimmedText(event.title) != title)
        return false;
    if (calendarTitle && event.calendarTitle != calendarTitle)
        return false;
    const QDateTime start = event.startDate.toLocalTime();
    if (!possibleDays().contains(start.date()))
        return false;
    return !startTime ||
           (start.time().hour() == startTime->hour() && start.time().minute() == startTime->minute());
}

std::optional<ShownCalendarEvent> readOpenedCalendarEvent(const AccessibilityElements& api, qint64 processId)
{
    const std::optional<AccessibilityApplication> application = api.application(processId);
    if (!application)
        return std::nullopt;
    // The editor is a dialog of its own; a popover lies in the main window. Each window is walked once.
    QList<AccessibilityElement> mainWindows;
    for (const AccessibilityElement& window : api.frames(application->element)) {
        if (api.role(window) != AccessibilityRole::dialog)
            mainWindows.append(window);
        else if (std::optional<ShownCalendarEvent> editor = readEditor(api, window))
            return editor;
    }
    for (const AccessibilityElement& window : mainWindows) {
        if (std::optional<ShownCalendarEvent> popover = readPopover(api, window))
            return popover;
    }
    return std::nullopt;
}

} // namespace morvane
