#include "MorvaneLibraryExport.h"

namespace morvane {

MorvaneLibraryExport::LinkRecord MorvaneLibraryExport::LinkRecord::fromLinkItem(const LinkItem& item)
{
    LinkRecord record;
    record.id = item.id;
    record.title = item.title;
    record.url = item.url;
    record.type = item.type;
    record.sourceApp = item.sourceApp;
    record.notes = item.notes;
    record.tags = item.tags;
    record.lastKnownPath = item.lastKnownPath;
    record.contentHash = item.contentHash;
    record.fileSize = item.fileSize;
    record.createdAt = item.createdAt;
    record.updatedAt = item.updatedAt;
    record.lastOpenedAt = item.lastOpenedAt;
    return record;
}

LinkItem MorvaneLibraryExport::LinkRecord::linkItem() const
{
    LinkItem item;
    item.id = id;
    item.title = title;
    item.url = url;
    item.type = type;
    item.sourceApp = sourceApp;
    item.notes = notes;
    item.tags = tags;
    item.linkedItemCount = 0;
    item.lastKnownPath = lastKnownPath;
    item.contentHash = contentHash;
    item.fileSize = fileSize;
    item.createdAt = createdAt;
    item.updatedAt = updatedAt;
    item.lastOpenedAt = lastOpenedAt;
    return item;
}

MorvaneLibraryExport::RelationRecord
MorvaneLibraryExport::RelationRecord::fromLinkRelation(const LinkRelation& relation)
{
    return RelationRecord{relation.id, relation.fromLinkID, relation.toLinkID, relation.createdAt};
}

LinkRelation MorvaneLibraryExport::RelationRecord::linkRelation() const
{
    return LinkRelation{id, fromLinkID, toLinkID, createdAt};
}

MorvaneLibraryExport::MorvaneLibraryExport(const QList<LinkItem>& items,
                                           const QList<LinkRelation>& linkRelations,
                                           const QDateTime& exportedAt)
    : exportedAt(exportedAt)
{
    links.reserve(items.size());
    for (const LinkItem& item : items)
        links.append(LinkRecord::fromLinkItem(item));
    relations.reserve(linkRelations.size());
    for (const LinkRelation& relation : linkRelations)
        relations.append(RelationRecord::fromLinkRelation(relation));
}

QList<LinkItem> MorvaneLibraryExport::linkItems() const
{
    QList<LinkItem> items;
    items.reserve(links.size());
    for (const LinkRecord& record : links)
        items.append(record.linkItem());
    return items;
}

QList<LinkRelation> MorvaneLibraryExport::linkRelations() const
{
    QList<LinkRelation> result;
    result.reserve(relations.size());
    for (const RelationRecord& record : relations)
        result.append(record.linkRelation());
    return result;
}

void MorvaneLibraryExport::checkFormatVersion() const
{
    if (formatVersion != currentFormatVersion)
        throw MorvaneLibraryExportError::unsupportedFormatVersion(formatVersion);
}

MorvaneLibraryExportCoders MorvaneLibraryExport::makeJSONCoders()
{
    return MorvaneLibraryExportCoders{};
}

MorvaneLibraryExport MorvaneLibraryExport::readBackup(const QByteArray& bytes)
{
    MorvaneLibraryExport document = makeJSONCoders().decoder.decode(bytes);
    document.checkFormatVersion();
    return document;
}

MorvaneLibraryExportError::MorvaneLibraryExportError(Kind kind, qint64 version)
    : Error(QStringLiteral("Unsupported Morvane export format version %1.").arg(version))
    , m_kind(kind)
    , m_version(version)
{
}

MorvaneLibraryExportError MorvaneLibraryExportError::unsupportedFormatVersion(qint64 version)
{
    return MorvaneLibraryExportError(Kind::unsupportedFormatVersion, version);
}

MorvaneLibraryExportDecodingError::MorvaneLibraryExportDecodingError(Kind kind, QString codingPath,
                                                                     QString detail,
                                                                     const QString& description)
    : Error(description)
    , m_kind(kind)
    , m_codingPath(std::move(codingPath))
    , m_detail(std::move(detail))
{
}

} // namespace morvane
