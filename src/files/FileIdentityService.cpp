#include "FileIdentityService.h"

#include "files/FileHashCache.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"
#include "platform/FileBookmarks.h"
#include "platform/FileSystemProbe.h"
#include "platform/Sha256Hasher.h"
#include "platform/VolumeCatalog.h"

namespace morvane {

MORVANE_LOGGING_CATEGORY(lcFileIdentity, "FileIdentity")

FileIdentityPlatform FileIdentityPlatform::system()
{
    return {LinuxFileSystemProbe::shared(), LinuxVolumeCatalog::shared(), LinuxFileBookmarks::shared(),
            OpenSslSha256Hasher::shared()};
}

FileIdentityService::FileIdentityService(std::shared_ptr<FileHashCache> hashCache,
                                         FileIdentityPlatform platform)
    : m_hashCache(std::move(hashCache))
    , m_platform(std::move(platform))
{
}

QString FileIdentityService::fileResourceIdentifier(const FileStatus& status) const
{
    return fileResourceIdentifierText(status);
}

QString FileIdentityService::volumeIdentifier(const QString& path, const FileStatus& status) const
{
    return m_platform.volumes->volumeIdentifier(path, status);
}

std::optional<QString> FileIdentityService::contentHash(const QString& path, const FileStatus& status) const
{
    if (!status.isRegularFile())
        return std::nullopt;
    const auto keyOf = [&](const FileStatus& observed) {
        return FileHashKey{volumeIdentifier(path, observed), observed.inode, observed.size,
                           observed.modificationTime, observed.changeTime};
    };
    if (m_hashCache)
        if (auto cached = m_hashCache->find(keyOf(status)))
            return cached;
    const auto digest = m_platform.hasher->hashFile(path);
    if (!digest)
        return std::nullopt;
    // Filed under what the open file was when it was read, which may be newer than status.
    if (m_hashCache)
        m_hashCache->insert(keyOf(digest->status), digest->hex);
    return digest->hex;
}

std::optional<FileIdentity> FileIdentityService::makeIdentity(const QString& url,
                                                              bool includeContentHash) const
{
    const auto path = localPathOfFileUrl(url);
    if (!path)
        return std::nullopt;
    const BookmarkCreation bookmark = m_platform.bookmarks->create(*path);
    if (!bookmark.data) {
        qCCritical(lcFileIdentity).noquote() << QStringLiteral("Failed to create file bookmark for %1: %2")
                                                    .arg(*path, bookmark.errorDescription);
        return std::nullopt;
    }
    FileIdentity identity;
    identity.bookmarkData = *bookmark.data;
    identity.fileResourceIdentifier = fileResourceIdentifier(bookmark.status);
    identity.volumeIdentifier = bookmark.volumeIdentifier;
    identity.lastKnownPath = *path;
    if (bookmark.status.isRegularFile()) {
        identity.fileSize = bookmark.status.size;
        if (includeContentHash)
            identity.contentHash = contentHash(*path, bookmark.status);
    }
    return identity;
}

std::optional<ResolvedFileIdentity>
FileIdentityService::resolveBookmark(const std::optional<QByteArray>& bookmarkData,
                                     const std::optional<QString>& fallbackUrl) const
{
    // An empty buffer is what a link without a bookmark carries after an import: no bookmark at all.
    if (bookmarkData && !bookmarkData->isEmpty()) {
        const BookmarkResolution resolution = m_platform.bookmarks->resolve(*bookmarkData);
        if (resolution.path) {
            const QString url = LocatorUrl::fileUrlText(*resolution.path);
            ResolvedFileIdentity resolved{url, std::nullopt};
            if (resolution.stale)
                resolved.refreshedIdentity = makeIdentity(url, true);
            return resolved;
        }
        qCCritical(lcFileIdentity).noquote()
            << QStringLiteral("Failed to resolve file bookmark: %1").arg(resolution.errorDescription);
    }
    if (!fallbackUrl)
        return std::nullopt;
    return ResolvedFileIdentity{*fallbackUrl, std::nullopt};
}

bool FileIdentityService::bookmarkRefersTo(const QByteArray& bookmarkData, const FileIdentity& captured) const
{
    if (!captured.fileResourceIdentifier || !captured.volumeIdentifier || bookmarkData.isEmpty())
        return false;
    const BookmarkInspection inspection = m_platform.bookmarks->inspect(bookmarkData);
    if (!inspection.readable) {
        qCCritical(lcFileIdentity).noquote()
            << QStringLiteral("Failed to resolve file bookmark: %1").arg(inspection.errorDescription);
        return false;
    }
    if (!inspection.path)
        return inspection.fileResourceIdentifier == *captured.fileResourceIdentifier &&
               inspection.volumeIdentifier == *captured.volumeIdentifier;
    const ProbeResult probed = m_platform.probe->status(*inspection.path);
    return probed && fileResourceIdentifier(*probed.status) == *captured.fileResourceIdentifier &&
           volumeIdentifier(*inspection.path, *probed.status) == *captured.volumeIdentifier;
}

FileIdentity FileIdentityService::refreshSizeAndHash(const FileIdentity& identity,
                                                     const FileLocator& locator) const
{
    if ((identity.contentHash && identity.fileSize) || !locator.path)
        return identity;
    const QString& path = *locator.path;
    FileIdentity refreshed = identity;
    // A folder's size would match every other folder, and reading a FIFO or a device would never
    // end: size and fingerprint come only from regular files.
    const ProbeResult probed = m_platform.probe->status(path);
    if (!probed || !probed.status->isRegularFile())
        return refreshed;
    if (!refreshed.fileSize)
        refreshed.fileSize = probed.status->size;
    if (!refreshed.contentHash)
        refreshed.contentHash = contentHash(path, *probed.status);
    return refreshed;
}

} // namespace morvane
