#include "OwnFilePresence.h"

#include "FileIdentityService.h"
#include "platform/FileBookmarks.h"
#include "platform/FileSystemProbe.h"
#include "platform/TrashFolders.h"

#include <QStringList>

namespace morvane {

OwnFilePresence::OwnFilePresence(const FileIdentityService& identity)
    : m_identity(identity)
{
}

bool OwnFilePresence::isHere(const LinkItem& link, const FileIdentity& selected,
                             const std::optional<QString>& selectedPath) const
{
    QStringList places;
    if (link.lastKnownPath)
        places.append(*link.lastKnownPath);
    if (link.bookmarkData && !link.bookmarkData->isEmpty()) {
        const BookmarkInspection inspection = m_identity.platform().bookmarks->inspect(*link.bookmarkData);
        if (inspection.path && !places.contains(*inspection.path))
            places.append(*inspection.path);
    }
    for (const QString& path : places) {
        // The selected file at the link's own path is the link's file, not a file beside it.
        if (path == selectedPath || isInTrash(path))
            continue;
        if (holdsOwnFile(path, link, selected))
            return true;
    }
    return false;
}

bool OwnFilePresence::holdsOwnFile(const QString& path, const LinkItem& link,
                                   const FileIdentity& selected) const
{
    const ProbeResult probed = m_identity.platform().probe->status(path);
    if (!probed || !probed.status->isRegularFile())
        return false;
    const FileStatus& status = *probed.status;
    const QString resource = m_identity.fileResourceIdentifier(status);
    const QString volume = m_identity.volumeIdentifier(path, status);
    // Another name for the selected file itself (a link along the path, a hard link).
    if (selected.fileResourceIdentifier == resource && selected.volumeIdentifier == volume)
        return false;
    if (link.fileResourceIdentifier && link.volumeIdentifier)
        // A file saved over by rename has new identifiers: the saved file is gone from here.
        return *link.fileResourceIdentifier == resource && *link.volumeIdentifier == volume;
    if (!link.contentHash || !link.fileSize || *link.fileSize != status.size)
        return false;
    return m_identity.contentHash(path, status) == link.contentHash;
}

} // namespace morvane
