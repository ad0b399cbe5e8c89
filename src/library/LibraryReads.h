#pragma once

#include "LinkSearchIndex.h"
#include "model/DeletedRecord.h"
#include "model/FileIdentity.h"
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

class SQLiteConnection;
struct SQLiteValue;

// The reads of the library: link queries, lookups, the search, and the relation and tombstone lists.
// SQLiteStore documents each; this class only holds their statements.
class LibraryReads {
public:
    explicit LibraryReads(SQLiteConnection& connection)
        : m_connection(connection)
    {
    }

    QList<LinkItem> allLinks();
    QList<LinkItem> bookmarkedFileLinks();
    // In the order of allLinks().
    QList<LinkItem> linksOfType(LinkType type);
    std::optional<LinkItem> link(const QUuid& id);
    std::optional<LinkItem> linkByURL(const QString& locator);
    std::optional<LinkItem> linkByFileIdentity(const QString& resourceIdentifier,
                                               const QString& volumeIdentifier);
    QList<LinkItem> linksByFileIdentity(const QString& resourceIdentifier, const QString& volumeIdentifier);
    std::optional<LinkItem> linkByContentHash(const QString& contentHash, qint64 fileSize);
    QList<LinkItem> linksByContentHash(const QString& contentHash, qint64 fileSize);
    std::optional<LinkItem> linkByLocalResolution(const FileIdentity& identity);
    QList<LinkItem> searchLinks(const QString& query);
    LinkSearchIndex& searchIndex() { return m_searchIndex; }
    QList<LinkItem> relatedLinks(const QUuid& id);

    QList<LinkRelation> allRelations();
    QList<DeletedRecord> allDeletedRecords();
    bool isTombstoned(const QString& recordType, const QString& recordName);
    std::optional<QDateTime> tombstoneDeletedAt(const QString& recordType, const QString& recordName);
    // When the pair's relation was made, when there is one.
    std::optional<QDateTime> relationCreatedAt(const QString& recordName);
    QStringList relationRecordNames(const QUuid& id);
    std::optional<FileIdentity> localResolution(const QUuid& id);
    bool linkExists(const QString& idText);
    qint64 linkCount();
    QSet<QUuid> allLinkIDs();
    QList<std::pair<QUuid, QString>> relationRecordNamesByID();

private:
    std::optional<LinkItem> firstLink(const QString& sql, const QList<SQLiteValue>& parameters);

    SQLiteConnection& m_connection;
    LinkSearchIndex m_searchIndex{m_connection};
    // The context monitor asks for the bookmarked links every few seconds while the library rarely
    // changes: the last answer stands until a write or another connection's commit.
    std::optional<std::pair<qint64, qint64>> m_bookmarkedStamp;
    QList<LinkItem> m_bookmarked;
};

} // namespace morvane
