// LinkStore's thin operations on the library's items and relations: one store job each.

#include "LinkStoreDetail.h"

#include <algorithm>

namespace morvane {

QString LinkStore::defaultLibraryPath()
{
    return SQLiteStore::defaultDatabasePath();
}

QFuture<QList<LinkItem>> LinkStore::searchLinks(QString query)
{
    return read(
        [query = std::move(query)](SQLiteStore& sqlite) { return sqlite.reads().searchLinks(query); });
}

QFuture<std::optional<FileIdentity>> LinkStore::localResolution(QUuid id)
{
    return read([id](SQLiteStore& sqlite) { return sqlite.fileLookups().localResolution(id); });
}

QFuture<std::optional<LinkItem>> LinkStore::link(QUuid id)
{
    return run([id](SQLiteStore& sqlite) { return sqlite.reads().link(id); });
}

QFuture<LibraryRows> LinkStore::linksAndRelations()
{
    return run([](SQLiteStore& sqlite) {
        return LibraryRows{sqlite.reads().allLinks(), sqlite.reads().allRelations()};
    });
}

QFuture<LibraryCounts> LinkStore::counts()
{
    // Counted, not read: after a large import, reading every link only to count them left tens of
    // megabytes with the allocator.
    return run([](SQLiteStore& sqlite) {
        return LibraryCounts{sqlite.reads().linkCount(), sqlite.reads().relationCount()};
    });
}

QFuture<void> LinkStore::deleteLink(QUuid id)
{
    return run([id](SQLiteStore& sqlite) { sqlite.writes().deleteLink(id); });
}

QFuture<void> LinkStore::addRelation(QUuid from, QUuid to)
{
    return run([from, to](SQLiteStore& sqlite) { sqlite.writes().addRelation(from, to); });
}

QFuture<void> LinkStore::removeRelation(QUuid from, QUuid to)
{
    return run([from, to](SQLiteStore& sqlite) { sqlite.writes().removeRelation(from, to); });
}

QFuture<bool> LinkStore::removeRelationIfRelated(QUuid from, QUuid to)
{
    return run([from, to](SQLiteStore& sqlite) {
        const QList<LinkItem> related = sqlite.reads().relatedLinks(from);
        const bool isRelated = std::any_of(related.begin(), related.end(),
                                           [&to](const LinkItem& item) { return item.id == to; });
        if (isRelated)
            sqlite.writes().removeRelation(from, to);
        return isRelated;
    });
}

QFuture<void> LinkStore::eraseAll()
{
    return run([](SQLiteStore& sqlite) { sqlite.merge().eraseAll(); });
}

QFuture<qsizetype> LinkStore::exportLibrary(QString filePath, QDateTime exportedAt)
{
    return run([filePath = std::move(filePath), exportedAt](SQLiteStore& sqlite) {
        return LibraryImporter(sqlite.reads(), sqlite.merge(), sqlite.transactions())
            .exportLibrary(filePath, exportedAt)
            .leftOutRelationCount;
    });
}

} // namespace morvane
