#include "sync/RecordFormats.h"

#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <algorithm>

namespace morvane::RecordFormats {

QString linkRecordName(const LinkItem& link)
{
    return uuidString(link.id);
}

QString relationRecordName(const LinkRelation& relation)
{
    return LinkRelation::recordName(relation.fromLinkID, relation.toLinkID);
}

QString tombstoneRecordName(const DeletedRecord& record)
{
    QString name = record.recordType + u'_' + record.recordName;
    name.replace(u':', u'_');
    name.replace(u'/', u'_');
    return name;
}

bool isLinkRecordName(const QString& name)
{
    const std::optional<QUuid> id = parseUuid(name);
    return id && uuidString(*id) == name;
}

std::optional<std::pair<QUuid, QUuid>> relationRecordIds(const QString& name)
{
    const qsizetype separator = name.indexOf(u'_');
    if (separator < 0)
        return std::nullopt;
    const std::optional<QUuid> from = parseUuid(name.left(separator));
    const std::optional<QUuid> to = parseUuid(name.mid(separator + 1));
    if (!from || !to)
        return std::nullopt;
    return std::pair(*from, *to);
}

bool isRelationRecordName(const QString& name)
{
    const std::optional<std::pair<QUuid, QUuid>> ids = relationRecordIds(name);
    return ids && ids->first != ids->second && LinkRelation::recordName(ids->first, ids->second) == name;
}

bool isSyncedDeletion(const DeletedRecord& deleted)
{
    if (deleted.recordType == linkType)
        return isLinkRecordName(deleted.recordName);
    if (deleted.recordType == relationType)
        return isRelationRecordName(deleted.recordName);
    return false;
}

QString sharedContent(const LinkItem& link)
{
    // The fields writeLinkFields writes but the path, in the order of their names, the tags sorted; each
    // value typed and delimited by control characters no field holds apart. Written out here rather than
    // through a record: a pass makes this text for every link it compares.
    QString text;
    text.reserve(160 + link.title.size() + link.url.size() + link.notes.size() + link.sourceApp.size());
    const auto field = [&text](QStringView name, char16_t kind) {
        text += name;
        text += u'\x1f';
        text += QChar(kind);
    };
    const auto end = [&text] { text += u'\x1e'; };
    const auto string = [&](QStringView name, const QString& value) {
        field(name, u's');
        text += value;
        end();
    };
    const auto date = [&](QStringView name, const QDateTime& value) {
        field(name, u'd');
        text += libraryDateString(value);
        end();
    };
    if (link.contentHash)
        string(u"contentHash", *link.contentHash);
    date(u"createdAt", link.createdAt);
    if (link.fileSize) {
        field(u"fileSize", u'i');
        text += QString::number(*link.fileSize);
        end();
    }
    if (link.lastOpenedAt)
        date(u"lastOpenedAt", *link.lastOpenedAt);
    string(u"notes", link.notes);
    string(u"sourceApp", link.sourceApp);
    if (!link.tags.isEmpty()) {
        QStringList tags = link.tags;
        std::sort(tags.begin(), tags.end());
        field(u"tags", u'l');
        text += tags.join(u'\x1d');
        end();
    }
    string(u"title", link.title);
    string(u"type", rawValue(link.type));
    date(u"updatedAt", link.updatedAt);
    string(u"url", link.url);
    return text;
}

bool linkWins(const LinkItem& first, const LinkItem& second)
{
    if (first.updatedAt != second.updatedAt)
        return first.updatedAt > second.updatedAt;
    return sharedContent(first) > sharedContent(second);
}

void writeLinkFields(const LinkItem& link, CloudRecord& record)
{
    record.set(QStringLiteral("title"), link.title);
    record.set(QStringLiteral("url"), link.url);
    record.set(QStringLiteral("type"), rawValue(link.type));
    record.set(QStringLiteral("sourceApp"), link.sourceApp);
    record.set(QStringLiteral("notes"), link.notes);
    record.setOptional(QStringLiteral("tags"),
                       link.tags.isEmpty() ? std::nullopt : std::optional<QStringList>(link.tags));
    record.setOptional(QStringLiteral("lastKnownPath"), link.lastKnownPath);
    record.setOptional(QStringLiteral("contentHash"), link.contentHash);
    record.setOptional(QStringLiteral("fileSize"), link.fileSize);
    record.set(QStringLiteral("createdAt"), link.createdAt);
    record.set(QStringLiteral("updatedAt"), link.updatedAt);
    record.setOptional(QStringLiteral("lastOpenedAt"), link.lastOpenedAt);
}

void writeRelationFields(const LinkRelation& relation, CloudRecord& record)
{
    record.set(QStringLiteral("fromLinkID"), uuidString(relation.fromLinkID));
    record.set(QStringLiteral("toLinkID"), uuidString(relation.toLinkID));
    record.set(QStringLiteral("createdAt"), relation.createdAt);
}

void writeDeletedRecordFields(const DeletedRecord& deleted, CloudRecord& record)
{
    record.set(QStringLiteral("deletedRecordType"), deleted.recordType);
    record.set(QStringLiteral("deletedRecordName"), deleted.recordName);
    record.set(QStringLiteral("deletedAt"), deleted.deletedAt);
}

void writeLibraryResetFields(const LibraryReset& reset, CloudRecord& record)
{
    record.set(QStringLiteral("resetID"), uuidString(reset.resetID));
    record.set(QStringLiteral("resetAt"), reset.resetAt);
}

std::optional<LinkItem> linkItem(const CloudRecord& record)
{
    const std::optional<QUuid> id = parseUuid(record.recordName());
    if (!id)
        return std::nullopt;
    const auto title = record.string(QStringLiteral("title"));
    const auto url = record.string(QStringLiteral("url"));
    const auto typeText = record.string(QStringLiteral("type"));
    if (!title || !url || !typeText)
        return std::nullopt;
    const std::optional<LinkType> type = linkTypeFromRawValue(*typeText);
    if (!type)
        return std::nullopt;
    const auto createdAt = record.date(QStringLiteral("createdAt"));
    const auto updatedAt = record.date(QStringLiteral("updatedAt"));
    if (!createdAt || !updatedAt)
        return std::nullopt;
    LinkItem link;
    link.id = *id;
    link.title = *title;
    link.url = *url;
    link.type = *type;
    link.tags = record.stringList(QStringLiteral("tags")).value_or(QStringList());
    link.sourceApp = record.string(QStringLiteral("sourceApp")).value_or(QString());
    link.notes = record.string(QStringLiteral("notes")).value_or(QString());
    link.lastKnownPath = record.string(QStringLiteral("lastKnownPath"));
    link.contentHash = record.string(QStringLiteral("contentHash"));
    link.fileSize = record.int64(QStringLiteral("fileSize"));
    link.createdAt = *createdAt;
    link.updatedAt = *updatedAt;
    link.lastOpenedAt = record.date(QStringLiteral("lastOpenedAt"));
    return link;
}

std::optional<LinkRelation> linkRelation(const CloudRecord& record)
{
    const auto fromText = record.string(QStringLiteral("fromLinkID"));
    const auto toText = record.string(QStringLiteral("toLinkID"));
    const auto createdAt = record.date(QStringLiteral("createdAt"));
    if (!fromText || !toText || !createdAt)
        return std::nullopt;
    const std::optional<QUuid> from = parseUuid(*fromText);
    const std::optional<QUuid> to = parseUuid(*toText);
    if (!from || !to)
        return std::nullopt;
    const std::optional<QUuid> named = parseUuid(record.recordName());
    const QUuid id = named ? *named : newUuid();
    return LinkRelation{id, *from, *to, *createdAt};
}

std::optional<DeletedRecord> deletedRecord(const CloudRecord& record)
{
    const auto type = record.string(QStringLiteral("deletedRecordType"));
    const auto name = record.string(QStringLiteral("deletedRecordName"));
    const auto deletedAt = record.date(QStringLiteral("deletedAt"));
    if (!type || !name || !deletedAt)
        return std::nullopt;
    return DeletedRecord{*type, *name, *deletedAt};
}

std::optional<LibraryReset> libraryReset(const CloudRecord& record)
{
    const auto idText = record.string(QStringLiteral("resetID"));
    const auto resetAt = record.date(QStringLiteral("resetAt"));
    if (!idText || !resetAt)
        return std::nullopt;
    const std::optional<QUuid> id = parseUuid(*idText);
    if (!id)
        return std::nullopt;
    return LibraryReset{*id, *resetAt};
}

} // namespace morvane::RecordFormats
