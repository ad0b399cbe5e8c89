#include "MailFolderIndex.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>

#include <sys/stat.h>

#include <cstring>

namespace morvane {

namespace {

// A header block longer than this is not a mail client's message: the rest is not read.
constexpr qsizetype maxHeaderBlock = 256 * 1024;

const QStringList maildirParts{QStringLiteral("cur"), QStringLiteral("new")};

bool statOf(const QString& path, struct stat* info)
{
    return ::stat(QFile::encodeName(path).constData(), info) == 0;
}

// The header block that starts at the offset: up to the first blank line.
QByteArray headerBlockAt(const char* data, qsizetype size, qsizetype start)
{
    const qsizetype limit = std::min(size, start + maxHeaderBlock);
    for (qsizetype i = start; i < limit; ++i) {
        if (data[i] != '\n')
            continue;
        if (i + 1 < limit && data[i + 1] == '\n')
            return QByteArray(data + start, i - start);
        if (i + 2 < limit && data[i + 1] == '\r' && data[i + 2] == '\n')
            return QByteArray(data + start, i - start);
    }
    return QByteArray(data + start, limit - start);
}

// Finds the next line that starts with "From " at or after the offset; size when there is none.
qsizetype nextFromLine(const char* data, qsizetype size, qsizetype offset)
{
    if (offset == 0 && size >= 5 && std::memcmp(data, "From ", 5) == 0)
        return 0;
    if (offset >= size)
        return size;
    const void* found = memmem(data + offset, size_t(size - offset), "\nFrom ", 6);
    return found ? static_cast<const char*>(found) - data + 1 : size;
}

QList<StoredMessage> readMbox(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return {};
    const qsizetype size = qsizetype(file.size());
    const uchar* mapped = file.map(0, size);
    if (!mapped)
        return {};
    const char* data = reinterpret_cast<const char*>(mapped);
    QList<StoredMessage> messages;
    for (qsizetype from = nextFromLine(data, size, 0); from < size;
         from = nextFromLine(data, size, from + 1)) {
        const void* lineEnd = std::memchr(data + from, '\n', size_t(size - from));
        if (!lineEnd)
            break;
        const qsizetype headers = static_cast<const char*>(lineEnd) - data + 1;
        messages.append(parseMailHeaders(headerBlockAt(data, size, headers)));
    }
    file.unmap(const_cast<uchar*>(mapped));
    return messages;
}

QList<StoredMessage> readMaildir(const QString& path)
{
    QList<StoredMessage> messages;
    for (const QString& part : maildirParts) {
        const QDir dir(QDir(path).filePath(part));
        for (const QString& name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray head = file.read(maxHeaderBlock);
            messages.append(parseMailHeaders(headerBlockAt(head.constData(), head.size(), 0)));
        }
    }
    return messages;
}

} // namespace

QList<MailFolderIndex::Stamp> MailFolderIndex::stampsOf(const QString& path, bool* isMaildir)
{
    struct stat info {};
    *isMaildir = false;
    if (!statOf(path, &info))
        return {};
    // Only a regular file is read as an mbox: a pipe or a device named by a hostile URL would never end.
    if (S_ISREG(info.st_mode))
        return {{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec}};
    if (!S_ISDIR(info.st_mode))
        return {};
    QList<Stamp> stamps;
    for (const QString& part : maildirParts) {
        struct stat partInfo {};
        if (!statOf(QDir(path).filePath(part), &partInfo) || !S_ISDIR(partInfo.st_mode))
            return {};
        // A message added, removed or renamed (its flags live in its name) changes the folder.
        stamps.append({qint64(partInfo.st_nlink),
                       qint64(partInfo.st_mtim.tv_sec) * 1'000'000'000 + partInfo.st_mtim.tv_nsec});
    }
    *isMaildir = true;
    return stamps;
}

QList<StoredMessage> MailFolderIndex::messages(const QString& path)
{
    bool isMaildir = false;
    const QList<Stamp> stamps = stampsOf(path, &isMaildir);
    if (stamps.isEmpty())
        return {};
    {
        const QMutexLocker lock(&m_mutex);
        if (const auto entry = m_entries.value(path); entry && entry->stamps == stamps)
            return entry->messages;
        ++m_folderReads;
    }
    // Read outside the lock: another folder's poll need not wait for this one.
    auto entry = std::make_shared<Entry>(Entry{stamps, isMaildir ? readMaildir(path) : readMbox(path)});
    const QMutexLocker lock(&m_mutex);
    m_entries.insert(path, entry);
    return entry->messages;
}

int MailFolderIndex::folderReads() const
{
    const QMutexLocker lock(&m_mutex);
    return m_folderReads;
}

} // namespace morvane
