#include "sync/KeptRecords.h"

#include "foundation/Uuid.h"
#include "sync/RecordFormats.h"
#include "sync/SyncRemoteState.h"

#include <QCryptographicHash>

#include <cstring>

namespace morvane {

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

namespace {

// The bytes of a kept record start with this; a record kept in another layout reads as none.
constexpr quint8 layout = 1;

std::pair<QUuid, QUuid> pairKey(const QUuid& a, const QUuid& b)
{
    return a < b ? std::pair(a, b) : std::pair(b, a);
}

// A plain layout, read without a stream device: what the first pass after a start reads of every record.
class Writer {
public:
    explicit Writer(QByteArray& bytes)
        : m_bytes(bytes)
    {
    }
    void byte(quint8 value) { m_bytes.append(char(value)); }
    void integer(qint64 value) { m_bytes.append(reinterpret_cast<const char*>(&value), sizeof value); }
    void uuid(const QUuid& id) { m_bytes.append(id.toRfc4122()); }
    void raw(const char* data, qsizetype size) { m_bytes.append(data, size); }
    void text(const QString& value)
    {
        const QByteArray utf8 = value.toUtf8();
        integer(utf8.size());
        m_bytes.append(utf8);
    }

private:
    QByteArray& m_bytes;
};

class Reader {
public:
    explicit Reader(const QByteArray& bytes)
        : m_bytes(bytes)
    {
    }
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_at == m_bytes.size(); }
    quint8 byte() { return take(1) ? quint8(m_bytes.at(m_at - 1)) : 0; }
    qint64 integer()
    {
        qint64 value = 0;
        if (take(sizeof value))
            std::memcpy(&value, m_bytes.constData() + m_at - sizeof value, sizeof value);
        return value;
    }
    QUuid uuid()
    {
        return take(16) ? QUuid::fromRfc4122(QByteArrayView(m_bytes).sliced(m_at - 16, 16)) : QUuid();
    }
    void raw(char* data, qsizetype size)
    {
        if (take(size))
            std::memcpy(data, m_bytes.constData() + m_at - size, size_t(size));
    }
    QString text()
    {
        const qint64 size = integer();
        if (size < 0 || !take(size))
            return {};
        return QString::fromUtf8(QByteArrayView(m_bytes).sliced(m_at - size, size));
    }

private:
    bool take(qint64 size)
    {
        if (!m_ok || size > m_bytes.size() - m_at) {
            m_ok = false;
            return false;
        }
        m_at += size;
        return true;
    }

    const QByteArray& m_bytes;
    qsizetype m_at = 0;
    bool m_ok = true;
};

QDateTime utcDate(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

} // namespace

QByteArray KeptRecord::toBytes() const
{
    QByteArray bytes;
    Writer out(bytes);
    out.byte(layout);
    out.byte(quint8(type));
    out.byte(quint8(value.index()));
    if (const auto* deleted = std::get_if<DeletedRecord>(&value)) {
        out.text(deleted->recordType);
        out.text(deleted->recordName);
        out.integer(deleted->deletedAt.toMSecsSinceEpoch());
    } else if (const auto* link = std::get_if<LinkSummary>(&value)) {
        out.uuid(link->id);
        out.integer(link->updatedAt);
        out.byte(link->fileFields);
        out.raw(link->digest.data(), qsizetype(link->digest.size()));
    } else if (const auto* relation = std::get_if<LinkRelation>(&value)) {
        out.uuid(relation->id);
        out.uuid(relation->fromLinkID);
        out.uuid(relation->toLinkID);
        out.integer(relation->createdAt.toMSecsSinceEpoch());
    }
    return bytes;
}

std::optional<KeptRecord> KeptRecord::fromBytes(const QByteArray& bytes)
{
    Reader in(bytes);
    const quint8 version = in.byte();
    const quint8 type = in.byte();
    const quint8 index = in.byte();
    if (version != layout || type > quint8(Type::relation))
        return std::nullopt;
    KeptRecord kept;
    kept.type = Type(type);
    switch (index) {
    case 0:
        break;
    case 1: {
        DeletedRecord deleted;
        deleted.recordType = in.text();
        deleted.recordName = in.text();
        deleted.deletedAt = utcDate(in.integer());
        kept.value = std::move(deleted);
        break;
    }
    case 2: {
        LinkSummary link;
        link.id = in.uuid();
        link.updatedAt = in.integer();
        link.fileFields = in.byte();
        in.raw(link.digest.data(), qsizetype(link.digest.size()));
        kept.value = link;
        break;
    }
    case 3: {
        LinkRelation relation;
        relation.id = in.uuid();
        relation.fromLinkID = in.uuid();
        relation.toLinkID = in.uuid();
        relation.createdAt = utcDate(in.integer());
        kept.value = relation;
        break;
    }
    default:
        return std::nullopt;
    }
    if (!in.ok() || !in.atEnd())
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

namespace {

std::pair<QUuid, QUuid> pairOf(const LinkRelation& relation)
{
    return pairKey(relation.fromLinkID, relation.toLinkID);
}

// The pair a relation's name gives, when it is one.
std::optional<std::pair<QUuid, QUuid>> pairNamed(const QString& name)
{
    const qsizetype separator = name.indexOf(u'_');
    if (separator < 0)
        return std::nullopt;
    const std::optional<QUuid> from = parseUuid(name.left(separator));
    const std::optional<QUuid> to = parseUuid(name.mid(separator + 1));
    if (!from || !to)
        return std::nullopt;
    return pairKey(*from, *to);
}

} // namespace

void KeptRecords::reserve(qsizetype size)
{
    m_links.reserve(size);
}

void KeptRecords::keep(const QString& name, KeptRecord kept)
{
    forget(name);
    if (const auto* link = std::get_if<LinkSummary>(&kept.value); link && name == uuidString(link->id)) {
        m_links.insert(link->id, *link);
        return;
    }
    if (const auto* relation = std::get_if<LinkRelation>(&kept.value);
        relation && name == RecordFormats::relationRecordName(*relation)) {
        const std::pair<QUuid, QUuid> ends = pairOf(*relation);
        m_relations.insert(ends, *relation);
        m_ends.reset();
        return;
    }
    const auto* deleted = std::get_if<DeletedRecord>(&kept.value);
    if (std::holds_alternative<LinkSummary>(kept.value) || std::holds_alternative<LinkRelation>(kept.value) ||
        (deleted && name != RecordFormats::tombstoneRecordName(*deleted)))
        m_elsewhere.insert(name);
    m_others.insert(name, std::move(kept));
}

std::optional<KeptRecord> KeptRecords::find(const QString& name) const
{
    if (const auto other = m_others.constFind(name); other != m_others.constEnd())
        return *other;
    if (const std::optional<QUuid> id = parseUuid(name); id && name == uuidString(*id)) {
        if (const auto link = m_links.constFind(*id); link != m_links.constEnd())
            return KeptRecord{KeptRecord::Type::link, *link};
    } else if (const std::optional<std::pair<QUuid, QUuid>> ends = pairNamed(name)) {
        const auto relation = m_relations.constFind(*ends);
        if (relation != m_relations.constEnd() && RecordFormats::relationRecordName(*relation) == name)
            return KeptRecord{KeptRecord::Type::relation, *relation};
    }
    return std::nullopt;
}

std::optional<KeptRecord> KeptRecords::forget(const QString& name)
{
    if (const auto other = m_others.constFind(name); other != m_others.constEnd()) {
        KeptRecord kept = *other;
        m_others.erase(other);
        m_elsewhere.remove(name);
        return kept;
    }
    std::optional<KeptRecord> kept = find(name);
    if (!kept)
        return std::nullopt;
    if (const auto* link = std::get_if<LinkSummary>(&kept->value)) {
        m_links.remove(link->id);
    } else if (const auto* relation = std::get_if<LinkRelation>(&kept->value)) {
        const std::pair<QUuid, QUuid> ends = pairOf(*relation);
        m_relations.remove(ends);
        m_ends.reset();
    }
    return kept;
}

QStringList KeptRecords::names() const
{
    QStringList names = m_others.keys();
    names.reserve(size());
    for (const QUuid& id : m_links.keys())
        names.append(uuidString(id));
    for (const LinkRelation& relation : m_relations)
        names.append(RecordFormats::relationRecordName(relation));
    return names;
}

template <class Matches> QStringList KeptRecords::othersWhere(Matches matches) const
{
    QStringList names;
    for (const QString& name : m_elsewhere) {
        if (matches(m_others.value(name)))
            names.append(name);
    }
    return names;
}

QStringList KeptRecords::linkRecords(const QUuid& id) const
{
    QStringList names = othersWhere([&](const KeptRecord& kept) {
        const auto* link = std::get_if<LinkSummary>(&kept.value);
        return link && link->id == id;
    });
    if (m_links.contains(id))
        names.append(uuidString(id));
    return names;
}

QStringList KeptRecords::relationRecords(const QString& relationName) const
{
    const std::optional<std::pair<QUuid, QUuid>> ends = pairNamed(relationName);
    if (!ends)
        return {};
    QStringList names = othersWhere([&](const KeptRecord& kept) {
        const auto* relation = std::get_if<LinkRelation>(&kept.value);
        return relation && pairOf(*relation) == *ends;
    });
    if (const auto relation = m_relations.constFind(*ends); relation != m_relations.constEnd())
        names.append(RecordFormats::relationRecordName(*relation));
    return names;
}

QStringList KeptRecords::relationsAt(const QUuid& linkID) const
{
    QStringList names = othersWhere([&](const KeptRecord& kept) {
        const auto* relation = std::get_if<LinkRelation>(&kept.value);
        return relation && (relation->fromLinkID == linkID || relation->toLinkID == linkID);
    });
    if (!m_ends) {
        m_ends.emplace();
        m_ends->reserve(m_relations.size() * 2);
        for (auto relation = m_relations.constKeyValueBegin(); relation != m_relations.constKeyValueEnd();
             ++relation) {
            m_ends->insert(relation->first.first, relation->first.second);
            m_ends->insert(relation->first.second, relation->first.first);
        }
    }
    for (auto other = m_ends->constFind(linkID); other != m_ends->constEnd() && other.key() == linkID;
         ++other)
        names.append(LinkRelation::recordName(linkID, *other));
    return names;
}

QStringList KeptRecords::deletionRecords(const QString& type, const QString& name) const
{
    const auto deletes = [&](const KeptRecord& kept) {
        const auto* deleted = std::get_if<DeletedRecord>(&kept.value);
        return deleted && deleted->recordType == type && deleted->recordName == name;
    };
    QStringList names = othersWhere(deletes);
    const QString own = RecordFormats::tombstoneRecordName(DeletedRecord{type, name, {}});
    if (const auto found = m_others.constFind(own); found != m_others.constEnd() && deletes(*found))
        names.append(own);
    return names;
}

} // namespace morvane
