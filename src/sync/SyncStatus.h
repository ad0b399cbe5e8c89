#pragma once

#include "foundation/EnumNames.h"

#include <QString>

namespace morvane {

// Where the library stands with the record store, as the settings show it.
enum class SyncStatus { disabled, notSignedIn, ready, syncing, upToDate, error };

inline constexpr EnumName<SyncStatus> syncStatusNames[] = {
    {SyncStatus::disabled, "Disabled"},   {SyncStatus::notSignedIn, "Not signed in"},
    {SyncStatus::ready, "Ready"},         {SyncStatus::syncing, "Syncing"},
    {SyncStatus::upToDate, "Up to date"}, {SyncStatus::error, "Error"},
};

inline QString rawValue(SyncStatus status)
{
    return enumNameText(syncStatusNames, status);
}

} // namespace morvane
