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
    defaults.setDate(resetAtKey, reset.resetAt);
    defaults.setString(resetIDKey, uuidString(reset.resetID));
}

bool LibraryReset::shouldApply(const LibraryReset& reset, const UserDefaults& defaults)
{
    const auto acknowledged = loadAcknowledged(defaults);
    if (!acknowledged)
        return true;
    if (reset.resetAt > acknowledged->resetAt)
        return true;
    if (reset.resetID == acknowledged->resetID)
        return false;
    return reset.resetAt == acknowledged->resetAt;
}

} // namespace morvane
