#include "sync/KeptRecords.h"

#include "foundation/Uuid.h"
#include "sync/RecordFormats.h"
#include "sync/SyncRemoteState.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>

#include <cstring>

namespace morvane {

namespace {

// The bytes of a kept record start with this; a record kept in another layout reads as none.
constexpr quint8 layout = 1;

template <class T> QStringList valuesOf(const QMultiHash<T, QString>& index, const T& key)
{
    return index.values(key);
}

} // namespace

LinkSummary::Digest LinkSummary::digestOf(const LinkItem& link)
{
    const QByteArray hash =
        QCryptographicHash::hash(RecordFormats::sharedContent(link).toUtf8(), QCryptographicHash::Sha256);
    Digest digest{};
    std::memcpy(digest.data(), hash.constData(), digest.size());
    return digest;
}

LinkSummary LinkSummary::of(const LinkItem& link)
{
    LinkSummary summary{link.id, link.updatedAt.toMSecsSinceEpoch(), digestOf(link), 0};
    if (link.contentHash)
        summary.fileFields |= contentHash;
    if (link.fileSize)
        summary.fileFields |= fileSize;
    if (link.lastKnownPath)
        summary.fileFields |= lastKnownPath;
    return summary;
}

bool LinkSummary::fillsFileFields(const LinkItem& link) const
{
    return (!link.contentHash && (fileFields & contentHash)) || (!link.fileSize && (fileFields & fileSize)) ||
           (!link.lastKnownPath && (fileFields & lastKnownPath));
}

KeptRecord KeptRecord::of(const RemoteRecord& decoded)
{
    KeptRecord kept;
    if (decoded.recordType == RecordFormats::deletedRecordType)
        kept.type = Type::deletion;
    else if (decoded.recordType == RecordFormats::relationType)
        kept.type = Type::relation;
    if (const auto* deleted = std::get_if<DeletedRecord>(&decoded.value))
        kept.value = *deleted;
    else if (const auto* link = std::get_if<LinkItem>(&decoded.value))
        kept.value = LinkSummary::of(*link);
    else if (const auto* relation = std::get_if<LinkRelation>(&decoded.value))
        kept.value = *relation;
    return kept;
}

QByteArray KeptRecord::toBytes() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << layout << quint8(type) << quint8(value.index());
    if (const auto* deleted = std::get_if<DeletedRecord>(&value)) {
        out << deleted->recordType << deleted->recordName << deleted->deletedAt.toMSecsSinceEpoch();
    } else if (const auto* link = std::get_if<LinkSummary>(&value)) {
        out << link->id << link->updatedAt << link->fileFields;
        out.writeRawData(link->digest.data(), int(link->digest.size()));
    } else if (const auto* relation = std::get_if<LinkRelation>(&value)) {
        out << relation->id << relation->fromLinkID << relation->toLinkID
            << relation->createdAt.toMSecsSinceEpoch();
    }
    return bytes;
}

std::optional<KeptRecord> KeptRecord::fromBytes(const QByteArray& bytes)
{
    QDataStream in(bytes);
    quint8 version = 0, type = 0, index = 0;
    in >> version >> type >> index;
    if (version != layout || type > quint8(Type::relation))
        return std::nullopt;
    KeptRecord kept;
    kept.type = Type(type);
    const auto date = [](qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); };
    switch (index) {
    case 0:
        break;
    case 1: {
        DeletedRecord deleted;
        qint64 at = 0;
        in >> deleted.recordType >> deleted.recordName >> at;
        deleted.deletedAt = date(at);
        kept.value = std::move(deleted);
        break;
    }
    case 2: {
        LinkSummary link;
        in >> link.id >> link.updatedAt >> link.fileFields;
        if (in.readRawData(link.digest.data(), int(link.digest.size())) != int(link.digest.size()))
            return std::nullopt;
        kept.value = link;
        break;
    }
    case 3: {
        LinkRelation relation;
        qint64 at = 0;
        in >> relation.id >> relation.fromLinkID >> relation.toLinkID >> at;
        relation.createdAt = date(at);
        kept.value = relation;
        break;
    }
    default:
        return std::nullopt;
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    return kept;
}

bool KeptRecord::operator==(const KeptRecord& other) const
{
    if (type != other.type || value.index() != other.value.index())
        return false;
    if (const auto* link = std::get_if<LinkSummary>(&value)) {
        const auto& theirs = std::get<LinkSummary>(other.value);
        return link->id == theirs.id && link->updatedAt == theirs.updatedAt &&
               link->digest == theirs.digest && link->fileFields == theirs.fileFields;
    }
    if (const auto* deleted = std::get_if<DeletedRecord>(&value))
        return *deleted == std::get<DeletedRecord>(other.value);
    if (const auto* relation = std::get_if<LinkRelation>(&value))
        return *relation == std::get<LinkRelation>(other.value);
    return true;
}

void KeptRecords::index(const QString& name, const KeptRecord& kept, bool add)
{
    const auto apply = [&](auto& index, const auto& key) {
        if (add)
            index.insert(key, name);
        else
            index.remove(key, name);
    };
    if (const auto* deleted = std::get_if<DeletedRecord>(&kept.value)) {
        apply(m_deletions, std::pair(deleted->recordType, deleted->recordName));
    } else if (const auto* link = std::get_if<LinkSummary>(&kept.value)) {
        apply(m_links, link->id);
    } else if (const auto* relation = std::get_if<LinkRelation>(&kept.value)) {
        apply(m_relations, RecordFormats::relationRecordName(*relation));
        apply(m_ends, relation->fromLinkID);
        apply(m_ends, relation->toLinkID);
    }
}

void KeptRecords::keep(const QString& name, KeptRecord kept)
{
    forget(name);
    const auto stored = m_records.insert(name, std::move(kept));
    index(stored.key(), *stored, true);
}

std::optional<KeptRecord> KeptRecords::forget(const QString& name)
{
    const auto found = m_records.find(name);
    if (found == m_records.end())
        return std::nullopt;
    index(found.key(), *found, false);
    KeptRecord kept = std::move(*found);
    m_records.erase(found);
    return kept;
}

const KeptRecord* KeptRecords::find(const QString& name) const
{
    const auto found = m_records.constFind(name);
    return found == m_records.constEnd() ? nullptr : &*found;
}

QStringList KeptRecords::linkRecords(const QUuid& id) const
{
    return valuesOf(m_links, id);
}

QStringList KeptRecords::relationRecords(const QString& relationName) const
{
    return valuesOf(m_relations, relationName);
}

QStringList KeptRecords::relationsAt(const QUuid& linkID) const
{
    return valuesOf(m_ends, linkID);
}

QStringList KeptRecords::deletionRecords(const QString& type, const QString& name) const
{
    return valuesOf(m_deletions, std::pair(type, name));
}

} // namespace morvane
