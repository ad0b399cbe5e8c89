#include "LibraryImporter.h"
#include "LibraryImportError.h"
#include "library/LibraryMerge.h"
#include "library/LibraryReads.h"
#include "library/LibraryTransactions.h"
#include "library/LinkParser.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

namespace morvane {

namespace {
Error fileNotOpened(const QString& filePath)
{
    return Error(genericFileNotOpenedText(QFileInfo(filePath).fileName()));
}

QByteArray readWholeFile(const QString& filePath)
{
    // Only a regular file: a device or a pipe could feed the reader forever.
    if (!QFileInfo(filePath).isFile())
        throw fileNotOpened(filePath);
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw fileNotOpened(filePath);
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw fileNotOpened(filePath);
    return bytes;
}

// The parser's own table decides which schemes a type may have; a backup may not bring in a "web" link
// that would open as something else.
void checkLocators(const MorvaneLibraryExport& document)
{
    for (const MorvaneLibraryExport::LinkRecord& record : document.links) {
        if (!LinkParser::schemeBelongsToType(record.url, record.type))
            throw LibraryImportError::locatorDoesNotMatchType(record.title, record.type);
    }
}
} // namespace

MorvaneLibraryExport LibraryImporter::readBackupFile(const QString& filePath)
{
    MorvaneLibraryExport document = MorvaneLibraryExport::readBackup(readWholeFile(filePath));
    checkLocators(document);
    return document;
}

MorvaneLibraryImportPreview LibraryImporter::preview(const QString& filePath)
{
    return preview(readBackupFile(filePath));
}

MorvaneLibraryImportPreview LibraryImporter::preview(const MorvaneLibraryExport& document)
{
    const QSet<QUuid> linkIDs = m_reads.allLinkIDs();
    QSet<QString> pairKeys;
    for (const LinkRelation& relation : m_reads.allRelations())
        pairKeys.insert(LinkRelation::recordName(relation.fromLinkID, relation.toLinkID));

    MorvaneLibraryImportPreview preview;
    preview.exportedAt = document.exportedAt;
    preview.linkCount = document.links.size();
    preview.relationCount = document.relations.size();
    for (const MorvaneLibraryExport::LinkRecord& record : document.links) {
        if (linkIDs.contains(record.id))
            ++preview.existingLinkCount;
    }
    for (const MorvaneLibraryExport::RelationRecord& record : document.relations) {
        if (pairKeys.contains(LinkRelation::recordName(record.fromLinkID, record.toLinkID)))
            ++preview.existingRelationCount;
    }
    return preview;
}

MorvaneLibraryExport LibraryImporter::withoutMissingEnds(const MorvaneLibraryExport& document, bool replacing,
                                                         qsizetype& skipped)
{
    QSet<QUuid> known;
    known.reserve(document.links.size());
    for (const MorvaneLibraryExport::LinkRecord& record : document.links)
        known.insert(record.id);
    bool libraryConsulted = false;
    const auto hasEnd = [&](const QUuid& end) {
        if (known.contains(end))
            return true;
        // A merge keeps the library's links, so they may be named too; read them only when needed.
        if (!replacing && !libraryConsulted) {
            known.unite(m_reads.allLinkIDs());
            libraryConsulted = true;
        }
        return known.contains(end);
    };
    MorvaneLibraryExport kept = document;
    // A relation of an item with itself is never written, so its end needs no item.
    skipped = kept.relations.removeIf([&](const MorvaneLibraryExport::RelationRecord& record) {
        return record.fromLinkID != record.toLinkID &&
               !(hasEnd(record.fromLinkID) && hasEnd(record.toLinkID));
    });
    return kept;
}

void LibraryImporter::checkRelationIDs(const MorvaneLibraryExport& document, bool replacing)
{
    // Records of one pair may repeat, in either direction, under one id; the database keeps a single row
    // per id, so an id that also names another pair could never be written.
    QHash<QUuid, QString> pairByID;
    pairByID.reserve(document.relations.size());
    for (const MorvaneLibraryExport::RelationRecord& record : document.relations) {
        // A relation of an item with itself is never written, so its id takes no row.
        if (record.fromLinkID == record.toLinkID)
            continue;
        const QString pair = LinkRelation::recordName(record.fromLinkID, record.toLinkID);
        const auto found = pairByID.constFind(record.id);
        if (found == pairByID.constEnd())
            pairByID.insert(record.id, pair);
        else if (*found != pair)
            throw LibraryImportError::relationIDReused(record.id, false);
    }
    // A replace erases the library's relations first, so only a merge can meet them.
    if (replacing || pairByID.isEmpty())
        return;
    for (const auto& [id, pair] : m_reads.relationRecordNamesByID()) {
        const auto found = pairByID.constFind(id);
        if (found != pairByID.constEnd() && *found != pair)
            throw LibraryImportError::relationIDReused(id, true);
    }
}

LibraryImporter::ImportCounts LibraryImporter::importLibrary(const QString& filePath, bool replacing)
{
    return importDocument(readBackupFile(filePath), replacing);
}

LibraryImporter::ImportCounts LibraryImporter::importDocument(const MorvaneLibraryExport& document,
                                                              bool replacing)
{
    const QList<LinkItem> links = document.linkItems();
    ImportCounts counts{document.links.size(), document.relations.size()};
    // The erase and the import commit together: whatever fails, the library is left as it was.
    m_transactions.inBulkTransaction([&] {
        // What sync or another program left behind in the library the backup came from: a relation
        // whose link is gone there. It is left out, and the rest imported.
        const MorvaneLibraryExport kept =
            withoutMissingEnds(document, replacing, counts.skippedRelationCount);
        checkRelationIDs(kept, replacing);
        if (replacing)
            m_merge.eraseAll();
        m_merge.importRecords(links, kept.linkRelations());
    });
    return counts;
}

LibraryImporter::Export LibraryImporter::exportDocument(const QDateTime& exportedAt)
{
    const QList<LinkItem> links = m_reads.allLinks();
    QList<LinkRelation> relations = m_reads.allRelations();
    // Sync or another program may leave a relation whose link is gone; an import of the backup would
    // only skip it, so it is not written.
    QSet<QUuid> linkIDs;
    linkIDs.reserve(links.size());
    for (const LinkItem& link : links)
        linkIDs.insert(link.id);
    const qsizetype leftOut = relations.removeIf([&](const LinkRelation& relation) {
        return !linkIDs.contains(relation.fromLinkID) || !linkIDs.contains(relation.toLinkID);
    });
    return Export{MorvaneLibraryExport(links, relations, exportedAt), leftOut};
}

LibraryImporter::Export LibraryImporter::exportLibrary(const QString& filePath, const QDateTime& exportedAt)
{
    Export exported = exportDocument(exportedAt);
    const QByteArray bytes = MorvaneLibraryExport::makeJSONCoders().encoder.encode(exported.document);
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Error(QStringLiteral("The file “") + QFileInfo(filePath).fileName() +
                    QStringLiteral("” couldn’t be saved."));
    return exported;
}

} // namespace morvane
