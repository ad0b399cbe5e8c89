#pragma once

#include "LibraryChangeJournal.h"
#include "LibraryMerge.h"
#include "LibraryReads.h"
#include "LibraryWrites.h"
#include "SQLiteConnection.h"
#include "SQLiteTransaction.h"
#include "StoreError.h"
#include "foundation/Clock.h"
#include "model/DeletedRecord.h"
#include "model/FileIdentity.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <optional>
#include <utility>

namespace morvane {

// The library database: one SQLite connection, its schema and every read and write of the library.
// Its face is the operations alone: statements and the connection stay inside the library layer, where
// the operations delegate to LibraryReads, LibraryWrites, LibraryMerge and LibrarySchema.
// Not thread-safe by itself: its owner calls it from one thread at a time. Every operation throws
// StoreError when a statement fails.
class SQLiteStore {
public:
    // Opens (creating or migrating) the library at the given path, or at Morvane.sqlite in the data
    // folder (created user-only with its parents) when no path is given. The clock dates what is
    // written as "now" (new links, tombstones, updates, resolutions).
    explicit SQLiteStore(const std::optional<QString>& databasePath = std::nullopt,
                         std::shared_ptr<const Clock> clock = SystemClock::shared());
    // Refreshes the statistics SQLite plans with before the connection closes.
    ~SQLiteStore();
    SQLiteStore(const SQLiteStore&) = delete;
    SQLiteStore& operator=(const SQLiteStore&) = delete;

    static QString defaultDatabasePath();
    const QString& databasePath() const { return m_databasePath; }

    // The time written as "now", from the store's clock.
    QDateTime now() const { return m_clock->now(); }

    // Runs fn inside a transaction (nested as a savepoint when one is open) and commits it; an
    // exception rolls back and propagates. For callers whose several operations must stay together.
    template <class F> decltype(auto) inTransaction(F&& fn)
    {
        return morvane::inTransaction(m_connection, std::forward<F>(fn));
    }

    // The same for a transaction that writes a large part of the library at once (an import): SQLite's
    // page cache is made large enough to hold what it changes for its duration. With the usual small
    // cache, every row written to an index keyed by random ids found its page evicted, so the pages went
    // out to the log and were read back row after row, and the time grew with the square of the size.
    //
    // Such a transaction that fails may leave the write-ahead log as large as what it wrote: on a disk
    // it filled, the library could not even be opened again. The log is then emptied and cut to nothing.
    template <class F> decltype(auto) inBulkTransaction(F&& fn)
    {
        const ScopedCacheSize cache(m_connection, bulkCacheKibibytes);
        try {
            return morvane::inTransaction(m_connection, std::forward<F>(fn));
        } catch (...) {
            truncateLog();
            throw;
        }
    }

    // --- Link reads -----------------------------------------------------------------------------
    // Every link by update time, then title without regard to case.
    QList<LinkItem> allLinks() { return m_reads.allLinks(); }
    // File and folder links that carry a bookmark, in allLinks order.
    QList<LinkItem> bookmarkedFileLinks() { return m_reads.bookmarkedFileLinks(); }
    QList<LinkItem> linksOfType(LinkType type) { return m_reads.linksOfType(type); }
    std::optional<LinkItem> link(const QUuid& id) { return m_reads.link(id); }
    // Also finds the row of the same locator with or without a final "/".
    std::optional<LinkItem> linkByURL(const QString& locator) { return m_reads.linkByURL(locator); }
    // The first match by update time, then title; linksBy... list every match in that order.
    std::optional<LinkItem> linkByFileIdentity(const QString& resourceIdentifier,
                                               const QString& volumeIdentifier)
    {
        return m_reads.linkByFileIdentity(resourceIdentifier, volumeIdentifier);
    }
    QList<LinkItem> linksByFileIdentity(const QString& resourceIdentifier, const QString& volumeIdentifier)
    {
        return m_reads.linksByFileIdentity(resourceIdentifier, volumeIdentifier);
    }
    std::optional<LinkItem> linkByContentHash(const QString& contentHash, qint64 fileSize)
    {
        return m_reads.linkByContentHash(contentHash, fileSize);
    }
    QList<LinkItem> linksByContentHash(const QString& contentHash, qint64 fileSize)
    {
        return m_reads.linksByContentHash(contentHash, fileSize);
    }
    // Through this machine's resolutions; only a single matching link counts.
    std::optional<LinkItem> linkByLocalResolution(const FileIdentity& identity)
    {
        return m_reads.linkByLocalResolution(identity);
    }
    // At most 200: blank text lists the recent links, other text matches title, url, type, notes and
    // tag names (LIKE, % and _ act as wildcards) with title matches first.
    QList<LinkItem> searchLinks(const QString& query) { return m_reads.searchLinks(query); }
    // A library opened before it had the search index gets it in steps, so that opening does not wait;
    // searches read every row until it is complete. Indexes the next batch; true once complete.
    bool buildSearchIndexStep() { return m_reads.searchIndex().buildStep(); }
    // Runs a search through the index once, so that the first one a user types finds the statements
    // prepared and the library's pages read.
    void warmSearch();
    // Runs a search too short for the index once: it brings the links' texts into memory (tens of
    // megabytes for a large library), so it waits until a search is coming rather than the start.
    void warmShortSearch();
    QList<LinkItem> relatedLinks(const QUuid& id) { return m_reads.relatedLinks(id); }

    // --- Other reads ----------------------------------------------------------------------------
    QList<LinkRelation> allRelations() { return m_reads.allRelations(); }
    QList<DeletedRecord> allDeletedRecords() { return m_reads.allDeletedRecords(); }
    bool isTombstoned(const QString& recordType, const QString& recordName)
    {
        return m_reads.isTombstoned(recordType, recordName);
    }
    // Moves on whenever the library may have changed, through this connection or another: a sync pass
    // that finds it unmoved and the record store unchanged has nothing to do.
    std::pair<qint64, qint64> changeStamp() { return m_connection.changeStamp(); }
    QStringList relationRecordNames(const QUuid& id) { return m_reads.relationRecordNames(id); }
    std::optional<FileIdentity> localResolution(const QUuid& id) { return m_reads.localResolution(id); }
    // The ids of every link whose id reads as a UUID.
    QSet<QUuid> allLinkIDs() { return m_reads.allLinkIDs(); }
    // Each relation's id with its record name, in stored order; rows whose ids are not UUIDs are skipped.
    QList<std::pair<QUuid, QString>> relationRecordNamesByID() { return m_reads.relationRecordNamesByID(); }

    // --- What changed, for a sync pass that sends only that ----------------------------------------
    // The links, relations and deletions changed after a point of the library's change journal.
    LibraryChangeJournal::Changes changesSince(std::optional<qint64> since)
    {
        return m_journal.changesSince(since);
    }
    // Makes the journal again when something removed it or its triggers.
    void restoreChangeJournal() { LibraryChangeJournal::migrate(m_connection); }
    QList<LinkItem> linksWithStoredIDs(const QStringList& ids) { return m_journal.links(ids); }
    QList<LinkRelation> relationsOfStoredIDs(const QStringList& ids) { return m_journal.relationsOf(ids); }
    QList<DeletedRecord> deletedRecords(const QList<std::pair<QString, QString>>& keys)
    {
        return m_journal.deletedRecords(keys);
    }

    // --- Local writes ---------------------------------------------------------------------------
    // The new row with its fourteen stored columns; tags are written separately with replaceTags.
    void insertLink(const LinkItem& item) { m_writes.insertLink(item); }
    void recordOpen(const QUuid& id) { m_writes.recordOpen(id); }
    // Writes the evidence and points url at the file: the plain file URL of its path unless the
    // caller gives the url to keep (a PDF page link keeps its page).
    void updateFileIdentity(const QUuid& id, const FileIdentity& identity,
                            const std::optional<QString>& url = std::nullopt)
    {
        m_writes.updateFileIdentity(id, identity, url);
    }
    void upsertLocalResolution(const QUuid& id, const FileIdentity& identity, bool confirmedByUser)
    {
        m_writes.upsertLocalResolution(id, identity, confirmedByUser);
    }
    // Adds tags (trimmed, lower-cased, de-duplicated) to the link; callers clear the old ones first.
    void replaceTags(const QStringList& names, const QUuid& linkId) { m_writes.replaceTags(names, linkId); }
    // Deletes the link's tags and writes the given ones, in one transaction.
    void setTags(const QStringList& names, const QUuid& linkId) { m_writes.setTags(names, linkId); }
    void addRelation(const QUuid& a, const QUuid& b) { m_writes.addRelation(a, b); }
    void removeRelation(const QUuid& a, const QUuid& b) { m_writes.removeRelation(a, b); }
    void deleteLink(const QUuid& id) { m_writes.deleteLink(id); }
    void deleteRelation(const QString& recordName) { m_writes.deleteRelation(recordName); }
    // Keeps the later of the stored and the given deletion time.
    void upsertTombstone(const QString& recordType, const QString& recordName, const QDateTime& deletedAt)
    {
        m_writes.upsertTombstone(recordType, recordName, deletedAt);
    }

    // --- Merge, import and erase ----------------------------------------------------------------
    void backfillFileFields(const LinkItem& remote, const LinkItem& local)
    {
        m_merge.backfillFileFields(remote, local);
    }
    void deleteLinkRows(const QString& recordName) { m_merge.deleteLinkRows(recordName); }
    // Last writer wins on the descriptive fields, and at equal update times the remote copy when the
    // caller says it wins the tie; a local tombstone beats the remote copy.
    void applyRemoteLink(const LinkItem& remote, bool winsEqualTime = false)
    {
        m_merge.applyRemoteLink(remote, winsEqualTime);
    }
    // A relation's deletion is passed over when the pair was related after it.
    void applyRemoteDeletion(const DeletedRecord& record) { m_merge.applyRemoteDeletion(record); }
    // Skipped when tombstoned at or after its making (an older tombstone is cleared), to itself, or when
    // either end is not in the library.
    void applyRemoteRelation(const LinkRelation& relation) { m_merge.applyRemoteRelation(relation); }
    // One transaction; the statistics are refreshed once it commits.
    void importRecords(const QList<LinkItem>& links, const QList<LinkRelation>& relations)
    {
        m_merge.importRecords(links, relations);
    }
    void eraseAll() { m_merge.eraseAll(); }

private:
    static constexpr int bulkCacheKibibytes = 256 * 1024;

    // After a failed bulk transaction: moves what the log holds into the file and cuts the log to
    // nothing, unless an outer transaction is still open. Never throws.
    void truncateLog() noexcept;

    QString m_databasePath;
    SQLiteConnection m_connection;
    std::shared_ptr<const Clock> m_clock;
    LibraryReads m_reads{m_connection};
    LibraryWrites m_writes{m_connection, m_reads, *m_clock};
    LibraryMerge m_merge{m_connection, m_reads, m_writes};
    LibraryChangeJournal m_journal{m_connection};
};

} // namespace morvane
