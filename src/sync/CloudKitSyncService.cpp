#include "sync/CloudKitSyncService.h"

namespace morvane {

namespace {

constexpr EnumName<CloudKitError::Code> codeNames[] = {
    {CloudKitError::internalError, "internalError"},
    {CloudKitError::notAuthenticated, "notAuthenticated"},
    {CloudKitError::unknownItem, "unknownItem"},
    {CloudKitError::invalidArguments, "invalidArguments"},
    {CloudKitError::serverRecordChanged, "serverRecordChanged"},
};

} // namespace

SyncError SyncError::unavailable(SyncStatus status)
{
    return SyncError(QStringLiteral("The shared record folder is not ready: %1.").arg(rawValue(status)));
}

EraseRemoteDataError::EraseRemoteDataError(qsizetype linkCount, qsizetype relationCount)
    : Error(
          QStringLiteral(
              "The shared record folder still has %1 link(s) and %2 relation(s) after erase. Try Sync Now or "
              "erase again in a moment.")
              .arg(linkCount)
              .arg(relationCount))
    , m_linkCount(linkCount)
    , m_relationCount(relationCount)
{
}

CloudKitError::CloudKitError(Code code, QString description)
    : CloudKitError(int(code), enumNameText(codeNames, code), std::move(description))
{
}

} // namespace morvane
