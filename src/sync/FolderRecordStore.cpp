#include "sync/FolderRecordStore.h"

#include "foundation/FileDescriptor.h"
#include "foundation/IsoDate.h"
#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "foundation/Uuid.h"
#include "sync/CloudKitSyncService.h"
#include "sync/RecordFormats.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

MORVANE_LOGGING_CATEGORY(lcFolderRecordStore, "FolderRecordStore");

namespace morvane {

namespace {

using nlohmann::ordered_json;

const QString fileSuffix = QStringLiteral(".record");

// Record names become file names with every byte outside letters, digits, "-" and "_" percent-encoded,
// so no name can climb out of the folder, hide itself behind a leading "." or clash with a temporary
// file of a save.
QString fileNameOf(const QString& recordName)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(recordName, {}, ".~")) + fileSuffix;
}

std::optional<QString> recordNameOf(const QString& fileName)
{
    if (!fileName.endsWith(fileSuffix) || fileName.startsWith(u'.'))
        return std::nullopt;
    const QString encoded = fileName.chopped(fileSuffix.size());
    const QString name = QUrl::fromPercentEncoding(encoded.toLatin1());
    // Only the one spelling we write counts: a copy under another name is not the record.
    if (name.isEmpty() || fileNameOf(name) != fileName)
        return std::nullopt;
    return name;
}

QString toQString(const ordered_json& value)
{
    return QString::fromStdString(value.get<std::string>());
}

ordered_json encodeValue(const CloudValue& value)
{
    struct Encoder {
        ordered_json operator()(const QString& text) const { return {{"string", text.toStdString()}}; }
        ordered_json operator()(const QDateTime& date) const
        {
            return {{"date", libraryDateString(date).toStdString()}};
        }
        ordered_json operator()(qint64 number) const { return {{"int64", number}}; }
        ordered_json operator()(double number) const { return {{"double", number}}; }
        ordered_json operator()(const QStringList& list) const
        {
            ordered_json items = ordered_json::array();
            for (const QString& item : list)
                items.push_back(item.toStdString());
            return {{"stringList", items}};
        }
    };
    return std::visit(Encoder{}, value);
}

std::optional<CloudValue> decodeValue(const ordered_json& value)
{
    if (!value.is_object() || value.size() != 1)
        return std::nullopt;
    // Through the object's own iterator: the pair items() yields lives only as long as that proxy.
    const std::string& kind = value.begin().key();
    const ordered_json& content = value.begin().value();
    if (kind == "string" && content.is_string())
        return toQString(content);
    if (kind == "date" && content.is_string()) {
        if (const auto date = parseLibraryDate(toQString(content)))
            return *date;
        return std::nullopt;
    }
    if (kind == "int64" && content.is_number_integer() && !content.is_number_unsigned())
        return content.get<qint64>();
    if (kind == "int64" && content.is_number_unsigned() &&
        content.get<std::uint64_t>() <= std::uint64_t(std::numeric_limits<qint64>::max()))
        return content.get<qint64>();
    if (kind == "double" && content.is_number())
        return content.get<double>();
    if (kind == "stringList" && content.is_array()) {
        QStringList list;
        for (const ordered_json& item : content) {
            if (!item.is_string())
                return std::nullopt;
            list.append(toQString(item));
        }
        return list;
    }
    return std::nullopt;
}

QByteArray encodeRecord(const CloudRecord& record)
{
    ordered_json fields = ordered_json::object();
    for (auto field = record.fields().constBegin(); field != record.fields().constEnd(); ++field)
        fields[field.key().toStdString()] = encodeValue(field.value());
    const ordered_json document = {{"recordType", record.recordType().toStdString()},
                                   {"recordName", record.recordName().toStdString()},
                                   {"changeTag", record.changeTag().toStdString()},
                                   {"fields", fields}};
    return QByteArray::fromStdString(document.dump(2) + "\n");
}

// The one copy of a text that many records hold.
QString shared(QSet<QString>& words, QString text)
{
    if (const auto found = words.constFind(text); found != words.constEnd())
        return *found;
    words.insert(text);
    return text;
}

std::optional<CloudRecord> decodeRecord(const QByteArray& bytes, QSet<QString>& words)
{
    const ordered_json document = ordered_json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!document.is_object())
        return std::nullopt;
    for (const char* key : {"recordType", "recordName", "changeTag"}) {
        if (!document.contains(key) || !document[key].is_string())
            return std::nullopt;
    }
    if (!document.contains("fields") || !document["fields"].is_object())
        return std::nullopt;
    CloudRecord record(shared(words, toQString(document["recordType"])), toQString(document["recordName"]));
    record.setChangeTag(toQString(document["changeTag"]));
    for (const auto& [key, value] : document["fields"].items()) {
        const std::optional<CloudValue> decoded = decodeValue(value);
        if (!decoded)
            return std::nullopt;
        record.set(shared(words, QString::fromStdString(key)), *decoded);
    }
    return record;
}

qint64 nanoseconds(const struct timespec& time)
{
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// A record's name can rule out some types: a link is named by its UUID, a relation by the two UUIDs of
// its pair joined by "_" (a relation's reader also takes a record named by a UUID), and a tombstone's
// name starts with the type of what it buries, so it has neither shape. Any other name may hold any
// type (a store is open to records it did not write), and is read whatever the type asked for.
bool isUuidName(QStringView name)
{
    if (name.size() != 36)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != u'-' : !((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

bool isPairName(QStringView name)
{
    return name.size() == 73 && name[36] == u'_' && isUuidName(name.first(36)) && isUuidName(name.last(36));
}

bool mayHoldType(const QString& recordName, const QString& recordType)
{
    if (isUuidName(recordName))
        return recordType == RecordFormats::linkType || recordType == RecordFormats::relationType;
    if (isPairName(recordName))
        return recordType == RecordFormats::relationType;
    return true;
}

CloudKitError unknownItem(const QString& recordName)
{
    return CloudKitError(CloudKitError::unknownItem,
                         QStringLiteral("Record not found: %1").arg(privateValue(recordName)));
}

CloudKitError systemError(const QString& what, const QString& recordName, int error)
{
    return CloudKitError(CloudKitError::internalError,
                         QStringLiteral("Could not %1 the record %2: %3")
                             .arg(what, privateValue(recordName), QString::fromLocal8Bit(::strerror(error))));
}

// What kind of entry a mode is, for the log and the pass's result.
QString entryKind(mode_t mode)
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

// "1,048,576 bytes"
QString sizeText(qint64 bytes)
{
    QLocale english = QLocale::c();
    english.setNumberOptions({});
    return QStringLiteral("%1 bytes").arg(english.toString(bytes));
}

QString overLimitText(qint64 bytes)
{
    return QStringLiteral("its record file is %1, over the limit of %2")
        .arg(sizeText(bytes), sizeText(FolderRecordStore::maximumRecordBytes));
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

bool writeAll(int handle, const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t put = ::write(handle, bytes.constData() + written, size_t(bytes.size() - written));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += put;
    }
    return true;
}

// A new name for a temporary file: hidden (a listing passes over names that start with "."), and
// unlike any record's file name.
QByteArray temporaryName()
{
    return ".morvane-" + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + ".tmp";
}

} // namespace

FolderRecordStore::FolderRecordStore(QString folderPath)
    : m_folderPath(std::move(folderPath))
{
}

FolderRecordStore::~FolderRecordStore()
{
    closeFolder();
}

QString FolderRecordStore::defaultFolderPath()
{
    return dataDirectory() + QStringLiteral("/CloudRecords");
}

RecordStore::AccountStatus FolderRecordStore::accountStatus()
{
    const QFileInfo folder(m_folderPath); // follows a link into a shared folder
    if (folder.isDir())
        return AccountStatus::available;
    if (!folder.exists())
        return AccountStatus::noAccount;
    return AccountStatus::couldNotDetermine;
}

void FolderRecordStore::closeFolder()
{
    if (m_folder >= 0)
        ::close(m_folder);
    m_folder = -1;
    m_cache.clear();
    m_listing.reset();
    m_listingStamp.reset();
    // Another folder, or the same one after a while away: everything is answered again.
    m_answered.clear();
    m_answeredListing.reset();
    m_answeredStamps.clear();
}

int FolderRecordStore::folder()
{
    // The path is looked up each time (following a link into a shared folder), as the absence of the
    // folder is the absence of an account; the folder opened before serves while the path still names
    // it.
    const QByteArray path = QFile::encodeName(m_folderPath);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        closeFolder();
        throw CloudKitError(CloudKitError::notAuthenticated,
                            QStringLiteral("The record folder is not there: no account is signed in."));
    }
    if (m_folder >= 0 && quint64(info.st_dev) == m_folderDevice && quint64(info.st_ino) == m_folderInode)
        return m_folder;
    closeFolder();
    FileDescriptor opened(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat openedInfo {};
    if (opened.get() < 0 || ::fstat(opened.get(), &openedInfo) != 0)
        throw CloudKitError(CloudKitError::internalError,
                            QStringLiteral("Could not open the record folder %1: %2")
                                .arg(privateValue(m_folderPath), QString::fromLocal8Bit(::strerror(errno))));
    m_folderDevice = quint64(openedInfo.st_dev);
    m_folderInode = quint64(openedInfo.st_ino);
    m_folder = opened.release();
    return m_folder;
}

namespace {

// A file written within this long before it was looked at may be written again within the same tick of
// the file system's clock, keeping its stamp: such a stamp is not trusted to stand for the content.
constexpr qint64 unsettledNs = 2'000'000'000;

qint64 nowNs()
{
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

} // namespace

bool FolderRecordStore::FileStamp::settled() const
{
    return modifiedNs + unsettledNs < nowNs();
}

namespace {

template <class Stamp> Stamp stampOf(const struct stat& info)
{
    return Stamp{qint64(info.st_size), nanoseconds(info.st_mtim), nanoseconds(info.st_ctim),
                 quint64(info.st_ino), quint64(info.st_mode)};
}

} // namespace

FolderRecordStore::Found FolderRecordStore::lookup(const QString& recordName)
{
    const int dir = m_folder;
    const auto cached = m_cache.constFind(recordName);
    const QByteArray fileName =
        cached != m_cache.constEnd() ? cached->fileName : QFile::encodeName(fileNameOf(recordName));
    // The entry itself, never what a link points to.
    struct stat entry {};
    if (::fstatat(dir, fileName.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        m_cache.remove(recordName);
        if (error == ENOENT || error == ENAMETOOLONG) // no file can have a name that long
            return {};
        throw systemError(QStringLiteral("look up"), recordName, error);
    }
    if (cached != m_cache.constEnd() && cached->stamp == stampOf<FileStamp>(entry))
        return {cached->record, cached->unusable};
    return readEntry(recordName, fileName, entry);
}

std::optional<CloudRecord> FolderRecordStore::read(const QString& recordName)
{
    Found found = lookup(recordName);
    if (found.unusable)
        throw UnusableRecordError(found.unusable->code, recordName, found.unusable->reason);
    return std::move(found.record);
}

FolderRecordStore::Found FolderRecordStore::readEntry(const QString& recordName, const QByteArray& fileName,
                                                      const struct stat& entry)
{
    m_cache.remove(recordName);
    CachedFile file{stampOf<FileStamp>(entry), fileName, std::nullopt, std::nullopt};
    // Logged once for each state of the entry: what is cached is not logged again.
    const auto leaveUnread = [&](Unusable unusable) {
        qCWarning(lcFolderRecordStore).noquote() << "Leaving" << privateValue(QFile::decodeName(fileName))
                                                 << "in the record folder unread:" << unusable.reason;
        file.unusable = std::move(unusable);
        Found found{std::nullopt, file.unusable};
        if (file.stamp.settled())
            m_cache.insert(recordName, std::move(file));
        return found;
    };
    const auto notARecordFile = [](mode_t mode) {
        return Unusable{CloudKitError::serverRejectedRequest,
                        QStringLiteral("the record folder holds %1 under its name, not a record file")
                            .arg(entryKind(mode)),
                        !S_ISDIR(mode)};
    };
    if (!S_ISREG(entry.st_mode))
        return leaveUnread(notARecordFile(entry.st_mode));
    if (qint64(entry.st_size) > maximumRecordBytes)
        return leaveUnread({CloudKitError::limitExceeded, overLimitText(entry.st_size)});
    // Not following a link and not waiting on a FIFO, should the entry have been replaced by one since.
    FileDescriptor handle(
        ::openat(m_folder, fileName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (handle.get() < 0) {
        const int error = errno;
        if (error == ENOENT)
            return {};
        if (error == ELOOP)
            return leaveUnread(notARecordFile(S_IFLNK));
        return leaveUnread(
            {CloudKitError::serverRejectedRequest, QStringLiteral("its record file could not be opened: %1")
                                                       .arg(QString::fromLocal8Bit(::strerror(error)))});
    }
    // Stamped before reading: a change made while the file is read moves the stamp, and the next read
    // takes the file again.
    struct stat opened {};
    if (::fstat(handle.get(), &opened) != 0)
        throw systemError(QStringLiteral("read"), recordName, errno);
    file.stamp = stampOf<FileStamp>(opened);
    if (!S_ISREG(opened.st_mode))
        return leaveUnread(notARecordFile(opened.st_mode));
    if (qint64(opened.st_size) > maximumRecordBytes)
        return leaveUnread({CloudKitError::limitExceeded, overLimitText(opened.st_size)});
    const std::optional<QByteArray> bytes = readUpTo(handle.get(), opened.st_size, maximumRecordBytes);
    if (!bytes)
        return leaveUnread(
            {CloudKitError::serverRejectedRequest, QStringLiteral("its record file could not be read: %1")
                                                       .arg(QString::fromLocal8Bit(::strerror(errno)))});
    if (bytes->size() > maximumRecordBytes)
        return leaveUnread({CloudKitError::limitExceeded, overLimitText(bytes->size())});
    file.record = decodeRecord(*bytes, m_words);
    if (!file.record || file.record->recordName() != recordName) {
        qCWarning(lcFolderRecordStore) << "Ignoring a record file that does not hold its record:"
                                       << privateValue(QFile::decodeName(fileName));
        file.record.reset();
    }
    Found found{file.record, std::nullopt};
    if (file.stamp.settled())
        m_cache.insert(recordName, std::move(file));
    return found;
}

void FolderRecordStore::write(const QString& recordName, const QByteArray& bytes)
{
    m_cache.remove(recordName);
    const int dir = m_folder;
    const QByteArray fileName = QFile::encodeName(fileNameOf(recordName));
    QByteArray temporary;
    int made = -1;
    for (int attempt = 0; made < 0; ++attempt) {
        temporary = temporaryName();
        made =
            ::openat(dir, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (made < 0 && (errno != EEXIST || attempt == 8))
            throw systemError(QStringLiteral("write"), recordName, errno);
    }
    FileDescriptor handle(made);
    const auto fail = [&](int error) {
        ::unlinkat(dir, temporary.constData(), 0);
        throw systemError(QStringLiteral("write"), recordName, error);
    };
    if (!writeAll(handle.get(), bytes) || ::fsync(handle.get()) != 0)
        fail(errno);
    if (::close(handle.release()) != 0)
        fail(errno);
    // The rename replaces the entry under the name itself, whatever it is, and never writes through a
    // link; only a folder cannot be replaced so.
    if (::renameat(dir, temporary.constData(), dir, fileName.constData()) != 0) {
        const int error = errno;
        ::unlinkat(dir, temporary.constData(), 0);
        if (error == EISDIR || error == ENOTEMPTY || error == EEXIST)
            throw UnusableRecordError(CloudKitError::serverRejectedRequest, recordName,
                                      QStringLiteral("the record folder holds a folder under its name, not a "
                                                     "record file"));
        if (error == ENAMETOOLONG)
            throw UnusableRecordError(CloudKitError::serverRejectedRequest, recordName,
                                      QStringLiteral("its name is too long for a file name"));
        throw systemError(QStringLiteral("write"), recordName, error);
    }
}

CloudRecord FolderRecordStore::fetch(const QString& recordName)
{
    folder();
    std::optional<CloudRecord> record = read(recordName);
    if (!record)
        throw unknownItem(recordName);
    return *record;
}

CloudRecord FolderRecordStore::save(const CloudRecord& record)
{
    folder();
    if (record.recordName().isEmpty() || record.recordType().isEmpty())
        throw CloudKitError(CloudKitError::invalidArguments,
                            QStringLiteral("A record needs a type and a name."));
    Found stored = lookup(record.recordName());
    // A link, a FIFO or the like holds no record: a new record replaces it (never what it points to).
    if (stored.unusable && !stored.unusable->replaceable)
        throw UnusableRecordError(stored.unusable->code, record.recordName(), stored.unusable->reason);
    const QString storedTag = stored.record ? stored.record->changeTag() : QString();
    if (record.changeTag() != storedTag)
        throw CloudKitError(CloudKitError::serverRecordChanged,
                            QStringLiteral("The record %1 changed since it was fetched.")
                                .arg(privateValue(record.recordName())));
    if (stored.record && stored.record->sameContent(record))
        return *stored.record;
    CloudRecord saved = record;
    saved.setChangeTag(uuidString(QUuid::createUuid()));
    const QByteArray bytes = encodeRecord(saved);
    if (bytes.size() > maximumRecordBytes)
        throw UnusableRecordError(CloudKitError::limitExceeded, record.recordName(),
                                  QStringLiteral("its record would take %1, over the limit of %2")
                                      .arg(sizeText(bytes.size()), sizeText(maximumRecordBytes)));
    write(saved.recordName(), bytes);
    return saved;
}

void FolderRecordStore::remove(const QString& recordName)
{
    const int dir = folder();
    m_cache.remove(recordName);
    // Removes the entry itself, a link included, never what it points to.
    if (::unlinkat(dir, QFile::encodeName(fileNameOf(recordName)).constData(), 0) == 0)
        return;
    const int error = errno;
    if (error == ENOENT || error == ENAMETOOLONG)
        throw unknownItem(recordName);
    if (error == EISDIR)
        throw UnusableRecordError(CloudKitError::serverRejectedRequest, recordName,
                                  QStringLiteral("the record folder holds a folder under its name, not a "
                                                 "record file"));
    throw systemError(QStringLiteral("delete"), recordName, error);
}

RecordStore::Page FolderRecordStore::query(const QString& recordType, int limit)
{
    folder();
    return listFrom(recordType, QString(), listing(), limit);
}

RecordStore::Page FolderRecordStore::query(const Cursor& cursor, int limit)
{
    folder();
    std::shared_ptr<const QStringList> names = cursor.listing;
    if (!names)
        names = listing();
    return listFrom(cursor.recordType, cursor.after, std::move(names), limit);
}

std::shared_ptr<const QStringList> FolderRecordStore::listing()
{
    // Adding, removing or renaming a file moves the folder's stamp; a change to a file in place does
    // not, and is found by that file's own stamp.
    struct stat folderInfo {};
    std::optional<FileStamp> folderStamp;
    if (::fstat(m_folder, &folderInfo) == 0)
        folderStamp = stampOf<FileStamp>(folderInfo);
    if (m_listing && folderStamp == m_listingStamp)
        return m_listing;
    QStringList names;
    FileDescriptor listed(::openat(m_folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* entries = listed.get() >= 0 ? ::fdopendir(listed.get()) : nullptr;
    if (!entries)
        throw CloudKitError(CloudKitError::internalError,
                            QStringLiteral("Could not list the record folder %1: %2")
                                .arg(privateValue(m_folderPath), QString::fromLocal8Bit(::strerror(errno))));
    listed.release();
    while (const struct dirent* entry = ::readdir(entries)) {
        const char* fileName = entry->d_name;
        if (fileName[0] == '.' || !std::string_view(fileName).ends_with(".record"))
            continue;
        const std::optional<QString> name = recordNameOf(QFile::decodeName(fileName));
        if (!name)
            continue;
        mode_t mode = DTTOIF(entry->d_type);
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            if (::fstatat(m_folder, fileName, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            mode = info.st_mode;
        }
        if (S_ISREG(mode))
            names.append(*name);
        else
            qCWarning(lcFolderRecordStore).noquote()
                << "Passing over" << privateValue(QFile::decodeName(fileName))
                << "in the record folder:" << entryKind(mode) << "is not a record file";
    }
    ::closedir(entries);
    std::sort(names.begin(), names.end());
    // Records of files no longer listed are forgotten; what is known of an entry left unread is kept
    // while its stamp holds, so that it is not logged again at every request.
    m_cache.removeIf([&names](const auto& entry) {
        return !entry.value().unusable && !std::binary_search(names.cbegin(), names.cend(), entry.key());
    });
    auto result = std::make_shared<const QStringList>(std::move(names));
    m_listing = folderStamp && folderStamp->settled() ? result : nullptr;
    m_listingStamp = folderStamp;
    return result;
}

std::optional<QByteArray> FolderRecordStore::changeToken()
{
    const int dir = folder();
    struct stat folderInfo {};
    if (::fstat(dir, &folderInfo) != 0)
        return std::nullopt;
    const FileStamp folderStamp = stampOf<FileStamp>(folderInfo);
    if (!folderStamp.settled())
        return std::nullopt;
    const std::shared_ptr<const QStringList> names = listing();
    fileNamesOf(names);
    QByteArray token;
    token.reserve((m_listingFileNames.size() + 1) * qsizetype(sizeof(FileStamp)));
    const auto append = [&token](const FileStamp& stamp) {
        token.append(reinterpret_cast<const char*>(&stamp), sizeof stamp);
    };
    append(folderStamp);
    for (const QByteArray& fileName : std::as_const(m_listingFileNames)) {
        struct stat info {};
        FileStamp stamp;
        if (::fstatat(dir, fileName.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            stamp = stampOf<FileStamp>(info);
            if (!stamp.settled())
                return std::nullopt;
        }
        append(stamp);
    }
    return token;
}

const QList<QByteArray>& FolderRecordStore::fileNamesOf(const std::shared_ptr<const QStringList>& names)
{
    if (names != m_listingFileNamesOf) {
        m_listingFileNames.clear();
        m_listingFileNames.reserve(names->size());
        for (const QString& name : *names)
            m_listingFileNames.append(QFile::encodeName(fileNameOf(name)));
        m_listingFileNamesOf = names;
    }
    return m_listingFileNames;
}

RecordStore::Changes FolderRecordStore::changesSince(const QByteArray& since)
{
    const int dir = folder();
    const std::shared_ptr<const QStringList> names = listing();
    const QList<QByteArray>& fileNames = fileNamesOf(names);
    Changes changes;
    changes.complete = since.isEmpty() || since != m_answered;
    // Files listed before are looked up by position while the listing stands, by name once it moved.
    const bool sameListing = !changes.complete && names == m_answeredListing;
    QHash<QString, FileStamp> answeredByName;
    if (!changes.complete && !sameListing) {
        answeredByName.reserve(m_answeredListing->size());
        for (qsizetype i = 0; i < m_answeredListing->size(); ++i)
            answeredByName.insert(m_answeredListing->at(i), m_answeredStamps.at(i));
    }
    QList<FileStamp> stamps(names->size());
    for (qsizetype i = 0; i < names->size(); ++i) {
        struct stat info {};
        if (::fstatat(dir, fileNames.at(i).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0)
            stamps[i] = stampOf<FileStamp>(info);
        if (!changes.complete) {
            const QString& name = names->at(i);
            const FileStamp* answered = nullptr;
            if (sameListing)
                answered = &m_answeredStamps.at(i);
            else if (const auto found = answeredByName.constFind(name); found != answeredByName.constEnd())
                answered = &*found;
            const bool unchanged = answered && *answered == stamps[i] && stamps[i] != FileStamp{};
            if (!sameListing)
                answeredByName.remove(name);
            if (unchanged)
                continue;
        }
        // Stamped before the read: a change made meanwhile moves the stamp and is answered next time.
        if (!stamps[i].settled())
            stamps[i] = FileStamp{};
        const QString& name = names->at(i);
        std::optional<CloudRecord> record;
        try {
            record = read(name);
        } catch (const UnusableRecordError&) {
        }
        if (record && mayHoldType(name, record->recordType()))
            changes.records.append(std::move(*record));
        else if (!changes.complete)
            changes.removed.append(name);
    }
    // What was answered before and is no longer listed is gone.
    for (auto gone = answeredByName.constBegin(); gone != answeredByName.constEnd(); ++gone)
        changes.removed.append(gone.key());
    m_answeredListing = names;
    m_answeredStamps = std::move(stamps);
    m_answered = m_answerPrefix + QByteArray::number(++m_answers);
    changes.since = m_answered;
    return changes;
}

RecordStore::Page FolderRecordStore::listFrom(const QString& recordType, const QString& after,
                                              std::shared_ptr<const QStringList> names, int limit)
{
    Page page;
    // The names are listed once per listing; each file is read once, as the walk reaches it, and one
    // removed meanwhile, or left unread, is passed over.
    for (auto name = std::upper_bound(names->cbegin(), names->cend(), after); name != names->cend(); ++name) {
        if (!mayHoldType(*name, recordType))
            continue;
        std::optional<CloudRecord> record;
        try {
            record = read(*name);
        } catch (const UnusableRecordError&) {
            continue;
        }
        if (!record || record->recordType() != recordType)
            continue;
        if (page.records.size() == std::max(limit, 1)) {
            page.cursor = Cursor{recordType, page.records.constLast().recordName(), names};
            break;
        }
        page.records.append(std::move(*record));
    }
    return page;
}

} // namespace morvane
