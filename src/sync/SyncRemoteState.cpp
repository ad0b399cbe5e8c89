#include "sync/SyncRemoteState.h"

#include "sync/RecordFormats.h"
#include "sync/RemoteRecords.h"

namespace morvane {

namespace {

template <class T, class Reader>
void decodeListed(const QList<CloudRecord>& records, Reader reader, QSet<QString>& names, QList<T>& values)
{
    for (const CloudRecord& record : records) {
        names.insert(record.recordName());
        if (std::optional<T> value = reader(record))
            values.append(std::move(*value));
    }
}

} // namespace

std::optional<RemoteRecord> RemoteRecord::decode(const CloudRecord& record)
{
    RemoteRecord decoded{record.recordType(), std::monostate()};
    if (record.recordType() == RecordFormats::deletedRecordType) {
        if (std::optional<DeletedRecord> deleted = RecordFormats::deletedRecord(record);
            deleted && RecordFormats::isSyncedDeletion(*deleted))
            decoded.value = std::move(*deleted);
    } else if (record.recordType() == RecordFormats::linkType) {
        if (std::optional<LinkItem> link = RecordFormats::linkItem(record))
            decoded.value = std::move(*link);
    } else if (record.recordType() == RecordFormats::relationType) {
        if (std::optional<LinkRelation> relation = RecordFormats::linkRelation(record))
            decoded.value = std::move(*relation);
    } else {
        return std::nullopt; // the reset marker is read at every pass, never kept
    }
    return decoded;
}

QCoro::Task<SyncRemoteState> SyncRemoteState::fetch(RemoteRecords& remote)
{
    SyncRemoteState state;
    state.deletions = co_await remote.fetchDeletedRecords();
    for (const DeletedRecord& deleted : state.deletions)
        state.deletionsByName.insert(RecordFormats::tombstoneRecordName(deleted), deleted);
    const QList<CloudRecord> links = co_await remote.fetchAll(RecordFormats::linkType);
    decodeListed(links, RecordFormats::linkItem, state.listedNames, state.links);
    for (const LinkItem& link : state.links)
        state.linksByID.insert(link.id, link);
    const QList<CloudRecord> relations = co_await remote.fetchAll(RecordFormats::relationType);
    decodeListed(relations, RecordFormats::linkRelation, state.listedNames, state.relations);
    for (const LinkRelation& relation : state.relations)
        state.relationsByName.insert(RecordFormats::relationRecordName(relation), relation);
    co_return state;
}

SyncRemoteState SyncRemoteState::of(const QMap<QString, RemoteRecord>& records)
{
    SyncRemoteState remote;
    for (auto record = records.cbegin(); record != records.cend(); ++record) {
        const RemoteRecord& decoded = record.value();
        if (decoded.recordType == RecordFormats::deletedRecordType) {
            if (const auto* deleted = std::get_if<DeletedRecord>(&decoded.value)) {
                remote.deletions.append(*deleted);
                remote.deletionsByName.insert(RecordFormats::tombstoneRecordName(*deleted), *deleted);
            }
            continue;
        }
        remote.listedNames.insert(record.key());
        if (const auto* link = std::get_if<LinkItem>(&decoded.value)) {
            remote.links.append(*link);
            remote.linksByID.insert(link->id, *link);
        } else if (const auto* relation = std::get_if<LinkRelation>(&decoded.value)) {
            const QString name = RecordFormats::relationRecordName(*relation);
            remote.relations.append(*relation);
            remote.relationsByName.insert(name, *relation);
        }
    }
    return remote;
}

} // namespace morvane
