#include "LinkMaintenance.h"

#include "FileEvidence.h"
#include "FileRepairError.h"
#include "files/FileIdentityService.h"
#include "files/FileReconciliationService.h"
#include "foundation/LocatorUrl.h"
#include "library/LibraryReads.h"
#include "library/LibraryTransactions.h"
#include "library/LibraryWrites.h"

#include <QFileInfo>

#include <algorithm>

namespace morvane {

namespace {

// Whether a freshly made identity tells the library something it does not know yet. A new bookmark
// alone is not news: rewriting the row would bump its update time and let this machine's copy win
// over newer edits from other machines on the next sync.
bool addsEvidence(const LinkItem& link, const FileIdentity& identity)
{
    return (identity.contentHash && !link.contentHash) || (identity.fileSize && !link.fileSize) ||
           link.lastKnownPath != identity.lastKnownPath ||
           link.fileResourceIdentifier != identity.fileResourceIdentifier ||
           link.volumeIdentifier != identity.volumeIdentifier;
}

bool wantsFingerprint(const LinkItem& link)
{
    return link.type == LinkType::file && (!link.contentHash || !link.fileSize) &&
           LocatorUrl::parse(link.url);
}

// The identity of the link's file when it adds to what the link knows.
std::optional<FileIdentity> freshEvidence(const LinkItem& link, const FileIdentityService& identity)
{
    const auto resolved = identity.resolveBookmark(link.bookmarkData, link.url);
    if (!resolved)
        return std::nullopt;
    const auto path = localPathOfFileUrl(resolved->url);
    if (!path || !QFileInfo::exists(*path))
        return std::nullopt;
    auto made = identity.makeIdentity(resolved->url, true);
    if (!made || !addsEvidence(link, *made))
        return std::nullopt;
    return made;
}

// Whether two paths name one file: a folder's path with or without its final "/", or a path through
// a link (a known root reached through one) and the path it leads to.
bool samePlace(const QString& a, const QString& b)
{
    const auto trimmed = [](QString path) {
        while (path.size() > 1 && path.endsWith(u'/'))
            path.chop(1);
        return path;
    };
    if (trimmed(a) == trimmed(b))
        return true;
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

} // namespace

LinkMaintenance::LinkMaintenance(LibraryReads& reads, LibraryWrites& writes,
                                 LibraryTransactions& transactions,
                                 std::shared_ptr<const FileIdentityService> identity)
    : m_reads(reads)
    , m_writes(writes)
    , m_transactions(transactions)
    , m_identity(std::move(identity))
{
}

QList<LinkItem> LinkMaintenance::allLinks()
{
    QList<LinkItem> links = m_reads.allLinks();
    if (!anyWantsFingerprint(links))
        return links;
    const QList<FingerprintFill> fills = fingerprintFills(links, *m_identity);
    return applyFills(std::move(links), fills);
}

bool LinkMaintenance::anyWantsFingerprint(const QList<LinkItem>& links)
{
    return std::any_of(links.begin(), links.end(), wantsFingerprint);
}

QList<LinkMaintenance::FingerprintFill> LinkMaintenance::fingerprintFills(const QList<LinkItem>& links,
                                                                          const FileIdentityService& identity)
{
    QList<FingerprintFill> fills;
    for (qsizetype i = 0; i < links.size(); ++i) {
        if (!wantsFingerprint(links[i]))
            continue;
        if (auto evidence = freshEvidence(links[i], identity))
            fills.append({i, std::move(*evidence)});
    }
    return fills;
}

QList<LinkItem> LinkMaintenance::applyFills(QList<LinkItem> links, const QList<FingerprintFill>& fills)
{
    for (const FingerprintFill& fill : fills) {
        LinkItem& link = links[fill.index];
        FileEvidence::write(m_writes, link, fill.identity);
        if (auto reread = m_reads.link(link.id))
            link = std::move(*reread);
    }
    return links;
}

QList<FileRepairIssue> LinkMaintenance::fileRepairIssues(const QStringList& knownRoots)
{
    return repairIssues(m_reads.allLinks(), knownRoots, m_identity);
}

QList<FileRepairIssue>
LinkMaintenance::repairIssues(const QList<LinkItem>& links, const QStringList& knownRoots,
                              const std::shared_ptr<const FileIdentityService>& identity)
{
    const FileReconciliationService reconciliation(identity);
    QList<FileRepairIssue> issues;
    for (const LinkItem& link : links) {
        if (!isFileLike(link.type))
            continue;
        FileReconciliationResult result = reconciliation.reconcile(link, knownRoots);
        if (result.status == FileResolutionStatus::resolved) {
            std::optional<QString> acceptedPath;
            if (result.acceptedCandidate)
                acceptedPath = localPathOfFileUrl(result.acceptedCandidate->url);
            if (acceptedPath && link.lastKnownPath && samePlace(*acceptedPath, *link.lastKnownPath))
                continue;
        } else if (result.status == FileResolutionStatus::missing && !link.lastKnownPath) {
            continue;
        }
        issues.append(FileRepairIssue{link, std::move(result)});
    }
    return issues;
}

LinkItem LinkMaintenance::repairFileLink(const LinkItem& item, const FileResolutionCandidate& candidate)
{
    return relink(item, candidate, candidateIdentity(candidate, *m_identity));
}

std::optional<FileIdentity> LinkMaintenance::candidateIdentity(const FileResolutionCandidate& candidate,
                                                               const FileIdentityService& identity)
{
    if (auto made = identity.makeIdentity(candidate.url, true))
        return made;
    return identity.makeIdentity(candidate.url, true);
}

LinkItem LinkMaintenance::relink(const LinkItem& item, const FileResolutionCandidate& candidate,
                                 const std::optional<FileIdentity>& identity)
{
    if (!identity) {
        const auto url = LocatorUrl::parse(candidate.url);
        throw FileRepairError::unreadableCandidate(url ? url->lastPathComponent() : candidate.url);
    }
    m_transactions.inTransaction([&] {
        FileEvidence::write(m_writes, item, *identity);
        m_writes.upsertLocalResolution(item.id, *identity, true);
    });
    if (auto reread = m_reads.link(item.id))
        return *reread;
    return item;
}

} // namespace morvane
