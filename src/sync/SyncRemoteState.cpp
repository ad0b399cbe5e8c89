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
            m_linkOwnNameUnlisted.remove(link->id);
        } else {
            // Rare: looked for among those listed before, one by one.
            const bool known = std::any_of(links.cbegin(), links.cend(),
                                           [&](const LinkSummary& listed) { return listed.id == link->id; });
            m_otherNames.insert(name);
            m_linkNamedOtherwise.insert(link->id, name);
            if (!known)
                m_linkOwnNameUnlisted.insert(link->id);
        }
        links.append(*link);
    } else if (const auto* relation = std::get_if<LinkRelation>(&kept.value)) {
        const QString ownName = RecordFormats::relationRecordName(*relation);
        if (name == ownName) {
            m_relationOwnNameUnlisted.remove(ownName);
        } else {
            const RelationPair pair = pairOf(*relation);
            const bool known =
                std::any_of(relations.cbegin(), relations.cend(),
                            [&](const LinkRelation& listed) { return pairOf(listed) == pair; });
            m_otherNames.insert(name);
            if (!known)
                m_relationOwnNameUnlisted.insert(ownName);
        }
        relations.append(*relation);
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
    positions(m_linkOrder, links.size());
    std::stable_sort(m_linkOrder.begin(), m_linkOrder.end(),
                     [this](quint32 a, quint32 b) { return links[a].id < links[b].id; });
    positions(m_relationOrder, relations.size());
    std::stable_sort(m_relationOrder.begin(), m_relationOrder.end(),
                     [this](quint32 a, quint32 b) { return pairOf(relations[a]) < pairOf(relations[b]); });
    m_ordered = true;
}

const LinkSummary* SyncRemoteState::linkByID(const QUuid& id) const
{
    order();
    // The last of those with the id: the one listed last.
    const auto after = std::upper_bound(m_linkOrder.cbegin(), m_linkOrder.cend(), id,
                                        [this](const QUuid& key, quint32 at) { return key < links[at].id; });
    if (after == m_linkOrder.cbegin() || links[*(after - 1)].id != id)
        return nullptr;
    return &links[*(after - 1)];
}

const LinkRelation* SyncRemoteState::relationByPair(const RelationPair& pair) const
{
    order();
    const auto after =
        std::upper_bound(m_relationOrder.cbegin(), m_relationOrder.cend(), pair,
                         [this](const RelationPair& key, quint32 at) { return key < pairOf(relations[at]); });
    if (after == m_relationOrder.cbegin() || pairOf(relations[*(after - 1)]) != pair)
        return nullptr;
    return &relations[*(after - 1)];
}

bool SyncRemoteState::listed(const QString& name) const
{
    if (m_otherNames.contains(name))
        return true;
    if (const std::optional<QUuid> id = parseUuid(name); id && uuidString(*id) == name)
        return linkByID(*id) && !m_linkOwnNameUnlisted.contains(*id);
    if (name.size() != 73 || name[36] != u'_')
        return false;
    const std::optional<QUuid> from = parseUuid(name.first(36));
    const std::optional<QUuid> to = parseUuid(name.last(36));
    if (!from || !to || LinkRelation::recordName(*from, *to) != name)
        return false;
    return relationByPair(pairOf(LinkRelation{QUuid(), *from, *to, {}})) &&
           !m_relationOwnNameUnlisted.contains(name);
}

SyncRemoteState::RelationPair SyncRemoteState::pairOf(const LinkRelation& relation)
{
    return relation.fromLinkID < relation.toLinkID ? RelationPair(relation.fromLinkID, relation.toLinkID)
                                                   : RelationPair(relation.toLinkID, relation.fromLinkID);
}

QString SyncRemoteState::linkName(const QUuid& id) const
{
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
