#include "sync/SyncRemoteState.h"

#include "foundation/Uuid.h"
#include "sync/RecordFormats.h"
#include "sync/RemoteRecords.h"

#include <algorithm>
#include <memory>

namespace morvane {

std::optional<RemoteRecord> RemoteRecord::decode(const CloudRecord& record)
{
    RemoteRecord decoded{record.recordType(), std::monostate()};
    if (record.recordType() == RecordFormats::deletedRecordType) {
        decoded.recordType = RecordFormats::deletedRecordType; // shared, not a text of each record
        if (std::optional<DeletedRecord> deleted = RecordFormats::deletedRecord(record);
            deleted && RecordFormats::isSyncedDeletion(*deleted))
            decoded.value = std::move(*deleted);
    } else if (record.recordType() == RecordFormats::linkType) {
        decoded.recordType = RecordFormats::linkType;
        if (std::optional<LinkItem> link = RecordFormats::linkItem(record))
            decoded.value = std::move(*link);
    } else if (record.recordType() == RecordFormats::relationType) {
        decoded.recordType = RecordFormats::relationType;
        if (std::optional<LinkRelation> relation = RecordFormats::linkRelation(record))
            decoded.value = std::move(*relation);
    } else {
        return std::nullopt; // the reset marker is read at every pass, never kept
    }
    return decoded;
}

void SyncRemoteState::add(const QString& name, const KeptRecord& kept)
{
    Q_ASSERT(!m_inPlace);
    if (kept.type == KeptRecord::Type::deletion) {
        if (const auto* deleted = std::get_if<DeletedRecord>(&kept.value)) {
            deletions.append(*deleted);
            deletionsByName.insert(RecordFormats::tombstoneRecordName(*deleted), *deleted);
        }
        return;
    }
    m_ordered = false;
    if (const auto* link = std::get_if<LinkSummary>(&kept.value)) {
        if (name == uuidString(link->id)) {
            m_linkNamedOtherwise.remove(link->id);
        } else {
            m_otherNames.insert(name);
            m_linkNamedOtherwise.insert(link->id, name);
            ++m_linkOtherNameCount[link->id];
        }
        m_links.append(*link);
    } else if (const auto* relation = std::get_if<LinkRelation>(&kept.value)) {
        if (QString ownName = RecordFormats::relationRecordName(*relation); name != ownName) {
            m_otherNames.insert(name);
            ++m_relationOtherNameCount[std::move(ownName)];
        }
        m_relations.append(*relation);
    } else {
        m_otherNames.insert(name);
    }
}

void SyncRemoteState::order() const
{
    if (m_ordered)
        return;
    const auto positions = [](std::vector<quint32>& order, qsizetype count) {
        order.resize(std::size_t(count));
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = quint32(i);
    };
    positions(m_linkOrder, m_links.size());
    std::stable_sort(m_linkOrder.begin(), m_linkOrder.end(),
                     [this](quint32 a, quint32 b) { return m_links[a].id < m_links[b].id; });
    positions(m_relationOrder, m_relations.size());
    std::stable_sort(m_relationOrder.begin(), m_relationOrder.end(), [this](quint32 a, quint32 b) {
        return pairOf(m_relations[a]) < pairOf(m_relations[b]);
    });
    m_ordered = true;
}

// The positions of the links with the id, in the order they were listed.
SyncRemoteState::Positions SyncRemoteState::linksWithID(const QUuid& id) const
{
    order();
    struct ByID {
        const QList<LinkSummary>& links;
        bool operator()(quint32 at, const QUuid& key) const { return links[at].id < key; }
        bool operator()(const QUuid& key, quint32 at) const { return key < links[at].id; }
    };
    return std::equal_range(m_linkOrder.cbegin(), m_linkOrder.cend(), id, ByID{m_links});
}

SyncRemoteState::Positions SyncRemoteState::relationsOfPair(const RelationPair& pair) const
{
    order();
    struct ByPair {
        const QList<LinkRelation>& relations;
        bool operator()(quint32 at, const RelationPair& key) const { return pairOf(relations[at]) < key; }
        bool operator()(const RelationPair& key, quint32 at) const { return key < pairOf(relations[at]); }
    };
    return std::equal_range(m_relationOrder.cbegin(), m_relationOrder.cend(), pair, ByPair{m_relations});
}

qsizetype SyncRemoteState::linkCount() const
{
    return m_inPlace ? m_inPlace->linkCount() : m_links.size();
}

const LinkSummary& SyncRemoteState::linkAt(qsizetype at) const
{
    return m_inPlace ? m_inPlace->linkAt(at) : m_links[at];
}

qsizetype SyncRemoteState::relationCount() const
{
    return m_inPlace ? m_inPlace->relationCount() : m_relations.size();
}

LinkRelation SyncRemoteState::relationAt(qsizetype at) const
{
    return m_inPlace ? m_inPlace->relationAt(at) : m_relations[at];
}

const LinkSummary* SyncRemoteState::linkByID(const QUuid& id) const
{
    if (m_inPlace)
        return m_inPlace->lastLink(id);
    // The last of those with the id: the one listed last.
    const auto [first, last] = linksWithID(id);
    return first == last ? nullptr : &m_links[*(last - 1)];
}

std::optional<LinkRelation> SyncRemoteState::relationByPair(const RelationPair& pair) const
{
    if (m_inPlace)
        return m_inPlace->lastRelation(pair);
    const auto [first, last] = relationsOfPair(pair);
    return first == last ? std::nullopt : std::optional(m_relations[*(last - 1)]);
}

bool SyncRemoteState::listed(const QString& name) const
{
    if (m_inPlace)
        return m_inPlace->listed(name);
    if (m_otherNames.contains(name))
        return true;
    // An own name was listed when more records hold the link or pair than came under other names.
    if (const std::optional<QUuid> id = parseUuid(name); id && uuidString(*id) == name) {
        const auto [first, last] = linksWithID(*id);
        return last - first > m_linkOtherNameCount.value(*id);
    }
    if (name.size() != 73 || name[36] != u'_')
        return false;
    const std::optional<QUuid> from = parseUuid(name.first(36));
    const std::optional<QUuid> to = parseUuid(name.last(36));
    if (!from || !to || LinkRelation::recordName(*from, *to) != name)
        return false;
    const auto [first, last] = relationsOfPair(pairOf(LinkRelation{QUuid(), *from, *to, {}}));
    return last - first > m_relationOtherNameCount.value(name);
}

SyncRemoteState::RelationPair SyncRemoteState::pairOf(const LinkRelation& relation)
{
    return relation.fromLinkID < relation.toLinkID ? RelationPair(relation.fromLinkID, relation.toLinkID)
                                                   : RelationPair(relation.toLinkID, relation.fromLinkID);
}

QString SyncRemoteState::linkName(const QUuid& id) const
{
    if (m_inPlace)
        return m_inPlace->linkName(id);
    const auto other = m_linkNamedOtherwise.constFind(id);
    return other != m_linkNamedOtherwise.constEnd() ? *other : uuidString(id);
}

void SyncRemoteState::add(const QString& name, const RemoteRecord& decoded)
{
    add(name, KeptRecord::of(decoded));
    if (const auto* link = std::get_if<LinkItem>(&decoded.value))
        linksAtHand.insert(link->id, *link);
}

QCoro::Task<SyncRemoteState> SyncRemoteState::fetch(RemoteRecords& remote, int perPage)
{
    // Built on the record store's thread while each listing runs; the coroutine reads it once the
    // listing's job ended.
    auto state = std::make_shared<SyncRemoteState>();
    const RemoteRecords::RecordTaker take = [state](const CloudRecord& record) {
        if (const std::optional<RemoteRecord> decoded = RemoteRecord::decode(record))
            state->add(record.recordName(), KeptRecord::of(*decoded));
    };
    const QStringList types{RecordFormats::deletedRecordType, RecordFormats::linkType,
                            RecordFormats::relationType};
    for (const QString& type : types)
        co_await remote.listAll(type, perPage, take);
    SyncRemoteState result = std::move(*state);
    co_return result;
}

SyncRemoteState SyncRemoteState::of(const KeptRecords& kept, const QStringList& names,
                                    const QHash<QString, RemoteRecord>& read)
{
    SyncRemoteState remote;
    for (const QString& name : names) {
        if (const std::optional<KeptRecord> record = kept.find(name))
            remote.add(name, *record);
        if (const auto found = read.constFind(name); found != read.constEnd()) {
            if (const auto* link = std::get_if<LinkItem>(&found->value))
                remote.linksAtHand.insert(link->id, *link);
        }
    }
    return remote;
}

SyncRemoteState SyncRemoteState::over(const KeptRecords& settled, const QHash<QString, RemoteRecord>& read)
{
    SyncRemoteState remote;
    remote.m_inPlace.emplace(settled);
    remote.deletions = std::exchange(remote.m_inPlace->deletions, {});
    for (const DeletedRecord& deleted : std::as_const(remote.deletions))
        remote.deletionsByName.insert(RecordFormats::tombstoneRecordName(deleted), deleted);
    // Of two records read of one link, the one whose name comes last, as the links listed.
    QHash<QUuid, QString> readUnder;
    for (auto found = read.constBegin(); found != read.constEnd(); ++found) {
        const auto* link = std::get_if<LinkItem>(&found->value);
        if (!link || !settled.contains(found.key()))
            continue;
        if (const auto before = readUnder.constFind(link->id);
            before != readUnder.constEnd() && found.key() < *before)
            continue;
        readUnder.insert(link->id, found.key());
        remote.linksAtHand.insert(link->id, *link);
    }
    return remote;
}

QCoro::Task<void> SyncRemoteState::readLinks(RemoteRecords& remote, QList<QUuid> ids)
{
    QStringList names;
    for (const QUuid& id : std::as_const(ids)) {
        if (!linksAtHand.contains(id))
            names.append(linkName(id));
    }
    if (names.isEmpty())
        co_return;
    const QList<CloudRecord> records = co_await remote.readRecords(names);
    for (const CloudRecord& record : records) {
        if (record.recordType() != RecordFormats::linkType)
            continue;
        if (std::optional<LinkItem> link = RecordFormats::linkItem(record))
            linksAtHand.insert(link->id, std::move(*link));
    }
}

} // namespace morvane
