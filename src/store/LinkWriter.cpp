#include "LinkWriter.h"

#include "files/FileIdentityService.h"
#include "foundation/IsoDate.h"
#include "foundation/LocatorUrl.h"
#include "library/LinkParser.h"
#include "library/SQLiteStore.h"
#include "model/FileLocator.h"

#include <QUuid>

namespace morvane {

LinkWriter::LinkWriter(SQLiteStore& sqlite, const LinkParser& parser, const FileIdentityService& identity)
    : m_sqlite(sqlite)
    , m_parser(parser)
    , m_identity(identity)
{
}

QStringList LinkWriter::splitTags(const QString& tagsText)
{
    return tagsText.split(u',', Qt::SkipEmptyParts);
}

LinkItem LinkWriter::addLink(const QString& title, const QString& text, const QString& notes,
                             const QString& tagsText)
{
    const ParsedLink parsed = m_parser.parse(title, text);
    std::optional<FileIdentity> identity;
    if (isFileLike(parsed.type) && LocatorUrl::parse(parsed.url))
        identity = m_identity.makeIdentity(parsed.url, true);
    return save(parsed, parsed.sourceApp, notes, tagsText, identity);
}

LinkItem LinkWriter::addCapturedContext(const CapturedContext& context, const QString& notes,
                                        const QString& tagsText)
{
    const ParsedLink parsed = m_parser.parse(context.title, context.locator);
    std::optional<FileIdentity> identity;
    if (const FileLocator locator = FileLocator::read(parsed.url); isFileLike(parsed.type) && locator.isUrl) {
        // The captured bookmark and identifiers describe the file the user is looking at; only the
        // fingerprint is filled in here.
        identity = context.fileIdentity ? m_identity.refreshSizeAndHash(*context.fileIdentity, locator)
                                        : m_identity.makeIdentity(parsed.url, true);
    }
    return save(parsed, context.sourceApp, notes, tagsText, identity);
}

LinkItem LinkWriter::save(const ParsedLink& parsed, const QString& sourceApp, const QString& notes,
                          const QString& tagsText, const std::optional<FileIdentity>& identity)
{
    LinkItem item;
    item.id = QUuid::createUuid();
    item.title = parsed.title;
    item.url = parsed.url;
    item.type = parsed.type;
    item.sourceApp = sourceApp;
    item.notes = notes;
    item.tags = splitTags(tagsText);
    if (identity) {
        item.bookmarkData = identity->bookmarkData;
        item.fileResourceIdentifier = identity->fileResourceIdentifier;
        item.volumeIdentifier = identity->volumeIdentifier;
        item.lastKnownPath = identity->lastKnownPath;
        item.contentHash = identity->contentHash;
        item.fileSize = identity->fileSize;
    }
    // One instant for both, at the precision the library stores.
    const QDateTime now = *parseLibraryDate(libraryDateString(m_sqlite.now()));
    item.createdAt = now;
    item.updatedAt = now;

    m_sqlite.inTransaction([&] {
        m_sqlite.insertLink(item);
        m_sqlite.replaceTags(item.tags, item.id);
    });
    if (auto stored = m_sqlite.link(item.id))
        return *stored;
    return item;
}

} // namespace morvane
