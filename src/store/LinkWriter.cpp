#include "LinkWriter.h"

#include "files/FileIdentityService.h"
#include "foundation/Clock.h"
#include "foundation/IsoDate.h"
#include "library/LibraryReads.h"
#include "library/LibraryTransactions.h"
#include "library/LibraryWrites.h"
#include "library/LinkParser.h"
#include "model/FileLocator.h"

#include <QUuid>

namespace morvane {

NewLink NewLink::typed(const LinkParser& parser, const QString& title, const QString& text,
                       const QString& notes, const QString& tagsText)
{
    NewLink link{parser.parse(title, text), {}, notes, tagsText, false, std::nullopt};
    link.sourceApp = link.parsed.sourceApp;
    link.takesFileEvidence = isFileLike(link.parsed.type) && FileLocator::read(link.parsed.url).isUrl;
    return link;
}

NewLink NewLink::fromContext(const LinkParser& parser, const CapturedContext& context, const QString& notes,
                             const QString& tagsText)
{
    NewLink link{parser.parse(context.title, context.locator),
                 context.sourceApp,
                 notes,
                 tagsText,
                 false,
                 context.fileIdentity};
    link.takesFileEvidence = isFileLike(link.parsed.type) && FileLocator::read(link.parsed.url).isUrl;
    return link;
}

std::optional<FileIdentity> NewLink::fileEvidence(const FileIdentityService& identity) const
{
    if (!takesFileEvidence)
        return std::nullopt;
    // The captured bookmark and identifiers describe the file the user is looking at; only the
    // fingerprint is filled in here.
    if (captured)
        return identity.refreshSizeAndHash(*captured, FileLocator::read(parsed.url));
    return identity.makeIdentity(parsed.url, true);
}

LinkWriter::LinkWriter(LibraryReads& reads, LibraryWrites& writes, LibraryTransactions& transactions,
                       const Clock& clock, const LinkParser& parser, const FileIdentityService& identity)
    : m_reads(reads)
    , m_writes(writes)
    , m_transactions(transactions)
    , m_clock(clock)
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
    const NewLink link = NewLink::typed(m_parser, title, text, notes, tagsText);
    return save(link, link.fileEvidence(m_identity));
}

LinkItem LinkWriter::addCapturedContext(const CapturedContext& context, const QString& notes,
                                        const QString& tagsText)
{
    const NewLink link = NewLink::fromContext(m_parser, context, notes, tagsText);
    return save(link, link.fileEvidence(m_identity));
}

LinkItem LinkWriter::save(const NewLink& link, const std::optional<FileIdentity>& identity)
{
    LinkItem item;
    item.id = QUuid::createUuid();
    item.title = link.parsed.title;
    item.url = link.parsed.url;
    item.type = link.parsed.type;
    item.sourceApp = link.sourceApp;
    item.notes = link.notes;
    item.tags = splitTags(link.tagsText);
    if (identity) {
        item.bookmarkData = identity->bookmarkData;
        item.fileResourceIdentifier = identity->fileResourceIdentifier;
        item.volumeIdentifier = identity->volumeIdentifier;
        item.lastKnownPath = identity->lastKnownPath;
        item.contentHash = identity->contentHash;
        item.fileSize = identity->fileSize;
    }
    // One instant for both, at the precision the library stores.
    const QDateTime now = *parseLibraryDate(libraryDateString(m_clock.now()));
    item.createdAt = now;
    item.updatedAt = now;

    m_transactions.inTransaction([&] {
        m_writes.insertLink(item);
        m_writes.replaceTags(item.tags, item.id);
    });
    if (auto stored = m_reads.link(item.id))
        return *stored;
    return item;
}

} // namespace morvane
