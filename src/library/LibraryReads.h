#pragma once

#include "LinkTagsAndCounts.h"
#include "model/DeletedRecord.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>
#include <utility>

namespace morvane {

class LinkSearchIndex;
class SQLiteConnection;
struct SQLiteValue;

// The reads of the library: link queries, the search, and the relation and tombstone lists. The lookups
// by a file's evidence are LibraryFileLookups.
class LibraryReads {
public:
    // searchIndex: narrows typed searches; it outlives this.
    LibraryReads(SQLiteConnection& connection, LinkSearchIndex& searchIndex)
        : m_connection(connection)
        , m_searchIndex(searchIndex)
    {
    }

    // --- Links ----------------------------------------------------------------------------------
    // Every link by update time, then title without regard to case.
    QList<LinkItem> allLinks();
    // In the order of allLinks().
    QList<LinkItem> linksOfType(LinkType type);
    std::optional<LinkItem> link(const QUuid& id);
    // Also finds the row of the same locator with or without a final "/".
    std::optional<LinkItem> linkByURL(const QString& locator);
    // At most 200: blank text lists the recent links, other text matches title, url, type, notes and
    // tag names (LIKE, % and _ act as wildcards) with title matches first.
    QList<LinkItem> searchLinks(const QString& query);
    // Runs a search through the index once, so that the first one a user types finds the statements
    // prepared and the library's pages read.
    void warmSearch();
    // Reads the next batch of the links' texts that answer searches too short for the index (a search
    // that comes first reads the rest itself); true once all are in, after a few such searches that
    // prepare their statements and read their pages. The texts take about the memory of the texts, so
    // they are read when a search is coming rather than at the start.
    bool prepareShortSearchStep();
    // Makes the copy of those texts the next read takes at once, in steps, when there is none the
    // library still vouches for (a library never searched so, or changed by another program past what
    // the copy can follow), then gives them back; true when done. It stands aside once a search wants
    // the texts.
    bool prepareShortTextsCopyStep();
    // Gives back what searches read and keep for the next one: those texts and the library's cached
    // pages.
    void releaseSearchMemory();
    // Gives back the library's cached pages: for after a read of every row.
    void releaseCachedPages();
    QList<LinkItem> relatedLinks(const QUuid& id);
    bool linkExists(const QString& idText);
    qint64 linkCount();
    qint64 relationCount();
    // The ids of every link whose id reads as a UUID.
    QSet<QUuid> allLinkIDs();
    // The links of at most `count` rows after the row `after` (0: from the first), in the order of their
    // rows, for a reader that takes the whole library a part at a time; `lastRow` is set to the last row
    // read, also when that row does not decode, and left as it is when there are no more rows.
    QList<LinkItem> linksAfterRow(qint64 after, qsizetype count, qint64& lastRow);

    // --- Relations and tombstones ---------------------------------------------------------------
    QList<LinkRelation> allRelations();
    // As linksAfterRow, for relations.
    QList<LinkRelation> relationsAfterRow(qint64 after, qsizetype count, qint64& lastRow);
    QList<DeletedRecord> allDeletedRecords();
    bool isTombstoned(const QString& recordType, const QString& recordName);
    std::optional<QDateTime> tombstoneDeletedAt(const QString& recordType, const QString& recordName);
    // When the pair's relation was made, when there is one.
    std::optional<QDateTime> relationCreatedAt(const QString& recordName);
    QStringList relationRecordNames(const QUuid& id);
    // Each relation's id with its record name, in stored order; rows whose ids are not UUIDs are skipped.
    QList<std::pair<QUuid, QString>> relationRecordNamesByID();

private:
    std::optional<LinkItem> firstLink(const QString& sql, const QList<SQLiteValue>& parameters);

    SQLiteConnection& m_connection;
    LinkSearchIndex& m_searchIndex;
    // Between prepareShortSearchStep() and releaseSearchMemory(): the texts are a search's.
    bool m_shortSearchWanted = false;
};

} // namespace morvane
