#pragma once

#include "foundation/MappedArray.h"
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
#include <limits>
#include <optional>
#include <span>
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
    static std::optional<KeptRecord> fromBytes(QByteArrayView bytes);
    bool operator==(const KeptRecord& other) const;
};

// What a pass after a change starts from, by the name the store lists each record under, and found also
// by what each of them names. A link under its own id and a relation under its pair's name, which are
// nearly every record, are held by those ids without the text of their names, each kind in one sorted
// array of fixed-size entries in a mapping of its own: kept between passes, they would otherwise be
// a hash node each in the allocator's heap, between what every pass allocates and gives back.
class KeptRecords {
public:
    void keep(const QString& name, KeptRecord kept);
    // Forgets the record under the name, answering what it was.
    std::optional<KeptRecord> forget(const QString& name);
    // Keeps a record read back from where it was kept, without looking for one under its name first:
    // for filling an empty set, each name once, then loaded() before anything else.
    void load(const QString& name, KeptRecord kept);
    void loaded();

    std::optional<KeptRecord> find(const QString& name) const;
    bool contains(const QString& name) const { return find(name).has_value(); }
    QStringList names() const;
    qsizetype size() const { return m_links.size() + m_relations.size() + m_others.size(); }
    // Takes the pass's changes into the sorted arrays and lets go of what only speeds up the lookups of
    // one pass.
    void settle();
    // The names of the records of the link with the id, of the relation with the name, of every relation
    // with the link at either end, and of the deletion of a record.
    QStringList linkRecords(const QUuid& id) const;
    QStringList relationRecords(const QString& relationName) const;
    QStringList relationsAt(const QUuid& linkID) const;
    QStringList deletionRecords(const QString& type, const QString& name) const;

    // A relation as kept: its date as milliseconds (or none: invalidDate).
    struct Relation {
        QUuid id;
        QUuid from;
        QUuid to;
        qint64 createdAt;
    };
    static LinkRelation relationOf(const Relation& relation);
    // What a settled set holds, read in place: the links under their own ids sorted by id, the relations
    // under their pairs' names sorted by pair (the lesser id first), and the other records by name
    // (deletions, records that do not read, records under another name than their own).
    std::span<const LinkSummary> linksByID() const { return m_links.sorted(); }
    std::span<const Relation> relationsByPair() const { return m_relations.sorted(); }
    const QHash<QString, KeptRecord>& others() const { return m_others; }

private:
    using Pair = std::pair<QUuid, QUuid>;
    static constexpr qint64 invalidDate = std::numeric_limits<qint64>::min();
    static Relation relationOf(const LinkRelation& relation);
    static const QUuid& keyOf(const LinkSummary& link) { return link.id; }
    static Pair keyOf(const Relation& relation);

    // Entries of one kind by their key: the sorted array, and the entries changed since it was made
    // (none for one removed) beside it, taken into it when a pass settles or they grow many. Changing
    // the array itself for each record would move most of it each time.
    template <class Entry, class Key> class Table {
    public:
        const Entry* find(const Key& key) const;
        void insert(const Entry& entry);
        std::optional<Entry> remove(const Key& key);
        void load(const Entry& entry) { m_sorted.push_back(entry); }
        void loaded();
        qsizetype size() const { return m_size; }
        template <class Visit> void forEach(Visit visit) const;
        void settle();
        std::span<const Entry> sorted() const
        {
            Q_ASSERT(m_changes.isEmpty());
            return {m_sorted.begin(), m_sorted.size()};
        }

    private:
        const Entry* findSorted(const Key& key) const;
        MappedArray<Entry> m_sorted;
        QHash<Key, std::optional<Entry>> m_changes;
        qsizetype m_size = 0;
    };

    // The records found under some other name than their own (rare) are looked through one by one.
    template <class Matches> QStringList othersWhere(Matches matches) const;
    // Where a record kept under the name goes.
    enum class Place { link, relation, other };
    static Place placeOf(const QString& name, const KeptRecord& kept);
    void keepOther(const QString& name, KeptRecord kept);

    Table<LinkSummary, QUuid> m_links;
    Table<Relation, Pair> m_relations;
    // Each end of those relations with the other, sorted: made when a pass first asks, dropped when the
    // relations change or the pass settles, so that it is not held between passes.
    struct End {
        QUuid at;
        QUuid other;
        bool operator<(const End& end) const { return at < end.at || (at == end.at && other < end.other); }
    };
    mutable MappedArray<End> m_ends;
    mutable bool m_endsMade = false;
    void dropEnds() const;
    // Deletions, records that do not read, and records under another name than their own.
    QHash<QString, KeptRecord> m_others;
    QSet<QString> m_elsewhere; // those of m_others under another name than their own
};

} // namespace morvane
