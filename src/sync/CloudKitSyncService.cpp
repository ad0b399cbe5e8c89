#include "sync/CloudKitSyncService.h"

#include "foundation/Logging.h"

namespace morvane {

namespace {

constexpr EnumName<CloudKitError::Code> codeNames[] = {
    {CloudKitError::internalError, "internalError"},
    {CloudKitError::notAuthenticated, "notAuthenticated"},
    {CloudKitError::unknownItem, "unknownItem"},
    {CloudKitError::invalidArguments, "invalidArguments"},
    {CloudKitError::serverRecordChanged, "serverRecordChanged"},
    {CloudKitError::serverRejectedRequest, "serverRejectedRequest"},
    {CloudKitError::limitExceeded, "limitExceeded"},
};

// The most skipped records a pass's error text lists one by one.
constexpr qsizetype namedSkips = 5;

QString skippedText(const QStringList& skipped)
{
    QStringList named = skipped.mid(0, namedSkips);
    if (skipped.size() > namedSkips)
        named.append(QStringLiteral("and %1 more").arg(skipped.size() - namedSkips));
    return QStringLiteral("Sync left out %1 record(s); the rest is synced. %2.")
        .arg(skipped.size())
        .arg(named.join(QStringLiteral("; ")));
}

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

UnusableRecordError::UnusableRecordError(Code code, const QString& recordName, QString reason)
    : CloudKitError(code,
                    QStringLiteral("The record %1 is left out: %2.").arg(privateValue(recordName), reason))
    , m_reason(std::move(reason))
{
}

SkippedRecordsError::SkippedRecordsError(QStringList skipped)
    : SyncError(skippedText(skipped))
    , m_skipped(std::move(skipped))
{
}

} // namespace morvane
