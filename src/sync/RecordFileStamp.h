#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

struct stat;

namespace morvane {

// What tells one version of an entry of the record folder from another without reading it. The
// modification time may be kept as it was by a copying sync tool, so the inode and status-change time
// come along: a file put in place by a rename is a new inode, and a rewrite in place moves the change
// time.
struct RecordFileStamp {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    quint64 inode = 0;
    quint64 mode = 0; // as wide as the others: no padding, so the bytes of a stamp stand for it

    static RecordFileStamp of(const struct stat& info);
    // The stamp as bytes to keep, and back; bytes of another length give the blank stamp, which stands
    // for no version.
    QByteArray bytes() const;
    static RecordFileStamp fromBytes(QByteArrayView bytes);
    bool operator==(const RecordFileStamp&) const = default;
    // What a listing keeps of the stamp to tell whether it moved: a digest of its bytes, never 0, or 0
    // for the blank stamp. Two versions of a file take the same digest one time in 2^64.
    quint64 digest() const;
    // Old enough to stand for what the file holds.
    bool settled() const;
    // What kind of entry the mode is, for the log and the pass's result: "a symbolic link", "a FIFO" ...
    static QString entryKind(quint64 mode);
};

} // namespace morvane
