#pragma once

#include "model/FileIdentity.h"
#include "model/LinkItem.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <utility>

namespace morvane {

class SQLiteConnection;

// The reads that find links by the evidence of a file: its identity on disk, its content, this
// machine's resolutions and the bookmarks the links carry.
class LibraryFileLookups {
public:
    explicit LibraryFileLookups(SQLiteConnection& connection)
        : m_connection(connection)
    {
    }

    // File and folder links that carry a bookmark, in the order of LibraryReads::allLinks.
    QList<LinkItem> bookmarkedFileLinks();
    // The first match by update time, then title; linksBy... list every match in that order.
    std::optional<LinkItem> linkByFileIdentity(const QString& resourceIdentifier,
                                               const QString& volumeIdentifier);
    QList<LinkItem> linksByFileIdentity(const QString& resourceIdentifier, const QString& volumeIdentifier);
    std::optional<LinkItem> linkByContentHash(const QString& contentHash, qint64 fileSize);
    QList<LinkItem> linksByContentHash(const QString& contentHash, qint64 fileSize);
    // Through this machine's resolutions; only a single matching link counts.
    std::optional<LinkItem> linkByLocalResolution(const FileIdentity& identity);
    // This machine's resolution of the link, when it has one with a bookmark.
    std::optional<FileIdentity> localResolution(const QUuid& id);

private:
    SQLiteConnection& m_connection;
    // The context monitor asks for the bookmarked links every few seconds while the library rarely
    // changes: the last answer stands until a write or another connection's commit.
    std::optional<std::pair<qint64, qint64>> m_bookmarkedStamp;
    QList<LinkItem> m_bookmarked;
};

} // namespace morvane
