#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

namespace morvane {

// A file of this user's opened for reading, or why the entry at its path was not opened.
struct OwnFile {
    // Negative when the file was not opened; the caller closes it otherwise.
    int descriptor = -1;
    struct stat status {};
    // Empty when it was opened, and when nothing is at the path.
    QString refusal;
};

// Opens the file at the path for reading without following a symbolic link and without waiting on a
// FIFO or a device put in its place (opening a FIFO waits for a writer), and keeps it open only when it
// is a regular file of this user's that no one else may write: anyone who may write it could make it
// say what they like.
OwnFile openOwnRegularFile(const QByteArray& path);

} // namespace morvane
