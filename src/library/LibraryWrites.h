#pragma once

#include "foundation/Clock.h"
#include "model/FileIdentity.h"
#include "model/LinkItem.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace morvane {

class LibraryReads;
class SQLiteConnection;

// The local writes of the library: new links, file evidence, tags, relations, deletions, tombstones.
// The times it writes as "now" come from the store's clock.
class LibraryWrites {
public:
    // Tag ids by normalized name, for writers that tag many links in one transaction.
    using TagIds = QHash<QString, QString>;

    // clock: dates what is written as "now"; it outlives this.
    LibraryWrites(SQLiteConnection& connection, LibraryReads& reads, const Clock& clock)
        : m_connection(connection)
        , m_reads(reads)
        , m_clock(clock)
    {
    }

    // The new row with its fourteen stored columns; tags are written separately with replaceTags.
    void insertLink(const LinkItem& item);
    void recordOpen(const QUuid& id);
    // Writes the evidence and points url at the file: the plain file URL of its path unless the
    // caller gives the url to keep (a PDF page link keeps its page).
    void updateFileIdentity(const QUuid& id, const FileIdentity& identity,
                            const std::optional<QString>& url = std::nullopt);
    void upsertLocalResolution(const QUuid& id, const FileIdentity& identity, bool confirmedByUser);
    // Adds tags (trimmed, lower-cased, de-duplicated) to the link; callers clear the old ones first.
    void replaceTags(const QStringList& names, const QUuid& linkId);
    // Deletes the link's tags and writes the given ones, in one transaction.
    void setTags(const QStringList& names, const QUuid& linkId);
    void addRelation(const QUuid& a, const QUuid& b);
    void removeRelation(const QUuid& a, const QUuid& b);
    void deleteLink(const QUuid& id);
    void deleteRelation(const QString& recordName);
    // Keeps the later of the stored and the given deletion time.
    void upsertTombstone(const QString& recordType, const QString& recordName, const QDateTime& deletedAt);

    // Adds the tags (as replaceTags normalizes them) to the link; the caller holds the transaction.
    void writeTags(const QStringList& names, const QString& linkIdText);
    // The ids of the tags (as replaceTags normalizes them), each made when missing.
    QStringList tagIds(const QStringList& names, TagIds* known);

private:
    QDateTime now() const { return m_clock.now(); }
    // The id of the tag, creating it when missing.
    std::optional<QString> tagId(const QString& name, TagIds* known);

    SQLiteConnection& m_connection;
    LibraryReads& m_reads;
    const Clock& m_clock;
};

} // namespace morvane
