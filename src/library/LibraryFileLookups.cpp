#include "LibraryFileLookups.h"

#include "LinkRow.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "foundation/Uuid.h"

namespace morvane {

QList<LinkItem> LibraryFileLookups::bookmarkedFileLinks()
{
    const auto stamp = m_connection.changeStamp();
    if (m_bookmarkedStamp == stamp)
        return m_bookmarked;
    m_bookmarked = queryLinks(m_connection,
                              linkColumnsSql() +
                                  QStringLiteral("FROM links WHERE links.type IN ('file', 'folder') AND "
                                                 "length(links.bookmark_data) > 0 ORDER BY links.updated_at "
                                                 "ASC, links.title COLLATE NOCASE ASC"));
    m_bookmarkedStamp = stamp;
    return m_bookmarked;
}

QList<LinkItem> LibraryFileLookups::linksByFileIdentity(const QString& resourceIdentifier,
                                                        const QString& volumeIdentifier)
{
    return queryLinks(m_connection,
                      linkColumnsSql() +
                          QStringLiteral("FROM links WHERE links.file_resource_identifier = ? AND "
                                         "links.volume_identifier = ? ORDER BY links.updated_at ASC, "
                                         "links.title ASC, links.id ASC"),
                      {resourceIdentifier, volumeIdentifier});
}

std::optional<LinkItem> LibraryFileLookups::linkByFileIdentity(const QString& resourceIdentifier,
                                                               const QString& volumeIdentifier)
{
    QList<LinkItem> links = linksByFileIdentity(resourceIdentifier, volumeIdentifier);
    if (links.isEmpty())
        return std::nullopt;
    return links.takeFirst();
}

QList<LinkItem> LibraryFileLookups::linksByContentHash(const QString& contentHash, qint64 fileSize)
{
    return queryLinks(
        m_connection,
        linkColumnsSql() +
            QStringLiteral("FROM links WHERE links.content_hash = ? AND "
                           "links.file_size = CAST(? AS INTEGER) ORDER BY links.updated_at ASC, "
                           "links.title ASC, links.id ASC"),
        {contentHash, QString::number(fileSize)});
}

std::optional<LinkItem> LibraryFileLookups::linkByContentHash(const QString& contentHash, qint64 fileSize)
{
    QList<LinkItem> links = linksByContentHash(contentHash, fileSize);
    if (links.isEmpty())
        return std::nullopt;
    return links.takeFirst();
}

std::optional<LinkItem> LibraryFileLookups::linkByLocalResolution(const FileIdentity& identity)
{
    if (identity.fileResourceIdentifier && identity.volumeIdentifier) {
        const QList<LinkItem> links = queryLinks(
            m_connection,
            linkColumnsSql() + QStringLiteral("FROM links WHERE links.id IN (SELECT link_id FROM "
                                              "link_local_resolutions WHERE file_resource_identifier = ? AND "
                                              "volume_identifier = ?) LIMIT 2"),
            {*identity.fileResourceIdentifier, *identity.volumeIdentifier});
        if (links.size() == 1)
            return links.first();
    }
    if (identity.contentHash && identity.fileSize) {
        const QList<LinkItem> links =
            queryLinks(m_connection,
                       linkColumnsSql() + QStringLiteral("FROM links WHERE links.id IN (SELECT link_id FROM "
                                                         "link_local_resolutions WHERE content_hash = ? AND "
                                                         "file_size = CAST(? AS INTEGER)) LIMIT 2"),
                       {*identity.contentHash, QString::number(*identity.fileSize)});
        if (links.size() == 1)
            return links.first();
    }
    return std::nullopt;
}

std::optional<FileIdentity> LibraryFileLookups::localResolution(const QUuid& id)
{
    SQLiteStatement statement = m_connection.statement(
        QStringLiteral("SELECT bookmark_data, file_resource_identifier, volume_identifier, "
                       "local_path, content_hash, file_size "
                       "FROM link_local_resolutions WHERE link_id = ? LIMIT 1"));
    statement.bind({uuidString(id)});
    if (!statement.step())
        return std::nullopt;
    const std::optional<QByteArray> bookmark = statement.blob(0);
    if (!bookmark || bookmark->isEmpty())
        return std::nullopt;
    FileIdentity identity;
    identity.bookmarkData = *bookmark;
    identity.fileResourceIdentifier = statement.optionalText(1);
    identity.volumeIdentifier = statement.optionalText(2);
    identity.lastKnownPath = statement.text(3);
    identity.contentHash = statement.optionalText(4);
    identity.fileSize = statement.optionalInt64(5);
    return identity;
}

} // namespace morvane
