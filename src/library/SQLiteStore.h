#pragma once

#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "SQLiteTransaction.h"
#include "SQLiteValue.h"
#include "StoreError.h"
#include "foundation/Clock.h"
#include "model/DeletedRecord.h"
#include "model/FileIdentity.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <optional>

namespace morvane {

// The library database: one SQLite connection, its schema and every read and write of the library.
// Not thread-safe by itself: its owner calls it from one thread at a time. Every method throws
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

    // --- Schema ---------------------------------------------------------------------------------
    void migrate();
    void addColumnIfMissing(const QString& table, const QString& column, const QString& declaredType);

    // --- Statement primitives -------------------------------------------------------------------
    SQLiteConnection& connection() { return m_connection; }
    // Statements come from the connection's cache (see SQLiteConnection::statement).
    SQLiteStatement prepare(const QString& sql);
    // Prepares, binds, steps once (a row or done is success), hands the statement back.
    void executeValues(const QString& sql, const QList<SQLiteValue>& values);
    void execute(const QString& sql, const QList<std::optional<QString>>& parameters = {});
    // Runs a statement that selected linkColumnsSql(); rows that do not decode are skipped.
    QList<LinkItem> queryLinks(const QString& sql, const QList<SQLiteValue>& parameters);
    QList<LinkItem> queryLinks(const QString& sql, const QStringList& parameters = {});

    // Runs fn inside a transaction (nested as a savepoint when one is open) and commits it; an
    // exception rolls back and propagates.
    template <class F> decltype(auto) inTransaction(F&& fn)
    {
        SQLiteTransaction transaction(m_connection);
        if constexpr (std::is_void_v<std::invoke_result_t<F>>) {
            fn();
            transaction.commit();
        } else {
            decltype(auto) result = fn();
            transaction.commit();
            return result;
        }
    }

    // --- Link reads -----------------------------------------------------------------------------
    QList<LinkItem> allLinks();
    std::optional<LinkItem> link(const QUuid& id);
    // Also finds the row of the same locator with or without a final "/".
    std::optional<LinkItem> linkByURL(const QString& locator);
    // The first match by update time, then title; linksBy... list every match in that order.
    std::optional<LinkItem> linkByFileIdentity(const QString& resourceIdentifier,
                                               const QString& volumeIdentifier);
    QList<LinkItem> linksByFileIdentity(const QString& resourceIdentifier, const QString& volumeIdentifier);
    std::optional<LinkItem> linkByContentHash(const QString& contentHash, qint64 fileSize);
    QList<LinkItem> linksByContentHash(const QString& contentHash, qint64 fileSize);
    // Through this machine's resolutions; only a single matching link counts.
    std::optional<LinkItem> linkByLocalResolution(const FileIdentity& identity);
    // At most 200: blank text lists the recent links, other text matches title, url, type, notes and
    // tag names (LIKE, % and _ act as wildcards) with title matches first.
    QList<LinkItem> searchLinks(const QString& query);
    QList<LinkItem> relatedLinks(const QUuid& id);

    // --- Other reads ----------------------------------------------------------------------------
    QList<LinkRelation> allRelations();
    QList<DeletedRecord> allDeletedRecords();
    bool isTombstoned(const QString& recordType, const QString& recordName);
    QStringList relationRecordNames(const QUuid& id);
    std::optional<FileIdentity> localResolution(const QUuid& id);

    // --- Local writes ---------------------------------------------------------------------------
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

    // --- Merge, import and erase ----------------------------------------------------------------
    void backfillFileFields(const LinkItem& remote, const LinkItem& local);
    void deleteLinkRows(const QString& recordName);
    // Last writer wins on the descriptive fields; a local tombstone beats the remote copy.
    void applyRemoteLink(const LinkItem& remote);
    void applyRemoteDeletion(const DeletedRecord& record);
    // Skipped when tombstoned, to itself, or when either end is not in the library.
    void applyRemoteRelation(const LinkRelation& relation);
    void importRecords(const QList<LinkItem>& links, const QList<LinkRelation>& relations);
    void eraseAll();

private:
    // Tag ids by normalized name, for writers that tag many links in one transaction.
    using TagIds = QHash<QString, QString>;

    // SQLite's own upkeep of its planning statistics; a failure is only logged.
    void refreshStatistics() noexcept;
    // The id of the tag, creating it when missing; known (when given) answers names seen before.
    std::optional<QString> tagId(const QString& name, TagIds* known);
    // Adds the tags (as replaceTags normalizes them) to the link; the caller holds the transaction.
    void writeTags(const QStringList& names, const QString& linkIdText, TagIds* known);
    // One link of an import, written inside the import's transaction.
    void writeImportedLink(const LinkItem& item, TagIds& tagIds);
    std::optional<LinkItem> firstLink(const QString& sql, const QList<SQLiteValue>& parameters);
    bool linkExists(const QString& idText);

    QString m_databasePath;
    SQLiteConnection m_connection;
    std::shared_ptr<const Clock> m_clock;
};

} // namespace morvane
