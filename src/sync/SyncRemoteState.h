#pragma once

#include "model/DeletedRecord.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"
#include "sync/CloudRecord.h"
#include "sync/KeptByName.h"
#include "sync/KeptRecords.h"
#include "sync/RecordStore.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace morvane {

class RemoteRecords;

// A deletion, link or relation record as its type's reader made it, or none when it does not read.
struct RemoteRecord {
    QString recordType;
    std::variant<std::monostate, DeletedRecord, LinkItem, LinkRelation> value;

    // None for a record of any other type: the reset marker is read at every pass, never kept.
    static std::optional<RemoteRecord> decode(const CloudRecord& record);
};

// The record store as a pass sees it: the decoded deletions and relations by name, every readable link
// by its summary, the links the pass holds in full, and the name of every link or relation record
// listed, readable or not (listed). A decision that compares a link's fields reads it again
// (readLinks). The names are not held as texts where the record's value gives them: nearly every link
// is under its id and nearly every relation under its pair's name. A complete listing's side reads its
// links and relations where the next point keeps them (over); another holds those it was given (add).
struct SyncRemoteState {
    QList<DeletedRecord> deletions;
    QHash<QString, DeletedRecord> deletionsByName; // by the deletion record's own name
    // The links in the order of their names.
    qsizetype linkCount() const;
    const LinkSummary& linkAt(qsizetype at) const;
    // The link with the id (the one listed last, should two records hold it), none when no record does.
    const LinkSummary* linkByID(const QUuid& id) const;
    QHash<QUuid, LinkItem> linksAtHand;
    // The relations in the order of their names.
    qsizetype relationCount() const;
    LinkRelation relationAt(qsizetype at) const;
    // By the pair of links it relates, either way round (one record name for both): the pair's ends
    // held rather than the text of its name.
    using RelationPair = std::pair<QUuid, QUuid>;
    static RelationPair pairOf(const LinkRelation& relation);
    std::optional<LinkRelation> relationByPair(const RelationPair& pair) const;

    // Whether a link or relation record of the name was listed, readable or not.
    bool listed(const QString& name) const;
    // The record to read the link again from.
    QString linkName(const QUuid& id) const;

    // Lists every deletion, link and relation record, `perPage` to a page, each record taken in as its
    // page comes: no link is at hand after it (a decision that compares one reads it again).
    static QCoro::Task<SyncRemoteState> fetch(RemoteRecords& remote,
                                              int perPage = RecordStore::maximumResults);
    // From what was kept of the named records, with the records this pass read at hand.
    static SyncRemoteState of(const KeptRecords& kept, const QStringList& names,
                              const QHash<QString, RemoteRecord>& read);
    // Every record of a settled set, listed in the order of their names, read where the set keeps them
    // (it must outlive this side and stay as it is), with the records this pass read at hand.
    static SyncRemoteState over(const KeptRecords& settled, const QHash<QString, RemoteRecord>& read);

    // Reads the links again whose fields a decision compares; one no longer there, or no longer
    // readable, stays as its summary says.
    QCoro::Task<void> readLinks(RemoteRecords& remote, QList<QUuid> ids);

    // Takes in what is kept of the record of the name, as `of` does for each name, in their order.
    void add(const QString& name, const KeptRecord& kept);

private:
    void add(const QString& name, const RemoteRecord& decoded);

    std::optional<KeptByName> m_inPlace;
    QList<LinkSummary> m_links;
    QList<LinkRelation> m_relations;

    // The names that neither a link's id nor a relation's pair gives: records that do not read, and
    // records under another name than their own.
    QSet<QString> m_otherNames;
    QHash<QUuid, QString> m_linkNamedOtherwise; // the link's record when it is under another name
    // How many records of a link, or of a pair by its own name, came under other names than their own:
    // a few, in a folder another program wrote.
    QHash<QUuid, qsizetype> m_linkOtherNameCount;
    QHash<QString, qsizetype> m_relationOtherNameCount;
    // The positions in m_links and m_relations sorted by id and pair, made when first asked after an add:
    // a few bytes a record where a hash of every one held each again.
    mutable std::vector<quint32> m_linkOrder;
    mutable std::vector<quint32> m_relationOrder;
    mutable bool m_ordered = false;
    void order() const;
    using Positions = std::pair<std::vector<quint32>::const_iterator, std::vector<quint32>::const_iterator>;
    Positions linksWithID(const QUuid& id) const;
    Positions relationsOfPair(const RelationPair& pair) const;
};

} // namespace morvane
