#include "LibraryReset.h"

#include "foundation/UserDefaults.h"
#include "foundation/Uuid.h"

namespace morvane {

std::optional<LibraryReset> LibraryReset::loadAcknowledged(const UserDefaults& defaults)
{
    const auto at = defaults.dateValue(resetAtKey);
    const auto idText = defaults.stringValue(resetIDKey);
    if (!at || !idText)
        return std::nullopt;
    const auto id = parseUuid(*idText);
    if (!id)
        return std::nullopt;
    return LibraryReset{*id, *at};
}

void LibraryReset::saveAcknowledged(const LibraryReset& reset, UserDefaults& defaults)
{
    const QString id = uuidString(reset.resetID);
    QStringList applied = defaults.stringListValue(appliedIDsKey).value_or(QStringList());
    applied.removeAll(id);
    applied.append(id);
    if (applied.size() > appliedIDsKept)
        applied.remove(0, applied.size() - appliedIDsKept);
    defaults.setStringList(appliedIDsKey, applied);
    defaults.setDate(resetAtKey, reset.resetAt);
    defaults.setString(resetIDKey, id);
}

bool LibraryReset::shouldApply(const LibraryReset& reset, const UserDefaults& defaults)
{
    if (const auto acknowledged = loadAcknowledged(defaults);
        acknowledged && acknowledged->resetID == reset.resetID)
        return false;
    const QStringList applied = defaults.stringListValue(appliedIDsKey).value_or(QStringList());
    for (const QString& id : applied) {
        if (parseUuid(id) == reset.resetID)
            return false;
    }
    return true;
}

std::optional<bool> LibraryReset::completedPass(const UserDefaults& defaults)
{
    return defaults.boolValue(completedPassKey);
}

bool LibraryReset::hasAnyAcknowledged(const UserDefaults& defaults)
{
    return defaults.stringValue(resetIDKey).has_value() || defaults.dateValue(resetAtKey).has_value() ||
           !defaults.stringListValue(appliedIDsKey).value_or(QStringList()).isEmpty();
}

void LibraryReset::setCompletedPass(UserDefaults& defaults, bool completed)
{
    if (defaults.boolValue(completedPassKey) != completed)
        defaults.setBool(completedPassKey, completed);
}

void LibraryReset::syncTurnedOn(UserDefaults& defaults)
{
    if (!defaults.boolValue(completedPassKey))
        defaults.setBool(completedPassKey, false);
}

} // namespace morvane
