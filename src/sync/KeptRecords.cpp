#include "sync/KeptRecords.h"

#include "foundation/Uuid.h"
#include "sync/RecordFormats.h"
#include "sync/SyncRemoteState.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cstring>
#include <vector>

#include <openssl/evp.h>

namespace morvane {

namespace {

// Fetched once: a pass sums up every link of both sides, and the implicit fetch of each digest call
// looks the algorithm up again every time.
const EVP_MD* sha256()
{
    static const EVP_MD* const algorithm = [] {
        const EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA2-256", nullptr);
        return fetched ? fetched : EVP_sha256();
    }();
    return algorithm;
}

} // namespace

LinkSummary::Digest LinkSummary::digestOf(const LinkItem& link)
{
    const QByteArray text = RecordFormats::sharedContent(link).toUtf8();
    Digest digest{};
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.constData(), size_t(text.size()), hash, &length, sha256(), nullptr) == 1 &&
        length >= digest.size()) {
        std::memcpy(digest.data(), hash, digest.size());
    } else {
        const QByteArray qtHash = QCryptographicHash::hash(text, QCryptographicHash::Sha256);
        std::memcpy(digest.data(), qtHash.constData(), digest.size());
    }
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
    explicit Reader(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_at == m_bytes.size(); }
    quint8 byte() { return take(1) ? quint8(m_bytes[m_at - 1]) : 0; }
    qint64 integer()
    {
        qint64 value = 0;
        if (take(sizeof value))
            std::memcpy(&value, m_bytes.constData() + m_at - sizeof value, sizeof value);
        return value;
    }
    QUuid uuid() { return take(16) ? QUuid::fromRfc4122(m_bytes.sliced(m_at - 16, 16)) : QUuid(); }
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
        return QString::fromUtf8(m_bytes.sliced(m_at - size, size));
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

    QByteArrayView m_bytes;
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

std::optional<KeptRecord> KeptRecord::fromBytes(QByteArrayView bytes)
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

template <class Entry, class Key>
const Entry* KeptRecords::Table<Entry, Key>::findSorted(const Key& key) const
{
    const Entry* found =
        std::lower_bound(m_sorted.begin(), m_sorted.end(), key,
                         [](const Entry& entry, const Key& key) { return keyOf(entry) < key; });
    return found != m_sorted.end() && keyOf(*found) == key ? found : nullptr;
}

template <class Entry, class Key> const Entry* KeptRecords::Table<Entry, Key>::find(const Key& key) const
{
    if (const auto changed = m_changes.constFind(key); changed != m_changes.constEnd())
        return changed->has_value() ? &**changed : nullptr;
    return findSorted(key);
}

template <class Entry, class Key> void KeptRecords::Table<Entry, Key>::insert(const Entry& entry)
{
    const Key key = keyOf(entry);
    // One after every key goes at the array's end: a complete listing, which comes in the order of the
    // names, gives nearly every record so, and is then held once, not also in the changes until they
    // are taken in.
    if (m_changes.isEmpty() && (m_sorted.empty() || keyOf(m_sorted.back()) < key)) {
        m_sorted.push_back(entry);
        ++m_size;
        return;
    }
    if (!find(key))
        ++m_size;
    m_changes.insert(key, entry);
    // Taken in once they are a fair share of the array, so that a pass that reads every record moves
    // the array a few times, not once per record.
    if (m_changes.size() > std::max<qsizetype>(4096, qsizetype(m_sorted.size() / 4)))
        settle();
}

template <class Entry, class Key> std::optional<Entry> KeptRecords::Table<Entry, Key>::remove(const Key& key)
{
    const Entry* found = find(key);
    if (!found)
        return std::nullopt;
    const Entry entry = *found;
    --m_size;
    if (findSorted(key))
        m_changes.insert(key, std::nullopt);
    else
        m_changes.remove(key);
    return entry;
}

template <class Entry, class Key> void KeptRecords::Table<Entry, Key>::loaded()
{
    // Each key comes once (it is a record's own name), so the order of equal keys does not matter.
    std::sort(m_sorted.data(), m_sorted.data() + m_sorted.size(),
              [](const Entry& a, const Entry& b) { return keyOf(a) < keyOf(b); });
    m_size = qsizetype(m_sorted.size());
}

template <class Entry, class Key>
template <class Visit>
void KeptRecords::Table<Entry, Key>::forEach(Visit visit) const
{
    for (const Entry& entry : m_sorted) {
        if (!m_changes.contains(keyOf(entry)))
            visit(entry);
    }
    for (const std::optional<Entry>& changed : m_changes) {
        if (changed)
            visit(*changed);
    }
}

template <class Entry, class Key> void KeptRecords::Table<Entry, Key>::settle()
{
    if (m_changes.isEmpty())
        return;
    std::vector<std::pair<Key, std::optional<Entry>>> changes(m_changes.constKeyValueBegin(),
                                                              m_changes.constKeyValueEnd());
    m_changes = {};
    std::sort(changes.begin(), changes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    MappedArray<Entry> merged;
    merged.reserve(std::size_t(m_size));
    auto change = changes.cbegin();
    for (const Entry& entry : m_sorted) {
        const Key key = keyOf(entry);
        for (; change != changes.cend() && change->first < key; ++change) {
            if (change->second)
                merged.push_back(*change->second);
        }
        if (change != changes.cend() && change->first == key) {
            if (change->second)
                merged.push_back(*change->second);
            ++change;
            continue;
        }
        merged.push_back(entry);
    }
    for (; change != changes.cend(); ++change) {
        if (change->second)
            merged.push_back(*change->second);
    }
    m_sorted = std::move(merged);
}

KeptRecords::Relation KeptRecords::relationOf(const LinkRelation& relation)
{
    return {relation.id, relation.fromLinkID, relation.toLinkID,
            relation.createdAt.isValid() ? relation.createdAt.toMSecsSinceEpoch() : invalidDate};
}

LinkRelation KeptRecords::relationOf(const Relation& relation)
{
    return {relation.id, relation.from, relation.to,
            relation.createdAt == invalidDate ? QDateTime() : utcDate(relation.createdAt)};
}

KeptRecords::Pair KeptRecords::keyOf(const Relation& relation)
{
    return pairKey(relation.from, relation.to);
}

KeptRecords::Place KeptRecords::placeOf(const QString& name, const KeptRecord& kept)
{
    if (const auto* link = std::get_if<LinkSummary>(&kept.value); link && name == uuidString(link->id))
        return Place::link;
    if (const auto* relation = std::get_if<LinkRelation>(&kept.value);
        relation && name == RecordFormats::relationRecordName(*relation))
        return Place::relation;
    return Place::other;
}

void KeptRecords::keep(const QString& name, KeptRecord kept)
{
    forget(name);
    switch (placeOf(name, kept)) {
    case Place::link:
        m_links.insert(std::get<LinkSummary>(kept.value));
        return;
    case Place::relation:
        m_relations.insert(relationOf(std::get<LinkRelation>(kept.value)));
        dropEnds();
        return;
    case Place::other:
        keepOther(name, std::move(kept));
        return;
    }
}

void KeptRecords::keepOther(const QString& name, KeptRecord kept)
{
    const auto* deleted = std::get_if<DeletedRecord>(&kept.value);
    if (std::holds_alternative<LinkSummary>(kept.value) || std::holds_alternative<LinkRelation>(kept.value) ||
        (deleted && name != RecordFormats::tombstoneRecordName(*deleted)))
        m_elsewhere.insert(name);
    m_others.insert(name, std::move(kept));
}

void KeptRecords::load(const QString& name, KeptRecord kept)
{
    switch (placeOf(name, kept)) {
    case Place::link:
        m_links.load(std::get<LinkSummary>(kept.value));
        return;
    case Place::relation:
        m_relations.load(relationOf(std::get<LinkRelation>(kept.value)));
        return;
    case Place::other:
        keepOther(name, std::move(kept));
        return;
    }
}

void KeptRecords::loaded()
{
    m_links.loaded();
    m_relations.loaded();
}

void KeptRecords::settle()
{
    m_links.settle();
    m_relations.settle();
    dropEnds();
}

void KeptRecords::dropEnds() const
{
    m_ends.release();
    m_endsMade = false;
}

std::optional<KeptRecord> KeptRecords::find(const QString& name) const
{
    if (const auto other = m_others.constFind(name); other != m_others.constEnd())
        return *other;
    if (const std::optional<QUuid> id = parseUuid(name); id && name == uuidString(*id)) {
        if (const LinkSummary* link = m_links.find(*id))
            return KeptRecord{KeptRecord::Type::link, *link};
    } else if (const std::optional<std::pair<QUuid, QUuid>> ends = pairNamed(name)) {
        if (const Relation* relation = m_relations.find(*ends)) {
            LinkRelation found = relationOf(*relation);
            if (RecordFormats::relationRecordName(found) == name)
                return KeptRecord{KeptRecord::Type::relation, std::move(found)};
        }
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
        m_relations.remove(pairOf(*relation));
        dropEnds();
    }
    return kept;
}

QStringList KeptRecords::names() const
{
    QStringList names = m_others.keys();
    names.reserve(size());
    m_links.forEach([&](const LinkSummary& link) { names.append(uuidString(link.id)); });
    m_relations.forEach([&](const Relation& relation) {
        names.append(RecordFormats::relationRecordName(relationOf(relation)));
    });
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
    if (m_links.find(id))
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
    if (const Relation* relation = m_relations.find(*ends))
        names.append(RecordFormats::relationRecordName(relationOf(*relation)));
    return names;
}

QStringList KeptRecords::relationsAt(const QUuid& linkID) const
{
    QStringList names = othersWhere([&](const KeptRecord& kept) {
        const auto* relation = std::get_if<LinkRelation>(&kept.value);
        return relation && (relation->fromLinkID == linkID || relation->toLinkID == linkID);
    });
    if (!m_endsMade) {
        m_ends.release();
        m_ends.reserve(std::size_t(m_relations.size()) * 2);
        m_relations.forEach([this](const Relation& relation) {
            m_ends.push_back(End{relation.from, relation.to});
            m_ends.push_back(End{relation.to, relation.from});
        });
        std::sort(m_ends.data(), m_ends.data() + m_ends.size());
        m_endsMade = true;
    }
    for (auto end = std::lower_bound(m_ends.begin(), m_ends.end(), End{linkID, QUuid()});
         end != m_ends.end() && end->at == linkID; ++end)
        names.append(LinkRelation::recordName(linkID, end->other));
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
