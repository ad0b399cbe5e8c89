#include "sync/RecordFileStamp.h"

#include <cstring>

#include <sys/stat.h>
#include <time.h>

namespace morvane {

namespace {

// A file written within this long before it was looked at may be written again within the same tick of
// the file system's clock, keeping its stamp: such a stamp is not trusted to stand for the content.
constexpr qint64 unsettledNs = 2'000'000'000;

qint64 nanoseconds(const struct timespec& time)
{
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

qint64 nowNs()
{
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

} // namespace

RecordFileStamp RecordFileStamp::of(const struct stat& info)
{
    return {qint64(info.st_size), nanoseconds(info.st_mtim), nanoseconds(info.st_ctim), quint64(info.st_ino),
            quint64(info.st_mode)};
}

QByteArray RecordFileStamp::bytes() const
{
    return QByteArray(reinterpret_cast<const char*>(this), sizeof *this);
}

RecordFileStamp RecordFileStamp::fromBytes(QByteArrayView bytes)
{
    RecordFileStamp stamp;
    if (bytes.size() == qsizetype(sizeof stamp))
        std::memcpy(&stamp, bytes.constData(), sizeof stamp);
    return stamp;
}

quint64 RecordFileStamp::digest() const
{
    if (*this == RecordFileStamp{})
        return 0;
    // Each field mixed in with SplitMix64's finaliser.
    quint64 hash = 0x9e3779b97f4a7c15ULL;
    for (const quint64 field : {quint64(size), quint64(modifiedNs), quint64(changedNs), inode, mode}) {
        hash = (hash ^ field) + 0x9e3779b97f4a7c15ULL;
        hash = (hash ^ (hash >> 30)) * 0xbf58476d1ce4e5b9ULL;
        hash = (hash ^ (hash >> 27)) * 0x94d049bb133111ebULL;
        hash ^= hash >> 31;
    }
    return hash == 0 ? 1 : hash;
}

bool RecordFileStamp::settled() const
{
    return modifiedNs + unsettledNs < nowNs();
}

QString RecordFileStamp::entryKind(quint64 mode)
{
    switch (mode & S_IFMT) {
    case S_IFLNK:
        return QStringLiteral("a symbolic link");
    case S_IFIFO:
        return QStringLiteral("a FIFO");
    case S_IFSOCK:
        return QStringLiteral("a socket");
    case S_IFCHR:
    case S_IFBLK:
        return QStringLiteral("a device");
    case S_IFDIR:
        return QStringLiteral("a folder");
    }
    return QStringLiteral("not a regular file");
}

} // namespace morvane
