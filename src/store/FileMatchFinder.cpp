#include "FileMatchFinder.h"

#include "LinkLookup.h"
#include "files/FileIdentityService.h"
#include "library/LibraryFileLookups.h"
#include "library/LibraryReads.h"
#include "library/LibraryWrites.h"
#include "model/FileLocator.h"

#include <algorithm>

namespace morvane {

namespace {

using Confidence = FileMatchCandidate::Confidence;

// The rule of the table that a link meets, strongest first; nothing when none applies.
std::optional<std::pair<Confidence, bool>> matchOf(const LinkItem& link, const FileIdentity& selected,
                                                   bool nameMatches)
{
    const auto& hash = selected.contentHash;
    const auto& size = selected.fileSize;
    if (hash && size && link.contentHash == hash && link.fileSize == size)
        return nameMatches ? std::pair{Confidence::sameNameAndFingerprint, false}
                           : std::pair{Confidence::sameFingerprint, true};
    if (size && link.fileSize == size && nameMatches)
        return std::pair{Confidence::sameNameAndSize, true};
    if (!link.contentHash && !link.fileSize && nameMatches)
        return std::pair{Confidence::sameName, true};
    return std::nullopt;
}

} // namespace

FileMatchFinder::FileMatchFinder(LibraryReads& reads, LibraryFileLookups& fileLookups, LibraryWrites& writes,
                                 const FileIdentityService& identity)
    : m_reads(reads)
    , m_fileLookups(fileLookups)
    , m_writes(writes)
    , m_identity(identity)
{
}

QList<FileMatchCandidate> FileMatchFinder::fileMatchCandidates(const CapturedContext& context)
{
    const FileLocator locator = FileLocator::read(context.locator);
    if (!offersCandidates(context, locator))
        return {};
    return candidates(context, m_identity.refreshSizeAndHash(*context.fileIdentity, locator));
}

bool FileMatchFinder::offersCandidates(const CapturedContext& context, const FileLocator& locator)
{
    // A page of a PDF is its own item, never a copy of a saved file.
    return context.type == LinkType::file && context.fileIdentity && locator.isUrl && !locator.page;
}

QList<FileMatchCandidate> FileMatchFinder::candidates(const CapturedContext& context,
                                                      const FileIdentity& selected)
{
    QList<FileMatchCandidate> candidates;
    for (const LinkItem& link : m_reads.allLinks()) {
        if (link.type != LinkType::file)
            continue;
        const auto match = matchOf(link, selected, LinkLookup::nameMatches(context.title, link));
        if (!match)
            continue;
        candidates.append(FileMatchCandidate{link, context.locator, selected, match->first, match->second});
    }
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const FileMatchCandidate& a, const FileMatchCandidate& b) { return a.confidence < b.confidence; });
    return candidates;
}

LinkItem FileMatchFinder::confirm(const FileMatchCandidate& candidate, const FileIdentity& refreshed)
{
    m_writes.upsertLocalResolution(candidate.item.id, refreshed, true);
    if (auto reread = m_reads.link(candidate.item.id))
        return *reread;
    return candidate.item;
}

bool FileMatchFinder::selectionHasFile(const CapturedContext& context, const FileLocator& locator)
{
    return context.type == LinkType::file && context.fileIdentity && locator.isUrl;
}

std::optional<QString> FileMatchFinder::finderSelectionMatches(const CapturedContext& context)
{
    if (context.type != LinkType::file)
        return std::nullopt;
    if (!context.fileIdentity)
        return QStringLiteral("No file identity available for the file manager's selection.");
    const FileLocator locator = FileLocator::read(context.locator);
    if (!locator.isUrl)
        return QStringLiteral("The file manager's selection has no file URL.");
    return selectionStatus(context, locator, m_identity.refreshSizeAndHash(*context.fileIdentity, locator));
}

QString FileMatchFinder::selectionStatus(const CapturedContext& context, const FileLocator& locator,
                                         const FileIdentity& selected)
{
    const QString inodePiece =
        selected.fileResourceIdentifier ? selected.fileResourceIdentifier->left(12) : QStringLiteral("none");
    const QString hashPiece = selected.contentHash ? selected.contentHash->left(12) : QStringLiteral("none");
    const QString sizePiece =
        selected.fileSize ? QString::number(*selected.fileSize) : QStringLiteral("unknown");

    if (selected.contentHash && selected.fileSize &&
        m_fileLookups.linkByContentHash(*selected.contentHash, *selected.fileSize))
        return QStringLiteral("File fingerprint exists locally but was not selected as a match. hash ") +
               hashPiece + QStringLiteral(", size ") + sizePiece;

    const qsizetype count = offersCandidates(context, locator) ? candidates(context, selected).size() : 0;
    if (count > 0)
        return QString::number(count) + QStringLiteral(" possible file match") +
               (count == 1 ? QString() : QStringLiteral("es")) +
               QStringLiteral(" found. Select one to use this file on this computer.");

    qsizetype fileLinks = 0;
    qsizetype withFingerprints = 0;
    for (const LinkItem& link : m_reads.allLinks()) {
        if (link.type != LinkType::file)
            continue;
        ++fileLinks;
        if (link.contentHash && link.fileSize)
            ++withFingerprints;
    }
    return QStringLiteral("No local synced file match for the file manager's selection. inode ") +
           inodePiece + QStringLiteral(", hash ") + hashPiece + QStringLiteral(", size ") + sizePiece +
           QStringLiteral(". Local file links: ") + QString::number(fileLinks) +
           QStringLiteral(", with fingerprints: ") + QString::number(withFingerprints) +
           QStringLiteral(". Run Sync Now on the source computer, then Sync Now here.");
}

} // namespace morvane
