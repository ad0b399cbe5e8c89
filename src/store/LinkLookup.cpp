#include "LinkLookup.h"

#include "files/ObsidianFiles.h"

#include "FileEvidence.h"
#include "FileStepsInTurn.h"
#include "files/FileIdentityService.h"
#include "files/OwnFilePresence.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Text.h"
#include "library/LibraryFileLookups.h"
#include "library/LibraryReads.h"
#include "library/LibraryWrites.h"
#include "library/LinkParser.h"
#include "model/FileLocator.h"

namespace morvane {

LinkLookup::LinkLookup(LibraryReads& reads, LibraryFileLookups& fileLookups, LibraryWrites& writes,
                       const LinkParser& parser, const FileIdentityService& identity)
    : m_reads(reads)
    , m_fileLookups(fileLookups)
    , m_writes(writes)
    , m_parser(parser)
    , m_identity(identity)
{
}

LinkLookup::CapturedLocator::CapturedLocator(const QString& captured)
    : text(captured)
    , url(LocatorUrl::parse(captured))
    , file(FileLocator::of(url))
{
}

std::optional<LinkItem> LinkLookup::findLink(const CapturedContext& context)
{
    return takeFileStepsInTurn(
        lookInLibrary(context, CapturedLocator(context.locator)),
        [this](const FileSteps& steps) { return examineFiles(steps, m_identity); },
        [this](const FileSteps& steps, const FileFindings& found) { return settle(steps, found); });
}

LinkLookup::Step LinkLookup::lookInLibrary(const CapturedContext& context)
{
    return lookInLibrary(context, CapturedLocator(context.locator));
}

LinkLookup::Step LinkLookup::lookInLibrary(const CapturedContext& context,
                                           const CapturedLocator& capturedLocator)
{
    if (auto byLocator = linkForLocator(context, capturedLocator))
        return byLocator;

    const FileLocator& locator = capturedLocator.file;
    // A page of a PDF is its own item: the saved file itself is not the answer.
    if (locator.page)
        return std::nullopt;
    if (!context.fileIdentity)
        return std::nullopt;
    const FileIdentity& captured = *context.fileIdentity;
    const bool isFile = context.type == LinkType::file;
    const bool fileLike = isFileLike(context.type);

    if (isFile)
        if (auto resolved = m_fileLookups.linkByLocalResolution(captured))
            return resolved;

    if (fileLike && captured.fileResourceIdentifier && captured.volumeIdentifier)
        if (auto byIdentity = m_fileLookups.linkByFileIdentity(*captured.fileResourceIdentifier,
                                                               *captured.volumeIdentifier))
            return updateFileIdentity(*byIdentity, captured);

    FileSteps steps{context, locator, {}, isFile && locator.isUrl, std::nullopt, {}};
    if (fileLike && locator.isUrl)
        steps.bookmarked = bookmarkedLinks(captured);
    if (steps.bookmarked.isEmpty() && !steps.byFingerprint)
        return std::nullopt;
    return steps;
}

LinkLookup::FileFindings LinkLookup::examineFiles(const FileSteps& steps, const FileIdentityService& identity)
{
    const FileIdentity& captured = *steps.context.fileIdentity;
    if (steps.refreshed) {
        const OwnFilePresence presence(identity);
        for (const LinkItem& link : steps.sameContent)
            if (!presence.isHere(link, captured, steps.locator.path))
                return {std::nullopt, std::nullopt, link};
        return {};
    }
    if (auto match = linkWhoseBookmarkLeadsTo(steps.bookmarked, captured, identity))
        return {std::move(match), std::nullopt, std::nullopt};
    if (!steps.byFingerprint)
        return {};
    return {std::nullopt, identity.refreshSizeAndHash(captured, steps.locator), std::nullopt};
}

LinkLookup::Step LinkLookup::settle(const FileSteps& steps, const FileFindings& findings)
{
    const FileIdentity& captured = *steps.context.fileIdentity;
    if (findings.bookmarkMatch)
        return updateFileIdentity(*findings.bookmarkMatch, captured);
    if (findings.elsewhere)
        return copyOf(*findings.elsewhere, *steps.refreshed, captured);
    if (findings.refreshed)
        return sameContentSteps(steps, *findings.refreshed);
    return std::nullopt;
}

LinkLookup::Step LinkLookup::sameContentSteps(const FileSteps& steps, const FileIdentity& refreshed)
{
    if (!refreshed.contentHash || !refreshed.fileSize)
        return std::nullopt;
    // Several links may share the content (copies under other names); only those whose name is the
    // selected file's count. A link whose own file is still here is not the selected file, however
    // alike the two are: that is left to the file step this leads to.
    QList<LinkItem> named;
    for (const LinkItem& link :
         m_fileLookups.linksByContentHash(*refreshed.contentHash, *refreshed.fileSize)) {
        if (nameMatches(steps.context.title, link))
            named.append(link);
    }
    if (named.isEmpty())
        return std::nullopt;
    return FileSteps{steps.context, steps.locator, {}, true, refreshed, std::move(named)};
}

LinkItem LinkLookup::copyOf(const LinkItem& found, const FileIdentity& refreshed,
                            const FileIdentity& captured)
{
    if (found.lastKnownPath == captured.lastKnownPath &&
        found.url == FileEvidence::urlFollowingFile(found, captured.lastKnownPath))
        return found;

    // This machine's copy of the file, not the link's own path: recorded as a local resolution
    // awaiting the user's confirmation.
    m_writes.upsertLocalResolution(found.id, refreshed, false);
    if (auto reread = m_reads.link(found.id))
        return *reread;
    return found;
}

std::optional<LinkItem> LinkLookup::linkForLocator(const CapturedContext& context)
{
    return linkForLocator(context, CapturedLocator(context.locator));
}

std::optional<LinkItem> LinkLookup::linkForLocator(const CapturedContext& context,
                                                   const CapturedLocator& locator)
{
    if (auto direct = m_reads.linkByURL(locator.text))
        return direct;
    // The parser's form differs from the captured text only for a typed path or text with white space
    // around it: a captured URL is already in that form and needs no second parse.
    if (!locator.url || trimmedText(locator.text) != locator.text) {
        QString parsedUrl;
        try {
            parsedUrl = m_parser.parse(context.title, locator.text).url;
        } catch (const LinkParserError&) {
            return std::nullopt;
        }
        if (parsedUrl != locator.text)
            if (auto parsed = m_reads.linkByURL(parsedUrl))
                return parsed;
    }
    return sameObsidianNote(locator.url);
}

// Obsidian's locators name one note in several ways (the path encoded or not, or the vault's name
// and the file): a stored one that names the captured note is the saved link, so the note is not
// saved twice. Stored locators stay as they were written. Only an Obsidian locator reads the vault
// registry.
std::optional<LinkItem> LinkLookup::sameObsidianNote(const std::optional<LocatorUrl>& locator)
{
    if (!locator || locator->scheme().compare(QLatin1String("obsidian"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QList<ObsidianVault> vaults = ObsidianFiles::vaults();
    const std::optional<QString> note = ObsidianFiles::notePath(*locator, vaults);
    if (!note)
        return std::nullopt;
    for (const LinkItem& item : m_reads.linksOfType(LinkType::obsidian)) {
        if (ObsidianFiles::notePath(item.url, vaults) == note)
            return item;
    }
    return std::nullopt;
}

LinkItem LinkLookup::updateFileIdentity(const LinkItem& item, const FileIdentity& captured)
{
    const FileIdentity merged = FileIdentity::merged(captured, FileEvidence::storedIdentity(item));
    const bool unchanged = item.lastKnownPath && *item.lastKnownPath == merged.lastKnownPath &&
                           item.url == FileEvidence::urlFollowingFile(item, merged.lastKnownPath) &&
                           item.fileResourceIdentifier == merged.fileResourceIdentifier &&
                           item.volumeIdentifier == merged.volumeIdentifier && item.bookmarkData &&
                           *item.bookmarkData == merged.bookmarkData;
    if (unchanged)
        return item;
    FileEvidence::write(m_writes, item, merged);
    if (auto reread = m_reads.link(item.id))
        return *reread;
    return item;
}

QList<LinkItem> LinkLookup::bookmarkedLinks(const FileIdentity& captured)
{
    // Without both identifiers nothing can match, so no bookmark needs resolving.
    if (!captured.fileResourceIdentifier || !captured.volumeIdentifier)
        return {};
    return m_fileLookups.bookmarkedFileLinks();
}

std::optional<LinkItem> LinkLookup::linkWhoseBookmarkLeadsTo(const QList<LinkItem>& links,
                                                             const FileIdentity& captured,
                                                             const FileIdentityService& identity)
{
    for (const LinkItem& link : links) {
        // Runs for every file link on each context poll: it must not search for files that are gone.
        if (identity.bookmarkRefersTo(*link.bookmarkData, captured))
            return link;
    }
    return std::nullopt;
}

bool LinkLookup::nameMatches(const QString& name, const LinkItem& item)
{
    if (item.lastKnownPath && canonicallyEqual(name, lastPathComponentOfPath(*item.lastKnownPath)))
        return true;
    if (const auto url = LocatorUrl::parse(item.url); url && canonicallyEqual(name, url->lastPathComponent()))
        return true;
    return canonicallyEqual(name, item.title);
}

} // namespace morvane
