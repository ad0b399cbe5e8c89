#include "services/CloudKitSyncService.h"

namespace morvane {

QCoro::Task<void> UnavailableCloudKitSyncService::sync(LinkStore&)
{
    throw SyncError(notAvailableText);
    co_return;
}

QCoro::Task<SyncStatus> UnavailableCloudKitSyncService::accountStatus()
{
    co_return SyncStatus::notSignedIn;
}

QCoro::Task<LibraryReset> UnavailableCloudKitSyncService::eraseRemoteData()
{
    throw SyncError(notAvailableText);
    co_return LibraryReset{};
}

} // namespace morvane
