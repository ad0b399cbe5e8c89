#include "FileEvidence.h"

#include "foundation/LocatorUrl.h"
#include "library/LibraryWrites.h"
#include "model/PDFDeepLink.h"

namespace morvane {

QString FileEvidence::urlFollowingFile(const LinkItem& item, const QString& path)
{
    QString fileUrl = LocatorUrl::fileUrlText(path);
    const auto current = PDFDeepLink::fromString(item.url);
    if (!current || !current->page)
        return fileUrl;
    const auto moved = PDFDeepLink::fromString(fileUrl);
    if (!moved)
        return fileUrl; // no longer a PDF: a page means nothing there
    return PDFDeepLink{moved->fileURL, current->page}.url();
}

void FileEvidence::write(LibraryWrites& writes, const LinkItem& item, const FileIdentity& identity)
{
    writes.updateFileIdentity(item.id, identity, urlFollowingFile(item, identity.lastKnownPath));
}

std::optional<FileIdentity> FileEvidence::storedIdentity(const LinkItem& item)
{
    if (!item.bookmarkData || !item.lastKnownPath)
        return std::nullopt;
    FileIdentity identity;
    identity.bookmarkData = *item.bookmarkData;
    identity.fileResourceIdentifier = item.fileResourceIdentifier;
    identity.volumeIdentifier = item.volumeIdentifier;
    identity.lastKnownPath = *item.lastKnownPath;
    identity.contentHash = item.contentHash;
    identity.fileSize = item.fileSize;
    return identity;
}

} // namespace morvane
