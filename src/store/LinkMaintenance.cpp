#include "LinkMaintenance.h"

#include "FileEvidence.h"
#include "FileRepairError.h"
#include "files/FileIdentityService.h"
#include "files/FileReconciliationService.h"
#include "foundation/LocatorUrl.h"
#include "library/SQLiteStore.h"

#include <QFileInfo>

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

} // namespace

LinkMaintenance::LinkMaintenance(SQLiteStore& sqlite, std::shared_ptr<const FileIdentityService> identity)
    : m_sqlite(sqlite)
    , m_identity(std::move(identity))
{
}

QList<LinkItem> LinkMaintenance::allLinks()
{
    QList<LinkItem> links = m_sqlite.allLinks();
    for (LinkItem& link : links)
        link = refreshedFileIdentity(link);
    return links;
}

LinkItem LinkMaintenance::refreshedFileIdentity(const LinkItem& link)
{
    if (link.type != LinkType::file || (link.contentHash && link.fileSize))
        return link;
    if (!LocatorUrl::parse(link.url))
        return link;
    const auto resolved = m_identity->resolveBookmark(link.bookmarkData, link.url);
    if (!resolved)
        return link;
    const auto path = localPathOfFileUrl(resolved->url);
    if (!path || !QFileInfo::exists(*path))
        return link;
    const auto identity = m_identity->makeIdentity(resolved->url, true);
    if (!identity || !addsEvidence(link, *identity))
        return link;
    FileEvidence::write(m_sqlite, link, *identity);
    if (auto reread = m_sqlite.link(link.id))
        return *reread;
    return link;
}

QList<FileRepairIssue> LinkMaintenance::fileRepairIssues(const QStringList& knownRoots)
{
    const FileReconciliationService reconciliation(m_identity);
    QList<FileRepairIssue> issues;
    for (const LinkItem& link : m_sqlite.allLinks()) {
        if (!isFileLike(link.type))
            continue;
        FileReconciliationResult result = reconciliation.reconcile(link, knownRoots);
        if (result.status == FileResolutionStatus::resolved) {
            std::optional<QString> acceptedPath;
            if (result.acceptedCandidate)
                acceptedPath = localPathOfFileUrl(result.acceptedCandidate->url);
            if (acceptedPath == link.lastKnownPath)
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
    auto identity = m_identity->makeIdentity(candidate.url, true);
    if (!identity)
        identity = m_identity->makeIdentity(candidate.url, true);
    if (!identity) {
        const auto url = LocatorUrl::parse(candidate.url);
        throw FileRepairError::unreadableCandidate(url ? url->lastPathComponent() : candidate.url);
    }
    m_sqlite.inTransaction([&] {
        FileEvidence::write(m_sqlite, item, *identity);
        m_sqlite.upsertLocalResolution(item.id, *identity, true);
    });
    if (auto reread = m_sqlite.link(item.id))
        return *reread;
    return item;
}

} // namespace morvane
