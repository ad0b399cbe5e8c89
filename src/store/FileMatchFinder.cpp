#include "FileMatchFinder.h"

#include "FileStepsInTurn.h"
#include "LinkLookup.h"
#include "files/FileIdentityService.h"
#include "files/OwnFilePresence.h"
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

QString hashPiece(const FileIdentity& selected)
{
    return selected.contentHash ? selected.contentHash->left(12) : QStringLiteral("none");
}

QString sizePiece(const FileIdentity& selected)
{
    return selected.fileSize ? QString::number(*selected.fileSize) : QStringLiteral("unknown");
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
    return takeFileStepsInTurn(
        Step<QList<FileMatchCandidate>>(Selection{context, locator, std::nullopt, {}}),
        [this](const Selection& selection) { return examine(selection, m_identity); },
        [this](const Selection& selection, const Findings& found) {
            return settleCandidates(selection, found);
        });
}

bool FileMatchFinder::offersCandidates(const CapturedContext& context, const FileLocator& locator)
{
    // A page of a PDF is its own item, never a copy of a saved file.
    return context.type == LinkType::file && context.fileIdentity && locator.isUrl && !locator.page;
}

FileMatchFinder::Findings FileMatchFinder::examine(const Selection& selection,
                                                   const FileIdentityService& identity)
{
    const FileIdentity& captured = *selection.context.fileIdentity;
    if (!selection.selected)
        return {identity.refreshSizeAndHash(captured, selection.locator), {}};
    const OwnFilePresence presence(identity);
    Findings found;
    for (const FileMatchCandidate& candidate : selection.unchecked)
        if (!presence.isHere(candidate.item, captured, selection.locator.path))
            found.offered.append(candidate);
    return found;
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

std::optional<FileMatchFinder::Selection> FileMatchFinder::toLookFor(const Selection& selection,
                                                                     const FileIdentity& selected)
{
    if (!offersCandidates(selection.context, selection.locator))
        return std::nullopt;
    QList<FileMatchCandidate> unchecked = candidates(selection.context, selected);
    if (unchecked.isEmpty())
        return std::nullopt;
    return Selection{selection.context, selection.locator, selected, std::move(unchecked)};
}

FileMatchFinder::Step<QList<FileMatchCandidate>> FileMatchFinder::settleCandidates(const Selection& selection,
                                                                                   const Findings& found)
{
    if (!found.refreshed)
        return found.offered;
    if (auto next = toLookFor(selection, *found.refreshed))
        return *next;
    return QList<FileMatchCandidate>();
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
    return takeFileStepsInTurn(
        Step<std::optional<QString>>(Selection{context, locator, std::nullopt, {}}),
        [this](const Selection& selection) { return examine(selection, m_identity); },
        [this](const Selection& selection, const Findings& found) { return settleStatus(selection, found); });
}

FileMatchFinder::Step<std::optional<QString>> FileMatchFinder::settleStatus(const Selection& selection,
                                                                            const Findings& found)
{
    if (found.refreshed) {
        const FileIdentity& selected = *found.refreshed;
        if (selected.contentHash && selected.fileSize &&
            m_fileLookups.linkByContentHash(*selected.contentHash, *selected.fileSize))
            return QStringLiteral("File fingerprint exists locally but was not selected as a match. hash ") +
                   hashPiece(selected) + QStringLiteral(", size ") + sizePiece(selected);
        if (auto next = toLookFor(selection, selected))
            return *next;
        return noMatchStatus(selected);
    }
    const qsizetype count = found.offered.size();
    if (count == 0)
        return noMatchStatus(*selection.selected);
    return QString::number(count) + QStringLiteral(" possible file match") +
           (count == 1 ? QString() : QStringLiteral("es")) +
           QStringLiteral(" found. Select one to use this file on this computer.");
}

QString FileMatchFinder::noMatchStatus(const FileIdentity& selected)
{
    const QString inodePiece =
        selected.fileResourceIdentifier ? selected.fileResourceIdentifier->left(12) : QStringLiteral("none");
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
           inodePiece + QStringLiteral(", hash ") + hashPiece(selected) + QStringLiteral(", size ") +
           sizePiece(selected) + QStringLiteral(". Local file links: ") + QString::number(fileLinks) +
           QStringLiteral(", with fingerprints: ") + QString::number(withFingerprints) +
           QStringLiteral(". Run Sync Now on the source computer, then Sync Now here.");
}

} // namespace morvane
