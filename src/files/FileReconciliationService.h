#pragma once

#include "files/FileResolutionCandidate.h"
#include "model/LinkItem.h"

#include <QList>
#include <QStringList>

#include <memory>

namespace morvane {

class FileIdentityService;
struct FileStatus;
class FolderWalker;

// Looks for a file link's file again: its bookmark, its last known path, then a scan of the known
// root folders scoring every item by name, size, fingerprint and file identity. A file at the last
// known path that nothing the link knows contradicts is the link's file: accepted without a scan. Reads the
// file system only, keeps no state between calls; callable from any thread (never the main one: a scan may
// hash many files).
class FileReconciliationService {
public:
    explicit FileReconciliationService(std::shared_ptr<const FileIdentityService> fileIdentityService,
                                       std::shared_ptr<const FolderWalker> walker = nullptr);

    FileReconciliationResult reconcile(const LinkItem& item, const QStringList& knownRoots) const;

    // The scored items below the roots, in the order found.
    QList<FileResolutionCandidate> scanKnownRoots(const LinkItem& item, const QStringList& knownRoots) const;

    const std::shared_ptr<const FileIdentityService>& fileIdentityService() const { return m_identity; }

private:
    // False when what the link knows of its file (size, fingerprint, identity) disagrees with the
    // file at its last known path; what agrees is added to evidence.
    bool confirmAtLastKnownPath(const LinkItem& item, const FileStatus& status,
                                QList<FileResolutionEvidence>& evidence) const;

    std::shared_ptr<const FileIdentityService> m_identity;
    std::shared_ptr<const FolderWalker> m_walker;
};

} // namespace morvane
