#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace morvane {

// What one probe of a path tells about the file system object behind it.
enum class FileKind { regular, directory, symlink, other };

// A point in time as the file system keeps it, to the nanosecond.
struct FileTimestamp {
    qint64 seconds = 0;
    quint32 nanoseconds = 0;

    bool operator==(const FileTimestamp&) const = default;
};

struct FileStatus {
    FileKind kind = FileKind::other;
    quint64 inode = 0;
    quint32 deviceMajor = 0;
    quint32 deviceMinor = 0;
    std::optional<FileTimestamp> birthTime; // absent when the file system keeps none
    qint64 size = 0;
    FileTimestamp modificationTime;
    FileTimestamp changeTime;
    std::optional<quint64> mountId;

    bool operator==(const FileStatus&) const = default;

    bool isRegularFile() const { return kind == FileKind::regular; }
    bool isDirectory() const { return kind == FileKind::directory; }
    bool sameDevice(const FileStatus& other) const
    {
        return deviceMajor == other.deviceMajor && deviceMinor == other.deviceMinor;
    }
};

// The text kept as a file's resource identifier: the decimal inode, then "-" and the birth time as
// "seconds.nanoseconds" when the file system reports one. It survives renames and moves within one
// file system and changes on copy; the birth time tells a reused inode from the original file.
QString fileResourceIdentifierText(const FileStatus& status);

// "sec.nnnnnnnnn" (nine fraction digits).
QString timestampText(const FileTimestamp& timestamp);

} // namespace morvane
