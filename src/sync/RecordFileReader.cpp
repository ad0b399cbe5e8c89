#include "sync/RecordFileReader.h"

#include "foundation/FileDescriptor.h"
#include "foundation/Logging.h"
#include "sync/RecordFolder.h"
#include "sync/RecordNames.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcFolderRecordStore)

namespace morvane {

namespace {

constexpr qint64 maximumBytes = RecordFileCodec::maximumBytes;

QString overLimitText(qint64 bytes)
{
    return QStringLiteral("its record file is %1, over the limit of %2")
        .arg(RecordFileCodec::sizeText(bytes), RecordFileCodec::sizeText(maximumBytes));
}

RecordFileReader::Unusable notARecordFile(quint64 mode)
{
    return {CloudKitError::serverRejectedRequest,
            QStringLiteral("the record folder holds %1 under its name, not a record file")
                .arg(RecordFileStamp::entryKind(mode)),
            !S_ISDIR(mode)};
}

RecordFileReader::Unusable failedWith(const char* what, int error)
{
    return {CloudKitError::serverRejectedRequest,
            QStringLiteral("its record file could not be %1: %2")
                .arg(QLatin1String(what), QString::fromLocal8Bit(::strerror(error)))};
}

// Why an entry of this kind and size is left unread; none for a regular file within the limit.
std::optional<RecordFileReader::Unusable> unusableEntry(const struct stat& entry)
{
    if (!S_ISREG(entry.st_mode))
        return notARecordFile(entry.st_mode);
    if (qint64(entry.st_size) > maximumBytes)
        return RecordFileReader::Unusable{CloudKitError::limitExceeded, overLimitText(entry.st_size)};
    return std::nullopt;
}

// Not following a link and not waiting on a FIFO, should the entry have been replaced by one since it
// was looked at; negative when it does not open.
int openRecordFile(int folder, const QByteArray& fileName)
{
    return ::openat(folder, fileName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// The open file as it is before it is read: a change made while it is read moves its stamp, and the
// next read takes the file again.
struct stat openedEntry(int handle, const QString& recordName)
{
    struct stat opened {};
    if (::fstat(handle, &opened) != 0)
        throw RecordFolder::systemError(QStringLiteral("read"), recordName, errno);
    return opened;
}

// Reads up to limit + 1 bytes, so that a file grown past the limit since it was measured is told.
std::optional<QByteArray> readUpTo(int handle, qint64 expected, qint64 limit)
{
    QByteArray bytes;
    bytes.resize(qsizetype(std::min(expected, limit) + 1));
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > limit)
                break;
            bytes.resize(std::min<qsizetype>(bytes.size() * 2, qsizetype(limit + 1)));
        }
        const ssize_t got = ::read(handle, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += got;
    }
    bytes.truncate(filled);
    return bytes;
}

} // namespace

RecordFileReader::RecordFileReader(const RecordFolder& folder)
    : m_folder(folder)
{
}

void RecordFileReader::forget(const QString& recordName)
{
    const auto found = m_cache.constFind(recordName);
    if (found == m_cache.constEnd())
        return;
    if (found->record)
        --m_keptRecords;
    m_cache.erase(found);
}

void RecordFileReader::forgetAll()
{
    m_cache.clear();
    m_keptRecords = 0;
}

void RecordFileReader::keep(const QString& recordName, CachedFile file)
{
    if (file.record && m_keptRecords >= keptRecords) {
        // What is known of entries left unread stays, so that they are not logged again.
        m_cache.removeIf([](const auto& entry) { return entry.value().record.has_value(); });
        m_keptRecords = 0;
    }
    forget(recordName);
    if (file.record)
        ++m_keptRecords;
    m_cache.insert(recordName, std::move(file));
}

void RecordFileReader::keepListed(const RecordNames& names)
{
    m_cache.removeIf([&](const auto& entry) {
        const bool gone = !entry.value().unusable && !names.contains(entry.key());
        if (gone && entry.value().record)
            --m_keptRecords;
        return gone;
    });
}

RecordFileReader::Found RecordFileReader::lookup(const QString& recordName)
{
    const int dir = m_folder.handle();
    const auto cached = m_cache.constFind(recordName);
    const QByteArray fileName = cached != m_cache.constEnd()
                                    ? cached->fileName
                                    : QFile::encodeName(RecordFileCodec::fileNameOf(recordName));
    // The entry itself, never what a link points to.
    struct stat entry {};
    if (::fstatat(dir, fileName.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        forget(recordName);
        if (error == ENOENT || error == ENAMETOOLONG) // no file can have a name that long
            return {};
        throw RecordFolder::systemError(QStringLiteral("look up"), recordName, error);
    }
    if (cached != m_cache.constEnd() && cached->stamp == RecordFileStamp::of(entry))
        return {cached->record, cached->unusable};
    return readEntry(recordName, fileName, entry);
}

std::optional<CloudRecord> RecordFileReader::read(const QString& recordName)
{
    Found found = lookup(recordName);
    if (found.unusable)
        throw UnusableRecordError(found.unusable->code, recordName, found.unusable->reason);
    return std::move(found.record);
}

std::optional<CloudRecord> RecordFileReader::readListed(const QString& recordName, const QByteArray& fileName,
                                                        const struct stat& entry)
{
    const auto cached = m_cache.constFind(recordName);
    Found found;
    if (cached != m_cache.constEnd() && cached->stamp == RecordFileStamp::of(entry)) {
        found = {cached->record, cached->unusable};
    } else {
        // A copy: reading forgets the cached entry first.
        const QByteArray name = cached != m_cache.constEnd() ? cached->fileName : fileName;
        found = readEntry(recordName, name, entry);
    }
    if (found.unusable)
        throw UnusableRecordError(found.unusable->code, recordName, found.unusable->reason);
    return std::move(found.record);
}

RecordFileReader::Found RecordFileReader::leaveUnread(const QString& recordName, CachedFile file,
                                                      Unusable unusable)
{
    // Logged once for each state of the entry: what is cached is not logged again.
    qCWarning(lcFolderRecordStore).noquote() << "Leaving" << privateValue(QFile::decodeName(file.fileName))
                                             << "in the record folder unread:" << unusable.reason;
    file.unusable = std::move(unusable);
    Found found{std::nullopt, file.unusable};
    if (file.stamp.settled())
        keep(recordName, std::move(file));
    return found;
}

RecordFileReader::Found RecordFileReader::readEntry(const QString& recordName, const QByteArray& fileName,
                                                    const struct stat& entry)
{
    CachedFile file{RecordFileStamp::of(entry), fileName, std::nullopt, std::nullopt};
    Found found;
    std::optional<QByteArray> bytes = readBytes(recordName, file, entry, found);
    if (!bytes)
        return found;
    return keepDecoded(recordName, std::move(file), m_codec.decode(*bytes));
}

RecordFileReader::Opened RecordFileReader::readListedBytes(const QString& recordName,
                                                           const QByteArray& fileName)
{
    // Opened at once; what is open is then checked as readBytes checks it.
    const FileDescriptor handle(openRecordFile(m_folder.handle(), fileName));
    if (handle.get() < 0)
        return {};
    const struct stat opened = openedEntry(handle.get(), recordName);
    Opened result{true, RecordFileStamp::of(opened), std::nullopt};
    // What is known of a file that stayed as it was is not read (nor told) again.
    if (const auto cached = m_cache.constFind(recordName);
        cached != m_cache.constEnd() && cached->stamp == result.stamp) {
        if (cached->record)
            result.listed = Listed{QByteArray(), cached->record, cached->stamp};
        return result;
    }
    forget(recordName);
    CachedFile file{result.stamp, fileName, std::nullopt, std::nullopt};
    Found unread;
    if (std::optional<QByteArray> bytes = readOpen(recordName, file, handle.get(), opened, unread))
        result.listed = Listed{std::move(*bytes), std::nullopt, file.stamp};
    return result;
}

void RecordFileReader::keepNotARecord(const QString& recordName, const QByteArray& fileName,
                                      const RecordFileStamp& stamp)
{
    keepDecoded(recordName, CachedFile{stamp, fileName, std::nullopt, std::nullopt}, std::nullopt);
}

std::optional<QByteArray> RecordFileReader::readBytes(const QString& recordName, CachedFile& file,
                                                      const struct stat& entry, Found& unread)
{
    forget(recordName);
    if (std::optional<Unusable> unusable = unusableEntry(entry)) {
        unread = leaveUnread(recordName, std::move(file), std::move(*unusable));
        return std::nullopt;
    }
    const FileDescriptor handle(openRecordFile(m_folder.handle(), file.fileName));
    if (handle.get() < 0) {
        const int error = errno;
        if (error == ENOENT)
            unread = {};
        else if (error == ELOOP)
            unread = leaveUnread(recordName, std::move(file), notARecordFile(S_IFLNK));
        else
            unread = leaveUnread(recordName, std::move(file), failedWith("opened", error));
        return std::nullopt;
    }
    return readOpen(recordName, file, handle.get(), openedEntry(handle.get(), recordName), unread);
}

std::optional<QByteArray> RecordFileReader::readOpen(const QString& recordName, CachedFile& file, int handle,
                                                     const struct stat& opened, Found& unread)
{
    file.stamp = RecordFileStamp::of(opened);
    if (std::optional<Unusable> unusable = unusableEntry(opened)) {
        unread = leaveUnread(recordName, std::move(file), std::move(*unusable));
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = readUpTo(handle, opened.st_size, maximumBytes);
    if (!bytes) {
        const int error = errno;
        unread = leaveUnread(recordName, std::move(file), failedWith("read", error));
        return std::nullopt;
    }
    if (bytes->size() > maximumBytes) {
        unread = leaveUnread(recordName, std::move(file),
                             {CloudKitError::limitExceeded, overLimitText(bytes->size())});
        return std::nullopt;
    }
    return bytes;
}

RecordFileReader::Found RecordFileReader::keepDecoded(const QString& recordName, CachedFile file,
                                                      std::optional<CloudRecord> record)
{
    file.record = std::move(record);
    if (!file.record || file.record->recordName() != recordName) {
        qCWarning(lcFolderRecordStore) << "Ignoring a record file that does not hold its record:"
                                       << privateValue(QFile::decodeName(file.fileName));
        file.record.reset();
    }
    Found found{file.record, std::nullopt};
    if (file.stamp.settled())
        keep(recordName, std::move(file));
    return found;
}

} // namespace morvane
