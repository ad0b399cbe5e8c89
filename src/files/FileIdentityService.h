#pragma once

#include "files/ResolvedFileIdentity.h"
#include "model/FileIdentity.h"
#include "model/FileLocator.h"
#include "platform/FileStatus.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace morvane {

class FileBookmarks;
class FileHashCache;
class FileSystemProbe;
class Sha256Hasher;
class VolumeCatalog;

// The operating-system services file identity stands on; tests replace single ones.
struct FileIdentityPlatform {
    std::shared_ptr<const FileSystemProbe> probe;
    std::shared_ptr<const VolumeCatalog> volumes;
    std::shared_ptr<const FileBookmarks> bookmarks;
    std::shared_ptr<const Sha256Hasher> hasher;

    static FileIdentityPlatform system();
};

// Makes the identity evidence of a file, resolves stored bookmarks and fills in a missing size or
// fingerprint. Holds nothing that changes, so it is callable from any thread; the hash cache it is
// given is shared and guarded on its own. Never throws, never writes to the file system.
class FileIdentityService {
public:
    explicit FileIdentityService(std::shared_ptr<FileHashCache> hashCache,
                                 FileIdentityPlatform platform = FileIdentityPlatform::system());

    // Nothing for a URL that is not a file URL (silently) or for a file that cannot be identified
    // (with an error line in the log). Size only for regular files, and so is the fingerprint.
    std::optional<FileIdentity> makeIdentity(const QString& url, bool includeContentHash) const;

    // The bookmark's current place (with a refreshed identity when it was stale), else the fallback.
    std::optional<ResolvedFileIdentity> resolveBookmark(const std::optional<QByteArray>& bookmarkData,
                                                        const std::optional<QString>& fallbackUrl) const;

    // Whether the bookmark leads to the captured file, without searching for a file that is gone:
    // the file at the bookmark's path is compared by its identifiers; when nothing is there, the
    // identity the bookmark recorded is (the captured file exists, so a search would find it).
    // Unreadable bookmark data is logged.
    bool bookmarkRefersTo(const QByteArray& bookmarkData, const FileIdentity& captured) const;

    // The identity with a missing size and a missing fingerprint filled in from the locator's local
    // file; both only for a regular file. Bookmark, identifiers and path are kept as given.
    FileIdentity refreshSizeAndHash(const FileIdentity& identity, const FileLocator& locator) const;

    // The fingerprint of the regular file at path (whose current status is given), through the cache.
    std::optional<QString> contentHash(const QString& path, const FileStatus& status) const;
    // The two identifier texts of the file at path, as makeIdentity would record them.
    QString fileResourceIdentifier(const FileStatus& status) const;
    QString volumeIdentifier(const QString& path, const FileStatus& status) const;

    const FileIdentityPlatform& platform() const { return m_platform; }

private:
    std::shared_ptr<FileHashCache> m_hashCache;
    FileIdentityPlatform m_platform;
};

} // namespace morvane
