#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace morvane {

// The identity evidence kept next to a file or folder link so the file can be found again after it
// moved, was renamed or came from another machine.
struct FileIdentity {
    QByteArray bookmarkData;
    std::optional<QString> fileResourceIdentifier;
    std::optional<QString> volumeIdentifier;
    QString lastKnownPath;              // POSIX path, not percent-encoded
    std::optional<QString> contentHash; // SHA-256, 64 lower-case hex digits
    std::optional<qint64> fileSize;     // regular files only

    bool operator==(const FileIdentity&) const = default;

    // Lays a freshly observed identity (primary) over a stored one: bookmark and path from the
    // primary, each identifier, hash and size from the primary when present, else from second.
    static FileIdentity merged(const FileIdentity& primary, const std::optional<FileIdentity>& second);
};

} // namespace morvane
