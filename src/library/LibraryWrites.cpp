#include "LibraryWrites.h"

#include "LibraryReads.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "SQLiteTransaction.h"
#include "foundation/IsoDate.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Uuid.h"

#include <algorithm>

namespace morvane {

namespace {
// The stored order of a relation's ends: the smaller UUID string first.
std::pair<QString, QString> orderedEnds(const QUuid& a, const QUuid& b)
{
    QString first = uuidString(a);
    QString second = uuidString(b);
    if (second < first)
        std::swap(first, second);
    return {first, second};
}

QStringList normalizedTagNames(const QStringList& names)
{
    QStringList result;
    for (const QString& name : names) {
        const QString tag = name.trimmed().toLower();
        if (!tag.isEmpty() && !result.contains(tag))
            result.append(tag);
    }
    std::sort(result.begin(), result.end());
    return result;
}
} // namespace

void LibraryWrites::insertLink(const LinkItem& item)
{
    m_connection.execute(
        QStringLiteral("INSERT INTO links (id, title, url, type, source_app, notes, bookmark_data, "
                       "file_resource_identifier, volume_identifier, last_known_path, content_hash, "
                       "file_size, created_at, updated_at) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {SQLiteValue::text(uuidString(item.id)), SQLiteValue::text(item.title), SQLiteValue::text(item.url),
         SQLiteValue::text(rawValue(item.type)), SQLiteValue::text(item.sourceApp),
         SQLiteValue::text(item.notes), SQLiteValue::blob(item.bookmarkData),
         SQLiteValue::text(item.fileResourceIdentifier), SQLiteValue::text(item.volumeIdentifier),
         SQLiteValue::text(item.lastKnownPath), SQLiteValue::text(item.contentHash),
         SQLiteValue::integer(item.fileSize), SQLiteValue::text(libraryDateString(item.createdAt)),
         SQLiteValue::text(libraryDateString(item.updatedAt))});
}

void LibraryWrites::recordOpen(const QUuid& id)
{
    m_connection.execute(QStringLiteral("UPDATE links SET last_opened_at = ? WHERE id = ?"),
                         {libraryDateString(now()), uuidString(id)});
}

void LibraryWrites::updateFileIdentity(const QUuid& id, const FileIdentity& identity,
                                       const std::optional<QString>& url)
{
    m_connection.execute(
        QStringLiteral("UPDATE links SET bookmark_data = ?, file_resource_identifier = ?, "
                       "volume_identifier = ?, last_known_path = ?, "
                       "content_hash = COALESCE(?, content_hash), file_size = COALESCE(?, file_size), "
                       "url = ?, updated_at = ? WHERE id = ?"),
        {SQLiteValue::blob(identity.bookmarkData), SQLiteValue::text(identity.fileResourceIdentifier),
         SQLiteValue::text(identity.volumeIdentifier), SQLiteValue::text(identity.lastKnownPath),
         SQLiteValue::text(identity.contentHash), SQLiteValue::integer(identity.fileSize),
         SQLiteValue::text(url.value_or(LocatorUrl::fileUrlText(identity.lastKnownPath))),
         SQLiteValue::text(libraryDateString(now())), SQLiteValue::text(uuidString(id))});
}

void LibraryWrites::upsertLocalResolution(const QUuid& id, const FileIdentity& identity, bool confirmedByUser)
{
    m_connection.execute(
        QStringLiteral(
            "INSERT INTO link_local_resolutions (link_id, bookmark_data, file_resource_identifier, "
            "volume_identifier, local_path, content_hash, file_size, confirmed_by_user, last_verified_at) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT(link_id) DO UPDATE SET "
            "bookmark_data = excluded.bookmark_data, "
            "file_resource_identifier = excluded.file_resource_identifier, "
            "volume_identifier = excluded.volume_identifier, local_path = excluded.local_path, "
            "content_hash = excluded.content_hash, file_size = excluded.file_size, "
            "confirmed_by_user = MAX(link_local_resolutions.confirmed_by_user, excluded.confirmed_by_user), "
            "last_verified_at = excluded.last_verified_at"),
        {SQLiteValue::text(uuidString(id)), SQLiteValue::blob(identity.bookmarkData),
         SQLiteValue::text(identity.fileResourceIdentifier), SQLiteValue::text(identity.volumeIdentifier),
         SQLiteValue::text(identity.lastKnownPath), SQLiteValue::text(identity.contentHash),
         SQLiteValue::integer(identity.fileSize), SQLiteValue::integer(confirmedByUser ? 1 : 0),
         SQLiteValue::text(libraryDateString(now()))});
}

std::optional<QString> LibraryWrites::tagId(const QString& name, TagIds* known)
{
    if (known != nullptr) {
        if (const auto found = known->constFind(name); found != known->cend())
            return *found;
    }
    const auto lookUp = [&]() -> std::optional<QString> {
        SQLiteStatement select =
            m_connection.statement(QStringLiteral("SELECT id FROM tags WHERE name = ? LIMIT 1"));
        select.bind({name});
        return select.step() ? select.optionalText(0) : std::nullopt;
    };
    std::optional<QString> id = lookUp();
    // Made only when missing: most names a sync pass brings are tags the library has, and the insert
    // that would be ignored for them cost as much as the lookup.
    if (!id) {
        m_connection.execute(QStringLiteral("INSERT OR IGNORE INTO tags (id, name) VALUES (?, ?)"),
                             {uuidString(QUuid::createUuid()), name});
        id = lookUp();
        if (!id)
            return std::nullopt;
    }
    if (known != nullptr)
        known->insert(name, *id);
    return id;
}

QStringList LibraryWrites::tagIds(const QStringList& names, TagIds* known)
{
    QStringList ids;
    for (const QString& tag : normalizedTagNames(names)) {
        if (std::optional<QString> id = tagId(tag, known))
            ids.append(std::move(*id));
    }
    return ids;
}

void LibraryWrites::writeTags(const QStringList& names, const QString& linkIdText)
{
    for (const QString& id : tagIds(names, nullptr)) {
        m_connection.execute(
            QStringLiteral("INSERT OR IGNORE INTO link_tags (link_id, tag_id) VALUES (?, ?)"),
            {linkIdText, id});
    }
}

void LibraryWrites::replaceTags(const QStringList& names, const QUuid& linkId)
{
    if (normalizedTagNames(names).isEmpty())
        return;
    // All of a link's tags or none: a half-written set would look like a deliberate edit.
    inTransaction(m_connection, [&] { writeTags(names, uuidString(linkId)); });
}

void LibraryWrites::setTags(const QStringList& names, const QUuid& linkId)
{
    inTransaction(m_connection, [&] {
        m_connection.execute(QStringLiteral("DELETE FROM link_tags WHERE link_id = ?"), {uuidString(linkId)});
        replaceTags(names, linkId);
    });
}

void LibraryWrites::addRelation(const QUuid& a, const QUuid& b)
{
    if (a == b)
        return;
    const auto [from, to] = orderedEnds(a, b);
    // Relating the pair again undoes its removal here; the sync pass takes the pair's deletion out of
    // the record store once it pushes the relation.
    inTransaction(m_connection, [&] {
        m_connection.execute(
            QStringLiteral(
                "DELETE FROM deleted_records WHERE record_type = 'LinkRelation' AND record_name = ?"),
            {LinkRelation::recordName(a, b)});
        m_connection.execute(
            QStringLiteral("INSERT OR IGNORE INTO link_relations (id, from_link_id, to_link_id, created_at) "
                           "VALUES (?, ?, ?, ?)"),
            {uuidString(QUuid::createUuid()), from, to, libraryDateString(now())});
    });
}

void LibraryWrites::removeRelation(const QUuid& a, const QUuid& b)
{
    if (a == b)
        return;
    const QString recordName = LinkRelation::recordName(a, b);
    inTransaction(m_connection, [&] {
        upsertTombstone(QStringLiteral("LinkRelation"), recordName, now());
        deleteRelation(recordName);
    });
}

void LibraryWrites::deleteRelation(const QString& recordName)
{
    const QStringList ends = recordName.split(u'_', Qt::SkipEmptyParts);
    if (ends.size() != 2)
        return;
    m_connection.execute(
        QStringLiteral("DELETE FROM link_relations WHERE (from_link_id = ? AND to_link_id = ?) "
                       "OR (from_link_id = ? AND to_link_id = ?)"),
        {ends[0], ends[1], ends[1], ends[0]});
}

void LibraryWrites::deleteLink(const QUuid& id)
{
    const QString idText = uuidString(id);
    const QStringList relationNames = m_reads.relationRecordNames(id);
    inTransaction(m_connection, [&] {
        const QDateTime deletedAt = now();
        upsertTombstone(QStringLiteral("Link"), idText, deletedAt);
        for (const QString& name : relationNames)
            upsertTombstone(QStringLiteral("LinkRelation"), name, deletedAt);
        m_connection.execute(
            QStringLiteral("DELETE FROM link_relations WHERE from_link_id = ? OR to_link_id = ?"),
            {idText, idText});
        m_connection.execute(QStringLiteral("DELETE FROM links WHERE id = ?"), {idText});
    });
}

void LibraryWrites::upsertTombstone(const QString& recordType, const QString& recordName,
                                    const QDateTime& deletedAt)
{
    m_connection.execute(
        QStringLiteral("INSERT INTO deleted_records (record_type, record_name, deleted_at) VALUES (?, ?, ?) "
                       "ON CONFLICT(record_type, record_name) DO UPDATE SET "
                       "deleted_at = MAX(deleted_records.deleted_at, excluded.deleted_at)"),
        {recordType, recordName, libraryDateString(deletedAt)});
}

} // namespace morvane
