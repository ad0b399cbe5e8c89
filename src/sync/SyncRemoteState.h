#pragma once

#include "model/DeletedRecord.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"
#include "sync/CloudRecord.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>
#include <variant>

namespace morvane {

class RemoteRecords;

// A deletion, link or relation record as its type's reader made it, or none when it does not read.
struct RemoteRecord {
    QString recordType;
    std::variant<std::monostate, DeletedRecord, LinkItem, LinkRelation> value;

    // None for a record of any other type: the reset marker is read at every pass, never kept.
    static std::optional<RemoteRecord> decode(const CloudRecord& record);
};

// The record store as a pass found it: the decoded deletions, links and relations by name, and the
// name of every link or relation record listed, readable or not.
struct SyncRemoteState {
    QList<DeletedRecord> deletions;
    QHash<QString, DeletedRecord> deletionsByName; // by the deletion record's own name
    QList<LinkItem> links;
    QHash<QUuid, LinkItem> linksByID;
    QList<LinkRelation> relations;
    QHash<QString, LinkRelation> relationsByName;
    QSet<QString> listedNames;

    // Lists every deletion, link and relation record.
    static QCoro::Task<SyncRemoteState> fetch(RemoteRecords& remote);
    // From records decoded before, by name, as listing each type would give it.
    static SyncRemoteState of(const QMap<QString, RemoteRecord>& records);
};

} // namespace morvane
