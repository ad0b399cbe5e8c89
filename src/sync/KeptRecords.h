#pragma once

#include "model/DeletedRecord.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QByteArray>
#include <QHash>
#include <QMultiHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <array>
#include <optional>
#include <variant>

namespace morvane {

struct RemoteRecord;

// What deciding about a stored link needs without its fields: which copy of two is the later, whether
// two copies hold the same shared content, and which file fields it could fill in. The fields themselves
// are read again when a decision compares them.
struct LinkSummary {
    enum FileField : quint8 { contentHash = 1, fileSize = 2, lastKnownPath = 4 };
    using Digest = std::array<char, 16>;

    QUuid id;
    qint64 updatedAt = 0; // milliseconds since the epoch
    Digest digest{};      // of the shared content
    quint8 fileFields = 0;

    static LinkSummary of(const LinkItem& link);
    static Digest digestOf(const LinkItem& link);
    // Whether the link lacks a file field this copy holds.
    bool fillsFileFields(const LinkItem& link) const;
};

// What a pass keeps of one deletion, link or relation record between passes: the deletion and the
// relation whole (they are small), the link as its summary; nothing of a record that does not read.
struct KeptRecord {
    enum class Type : quint8 { deletion, link, relation };
    Type type = Type::link;
    std::variant<std::monostate, DeletedRecord, LinkSummary, LinkRelation> value;

    static KeptRecord of(const RemoteRecord& decoded);
    // Kept in the library between runs; none for bytes that do not read as one.
    QByteArray toBytes() const;
    static std::optional<KeptRecord> fromBytes(const QByteArray& bytes);
    bool operator==(const KeptRecord& other) const;
};

// What a pass after a change starts from, by the name the store lists each record under, and found also
// by what each of them names. A link under its own id and a relation under its pair's name, which are
// nearly every record, are held by those ids without the text of their names.
class KeptRecords {
public:
    void keep(const QString& name, KeptRecord kept);
    // Forgets the record under the name, answering what it was.
    std::optional<KeptRecord> forget(const QString& name);

    std::optional<KeptRecord> find(const QString& name) const;
    bool contains(const QString& name) const { return find(name).has_value(); }
    QStringList names() const;
    qsizetype size() const { return m_links.size() + m_relations.size() + m_others.size(); }
    // Room for this many records, for one that knows how many will come.
    void reserve(qsizetype size);
    // Lets go of what only speeds up the lookups of one pass.
    void dropIndexes() { m_ends.reset(); }
    // The names of the records of the link with the id, of the relation with the name, of every relation
    // with the link at either end, and of the deletion of a record.
    QStringList linkRecords(const QUuid& id) const;
    QStringList relationRecords(const QString& relationName) const;
    QStringList relationsAt(const QUuid& linkID) const;
    QStringList deletionRecords(const QString& type, const QString& name) const;

private:
    using Pair = std::pair<QUuid, QUuid>;
    // The records found under some other name than their own (rare) are looked through one by one.
    template <class Matches> QStringList othersWhere(Matches matches) const;

    QHash<QUuid, LinkSummary> m_links;
    QHash<Pair, LinkRelation> m_relations; // by the ends, in pair order
    // Each end of those relations to the other: made when a pass first asks, dropped when the relations
    // change or the pass ends (dropIndexes), so that it is not held between passes.
    mutable std::optional<QMultiHash<QUuid, QUuid>> m_ends;
    // Deletions, records that do not read, and records under another name than their own.
    QHash<QString, KeptRecord> m_others;
    QSet<QString> m_elsewhere; // those of m_others under another name than their own
};

} // namespace morvane
