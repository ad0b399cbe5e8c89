#include "FileReconciliationService.h"

#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Text.h"
#include "platform/FileSystemProbe.h"
#include "platform/FolderWalker.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace morvane {

namespace {

constexpr double acceptanceThreshold = 0.9;

bool sameText(const QString& a, const QString& b)
{
    return a == b || canonicallyEqual(a, b);
}

bool hasText(const std::optional<QString>& value)
{
    return value && !value->isEmpty();
}

QString targetName(const LinkItem& item)
{
    if (hasText(item.lastKnownPath))
        return lastPathComponentOfPath(*item.lastKnownPath);
    if (const auto url = LocatorUrl::parse(item.url))
        return url->lastPathComponent();
    return item.title;
}

// A file at the last known path that some stored evidence disagrees with: perhaps another file now
// has the name.
constexpr double contradictedLastKnownPathScore = 0.75;

FileResolutionCandidate makeCandidate(const LinkItem& item, const QString& url,
                                      FileResolutionCandidateSource source, double confidence,
                                      QList<FileResolutionEvidence> evidence)
{
    return {QUuid::createUuid(), item.id, url, source, confidence, std::move(evidence)};
}

} // namespace

FileReconciliationService::FileReconciliationService(
    std::shared_ptr<const FileIdentityService> fileIdentityService,
    std::shared_ptr<const FolderWalker> walker)
    : m_identity(std::move(fileIdentityService))
    , m_walker(walker ? std::move(walker) : LinuxFolderWalker::shared())
{
}

FileReconciliationResult FileReconciliationService::reconcile(const LinkItem& item,
                                                              const QStringList& knownRoots) const
{
    if (!isFileLike(item.type))
        return {};

    if (const auto resolved = m_identity->resolveBookmark(item.bookmarkData, std::nullopt)) {
        const auto candidate = makeCandidate(item, resolved->url, FileResolutionCandidateSource::bookmark,
                                             1.0, {FileResolutionEvidence::bookmarkResolved});
        const auto status = resolved->refreshedIdentity ? FileResolutionStatus::staleBookmark
                                                        : FileResolutionStatus::resolved;
        return {status, candidate, {candidate}};
    }

    QList<FileResolutionCandidate> candidates;
    if (hasText(item.lastKnownPath)) {
        const ProbeResult probed = m_identity->platform().probe->status(*item.lastKnownPath);
        if (probed) {
            QList<FileResolutionEvidence> evidence{FileResolutionEvidence::lastKnownPathExists,
                                                   FileResolutionEvidence::filenameMatch};
            const bool contradicted = !confirmAtLastKnownPath(item, *probed.status, evidence);
            const QString url = LocatorUrl::fileUrlText(*item.lastKnownPath, probed.status->isDirectory());
            if (!contradicted) {
                // Still where it was, as far as anything the link knows can tell: nothing to look
                // for, however many files of that name the roots hold.
                const bool confirmed = evidence.size() > 2;
                const auto candidate = makeCandidate(item, url, FileResolutionCandidateSource::lastKnownPath,
                                                     confirmed ? 1.0 : acceptanceThreshold, evidence);
                return {FileResolutionStatus::resolved, candidate, {candidate}};
            }
            candidates.append(makeCandidate(item, url, FileResolutionCandidateSource::lastKnownPath,
                                            contradictedLastKnownPathScore, std::move(evidence)));
        }
    }
    candidates.append(scanKnownRoots(item, knownRoots));

    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto& a, const auto& b) { return a.confidence > b.confidence; });

    if (candidates.isEmpty())
        return {};
    if (candidates.size() >= 2 && candidates[0].confidence == candidates[1].confidence)
        return {FileResolutionStatus::multipleCandidates, std::nullopt, candidates};
    if (candidates[0].confidence >= acceptanceThreshold)
        return {FileResolutionStatus::resolved, candidates[0], candidates};
    if (candidates.size() == 1)
        return {FileResolutionStatus::needsRelocation, std::nullopt, candidates};
    return {FileResolutionStatus::multipleCandidates, std::nullopt, candidates};
}

bool FileReconciliationService::confirmAtLastKnownPath(const LinkItem& item, const FileStatus& status,
                                                       QList<FileResolutionEvidence>& evidence) const
{
    const QString& path = *item.lastKnownPath;
    if ((item.type == LinkType::folder) != status.isDirectory())
        return false;
    if (item.fileSize && status.isRegularFile()) {
        if (status.size != *item.fileSize)
            return false;
        evidence.append(FileResolutionEvidence::fileSizeMatch);
    }
    if (hasText(item.contentHash) && status.isRegularFile()) {
        const std::optional<QString> hash = m_identity->contentHash(path, status);
        if (!hash || !sameText(*hash, *item.contentHash))
            return false;
        evidence.append(FileResolutionEvidence::contentHashMatch);
    }
    if (hasText(item.fileResourceIdentifier) && hasText(item.volumeIdentifier)) {
        if (!sameText(m_identity->fileResourceIdentifier(status), *item.fileResourceIdentifier) ||
            !sameText(m_identity->volumeIdentifier(path, status), *item.volumeIdentifier))
            return false;
        evidence.append(FileResolutionEvidence::fileIdentityMatch);
    }
    return true;
}

QList<FileResolutionCandidate> FileReconciliationService::scanKnownRoots(const LinkItem& item,
                                                                         const QStringList& knownRoots) const
{
    QList<FileResolutionCandidate> candidates;
    const QString target = targetName(item);
    if (target.isEmpty() || knownRoots.isEmpty())
        return candidates;

    const bool hasLastKnownPath = hasText(item.lastKnownPath);
    const bool hasHash = hasText(item.contentHash);
    // Absent identifiers prove nothing: an imported link without them must not match every
    // scanned item that lacks them too.
    const bool hasIdentifiers = hasText(item.fileResourceIdentifier) && hasText(item.volumeIdentifier);
    const FileSystemProbe& probe = *m_identity->platform().probe;

    // A file reached twice (overlapping roots, links) is hashed once and listed once.
    QHash<QPair<quint64, quint64>, std::optional<QString>> hashes;
    QSet<QString> producedPaths;

    const auto visit = [&](const WalkEntry& entry) {
        const bool nameMatched = sameText(entry.name, target);
        if (!nameMatched && !hasHash)
            return WalkStep::proceed;
        double score = nameMatched ? (hasLastKnownPath ? 0.65 : 0.55) : 0.0;
        QList<FileResolutionEvidence> evidence;
        if (nameMatched)
            evidence.append(FileResolutionEvidence::filenameMatch);

        // What the entry leads to: a link is judged by its target.
        std::optional<FileStatus> status = entry.status;
        if (entry.status.kind == FileKind::symlink)
            status = probe.status(entry.path).status;

        if (item.fileSize && status && status->isRegularFile() && status->size == *item.fileSize) {
            score = std::max(score + 0.15, 0.3);
            evidence.append(FileResolutionEvidence::fileSizeMatch);
            if (hasHash) {
                const QPair<quint64, quint64> fileKey{
                    (quint64(status->deviceMajor) << 32) | status->deviceMinor, status->inode};
                auto it = hashes.find(fileKey);
                if (it == hashes.end())
                    it = hashes.insert(fileKey, m_identity->contentHash(entry.path, *status));
                if (*it && sameText(**it, *item.contentHash)) {
                    evidence.append(FileResolutionEvidence::contentHashMatch);
                    score = 1.0;
                }
            }
        }

        if (nameMatched && !hasHash) {
            if (!item.fileSize && score >= 0.55)
                score = 0.9;
            else if (score >= 0.7)
                score = 0.9;
        }

        if (hasIdentifiers && status &&
            sameText(m_identity->fileResourceIdentifier(*status), *item.fileResourceIdentifier) &&
            sameText(m_identity->volumeIdentifier(entry.path, *status), *item.volumeIdentifier)) {
            evidence.append(FileResolutionEvidence::fileIdentityMatch);
            score = 1.0;
        }

        if (evidence.isEmpty())
            return WalkStep::proceed;
        QString canonical = QFileInfo(entry.path).canonicalFilePath();
        if (canonical.isEmpty())
            canonical = entry.path;
        if (producedPaths.contains(canonical))
            return WalkStep::proceed;
        producedPaths.insert(canonical);
        const bool isFolder = status && status->isDirectory();
        candidates.append(makeCandidate(item, LocatorUrl::fileUrlText(entry.path, isFolder),
                                        FileResolutionCandidateSource::knownRootScan, score,
                                        std::move(evidence)));
        return WalkStep::proceed;
    };

    const WalkOptions options; // hidden names skipped, links not followed, no depth limit
    for (const QString& root : knownRoots)
        m_walker->walk(root, options, visit);
    return candidates;
}

} // namespace morvane
