#pragma once

#include "platform/FileStatus.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace morvane {

// What a bookmark remembers of a file, and its byte form: compact JSON with sorted keys, so that an
// unchanged file always gives the same bytes. It holds no time of its own making.
struct BookmarkRecord {
    static constexpr int currentVersion = 1;

    FileKind kind = FileKind::regular; // regular or directory; anything else is kept as "other"
    QString path;
    quint64 inode = 0;
    std::optional<FileTimestamp> birthTime;
    QString volumeIdentifier;
    QString mountPoint;
    QString relativePath; // the path within the file system, from its own root

    bool operator==(const BookmarkRecord&) const = default;

    QByteArray encoded() const;
    // Nothing for bytes that are not a bookmark of this format and version.
    static std::optional<BookmarkRecord> decode(const QByteArray& data);
};

} // namespace morvane
