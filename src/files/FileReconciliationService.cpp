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

namespace {

// What one entry below a known root proves, as a score out of 1: its name alone is a guess, worth
// more when the link still knows where the file was; the same size adds a little; the same content
// or the same file identity proves it.
constexpr double nameWithLastKnownPath = 0.65;
constexpr double nameOnly = 0.55;
constexpr double sameSizeBonus = 0.15;
constexpr double sameSizeAlone = 0.3;
constexpr double proven = 1.0;
// A link that keeps no fingerprint takes its name, with the size when it has one, as enough.
constexpr double nameConfirmedWithoutFingerprint = acceptanceThreshold;
constexpr double nameAndSize = nameOnly + sameSizeBonus;

// One scan for one link across the known roots: each entry walked is judged on its own, and each file
// is hashed and listed once however many roots or links reach it.
class KnownRootScan {
public:
    KnownRootScan(const LinkItem& item, const FileIdentityService& identity)
        : m_item(item)
        , m_identity(identity)
        , m_target(targetName(item))
        , m_hasHash(hasText(item.contentHash))
        // Absent identifiers prove nothing: an imported link without them must not match every
        // scanned item that lacks them too.
        , m_hasIdentifiers(hasText(item.fileResourceIdentifier) && hasText(item.volumeIdentifier))
    {
    }

    bool hasTarget() const { return !m_target.isEmpty(); }

    WalkStep visit(const WalkEntry& entry)
    {
        const bool nameMatched = sameText(entry.name, m_target);
        if (!nameMatched && !m_hasHash)
            return WalkStep::proceed;
        const std::optional<FileStatus> status = leadsTo(entry);
        Judgement judged = byName(nameMatched);
        judgeSizeAndContent(judged, entry.path, status);
        if (nameMatched && !m_hasHash)
            confirmNameWithoutFingerprint(judged);
        if (m_hasIdentifiers && status && sameIdentity(entry.path, *status)) {
            judged.evidence.append(FileResolutionEvidence::fileIdentityMatch);
            judged.score = proven;
        }
        if (!judged.evidence.isEmpty())
            addOnce(entry.path, status, std::move(judged));
        return WalkStep::proceed;
    }

    QList<FileResolutionCandidate> takeCandidates() { return std::move(m_candidates); }

private:
    struct Judgement {
        double score = 0.0;
        QList<FileResolutionEvidence> evidence;
    };

    // What the entry leads to: a link is judged by its target.
    std::optional<FileStatus> leadsTo(const WalkEntry& entry) const
    {
        if (entry.status.kind != FileKind::symlink)
            return entry.status;
        return m_identity.platform().probe->status(entry.path).status;
    }

    Judgement byName(bool nameMatched) const
    {
        if (!nameMatched)
            return {};
        return {hasText(m_item.lastKnownPath) ? nameWithLastKnownPath : nameOnly,
                {FileResolutionEvidence::filenameMatch}};
    }

    void judgeSizeAndContent(Judgement& judged, const QString& path, const std::optional<FileStatus>& status)
    {
        if (!m_item.fileSize || !status || !status->isRegularFile() || status->size != *m_item.fileSize)
            return;
        judged.score = std::max(judged.score + sameSizeBonus, sameSizeAlone);
        judged.evidence.append(FileResolutionEvidence::fileSizeMatch);
        if (m_hasHash && sameContent(path, *status)) {
            judged.evidence.append(FileResolutionEvidence::contentHashMatch);
            judged.score = proven;
        }
    }

    void confirmNameWithoutFingerprint(Judgement& judged) const
    {
        const bool enough = m_item.fileSize ? judged.score >= nameAndSize : judged.score >= nameOnly;
        if (enough)
            judged.score = nameConfirmedWithoutFingerprint;
    }

    bool sameContent(const QString& path, const FileStatus& status)
    {
        const QPair<quint64, quint64> fileKey{(quint64(status.deviceMajor) << 32) | status.deviceMinor,
                                              status.inode};
        auto it = m_hashes.find(fileKey);
        if (it == m_hashes.end())
            it = m_hashes.insert(fileKey, m_identity.contentHash(path, status));
        return *it && sameText(**it, *m_item.contentHash);
    }

    bool sameIdentity(const QString& path, const FileStatus& status) const
    {
        return sameText(m_identity.fileResourceIdentifier(status), *m_item.fileResourceIdentifier) &&
               sameText(m_identity.volumeIdentifier(path, status), *m_item.volumeIdentifier);
    }

    void addOnce(const QString& path, const std::optional<FileStatus>& status, Judgement judged)
    {
        QString canonical = QFileInfo(path).canonicalFilePath();
        if (canonical.isEmpty())
            canonical = path;
        if (m_produced.contains(canonical))
            return;
        m_produced.insert(canonical);
        const bool isFolder = status && status->isDirectory();
        m_candidates.append(makeCandidate(m_item, LocatorUrl::fileUrlText(path, isFolder),
                                          FileResolutionCandidateSource::knownRootScan, judged.score,
                                          std::move(judged.evidence)));
    }

    const LinkItem& m_item;
    const FileIdentityService& m_identity;
    const QString m_target;
    const bool m_hasHash;
    const bool m_hasIdentifiers;
    QHash<QPair<quint64, quint64>, std::optional<QString>> m_hashes;
    QSet<QString> m_produced;
    QList<FileResolutionCandidate> m_candidates;
};

} // namespace

QList<FileResolutionCandidate> FileReconciliationService::scanKnownRoots(const LinkItem& item,
                                                                         const QStringList& knownRoots) const
{
    KnownRootScan scan(item, *m_identity);
    if (!scan.hasTarget() || knownRoots.isEmpty())
        return {};
    const WalkOptions options; // hidden names skipped, links not followed, no depth limit
    const auto visit = [&scan](const WalkEntry& entry) { return scan.visit(entry); };
    for (const QString& root : knownRoots)
        m_walker->walk(root, options, visit);
    return scan.takeCandidates();
}

} // namespace morvane
