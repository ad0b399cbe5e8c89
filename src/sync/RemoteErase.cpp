#include "sync/RemoteErase.h"

#include "sync/CloudKitSyncService.h"
#include "sync/RecordFormats.h"
#include "sync/RemoteRecords.h"

namespace morvane {

RemoteErase::RemoteErase(RemoteRecords& remote, Pause pause)
    : m_remote(remote)
    , m_pause(std::move(pause))
{
}

QCoro::Task<void> RemoteErase::run(int attempts, std::chrono::milliseconds pause)
{
    co_await deleteAll();
    co_await waitUntilEmpty(attempts, pause);
}

QCoro::Task<void> RemoteErase::deleteListed(QList<CloudRecord> records)
{
    for (const CloudRecord& record : records)
        co_await m_remote.deleteRecord(record.recordName());
}

QCoro::Task<void> RemoteErase::deleteAll()
{
    for (const QString& type :
         {RecordFormats::relationType, RecordFormats::linkType, RecordFormats::deletedRecordType}) {
        QList<CloudRecord> records = co_await m_remote.fetchAll(type);
        co_await deleteListed(std::move(records));
    }
}

QCoro::Task<void> RemoteErase::waitUntilEmpty(int attempts, std::chrono::milliseconds pause)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        QList<CloudRecord> links = co_await m_remote.fetchAll(RecordFormats::linkType);
        QList<CloudRecord> relations = co_await m_remote.fetchAll(RecordFormats::relationType);
        if (links.isEmpty() && relations.isEmpty())
            co_return;
        if (attempt < attempts - 1) {
            co_await m_pause(pause);
            continue;
        }
        // Another machine may have pushed its library while this one deleted: delete once more.
        co_await deleteListed(std::move(relations));
        co_await deleteListed(std::move(links));
        links = co_await m_remote.fetchAll(RecordFormats::linkType);
        relations = co_await m_remote.fetchAll(RecordFormats::relationType);
        if (!links.isEmpty() || !relations.isEmpty())
            throw EraseRemoteDataError(links.size(), relations.size());
    }
}

} // namespace morvane
