#include "sync/FolderRecordStore.h"

#include "foundation/IsoDate.h"
#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "foundation/Uuid.h"
#include "sync/CloudKitSyncService.h"
#include "sync/RecordFormats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <algorithm>

#include <sys/stat.h>
#include <time.h>

MORVANE_LOGGING_CATEGORY(lcFolderRecordStore, "FolderRecordStore");

namespace morvane {

namespace {

using nlohmann::ordered_json;

const QString fileSuffix = QStringLiteral(".record");

// Record names become file names with every byte outside letters, digits, "-" and "_" percent-encoded,
// so no name can climb out of the folder, hide itself behind a leading "." or clash with a temporary
// file of QSaveFile.
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

} // namespace

FolderRecordStore::FolderRecordStore(QString folderPath)
    : m_folderPath(std::move(folderPath))
{
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

QString FolderRecordStore::filePath(const QString& recordName) const
{
    return m_folderPath + u'/' + fileNameOf(recordName);
}

void FolderRecordStore::requireFolder() const
{
    if (!QFileInfo(m_folderPath).isDir())
        throw CloudKitError(CloudKitError::notAuthenticated,
                            QStringLiteral("The record folder is not there: no account is signed in."));
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

template <class Stamp> std::optional<Stamp> stampFrom(int status, const struct stat& info)
{
    if (status != 0)
        return std::nullopt;
    return Stamp{qint64(info.st_size), nanoseconds(info.st_mtim), nanoseconds(info.st_ctim),
                 quint64(info.st_ino)};
}

} // namespace

std::optional<FolderRecordStore::FileStamp> FolderRecordStore::stampOfPath(const QByteArray& path)
{
    struct stat info {};
    return stampFrom<FileStamp>(::stat(path.constData(), &info), info);
}

std::optional<FolderRecordStore::FileStamp> FolderRecordStore::stampOfHandle(int handle)
{
    struct stat info {};
    return stampFrom<FileStamp>(::fstat(handle, &info), info);
}

bool FolderRecordStore::FileStamp::settled() const
{
    return modifiedNs + unsettledNs < nowNs();
}

std::optional<CloudRecord> FolderRecordStore::read(const QString& recordName)
{
    if (const auto cached = m_cache.constFind(recordName); cached != m_cache.constEnd()) {
        if (stampOfPath(cached->path) == cached->stamp)
            return cached->record;
    }
    return readFile(recordName);
}

std::optional<CloudRecord> FolderRecordStore::readFile(const QString& recordName)
{
    m_cache.remove(recordName);
    QFile file(filePath(recordName));
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        throw CloudKitError(CloudKitError::internalError,
                            QStringLiteral("Could not read the record %1: %2")
                                .arg(privateValue(recordName), file.errorString()));
    // Stamped before reading: a change made while the file is read moves the stamp, and the next read
    // takes the file again.
    const std::optional<FileStamp> stamp = stampOfHandle(file.handle());
    std::optional<CloudRecord> record = decodeRecord(file.readAll(), m_words);
    if (!record || record->recordName() != recordName) {
        qCWarning(lcFolderRecordStore)
            << "Ignoring a record file that does not hold its record:" << privateValue(file.fileName());
        record.reset();
    }
    if (stamp && stamp->settled())
        m_cache.insert(recordName, CachedFile{*stamp, QFile::encodeName(file.fileName()), record});
    return record;
}

void FolderRecordStore::write(const CloudRecord& record)
{
    m_cache.remove(record.recordName());
    QSaveFile file(filePath(record.recordName()));
    const QByteArray bytes = encodeRecord(record);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw CloudKitError(CloudKitError::internalError,
                            QStringLiteral("Could not write the record %1: %2")
                                .arg(privateValue(record.recordName()), file.errorString()));
}

CloudRecord FolderRecordStore::fetch(const QString& recordName)
{
    requireFolder();
    std::optional<CloudRecord> record = read(recordName);
    if (!record)
        throw unknownItem(recordName);
    return *record;
}

CloudRecord FolderRecordStore::save(const CloudRecord& record)
{
    requireFolder();
    if (record.recordName().isEmpty() || record.recordType().isEmpty())
        throw CloudKitError(CloudKitError::invalidArguments,
                            QStringLiteral("A record needs a type and a name."));
    const std::optional<CloudRecord> stored = read(record.recordName());
    const QString storedTag = stored ? stored->changeTag() : QString();
    if (record.changeTag() != storedTag)
        throw CloudKitError(CloudKitError::serverRecordChanged,
                            QStringLiteral("The record %1 changed since it was fetched.")
                                .arg(privateValue(record.recordName())));
    if (stored && stored->sameContent(record))
        return *stored;
    CloudRecord saved = record;
    saved.setChangeTag(uuidString(QUuid::createUuid()));
    write(saved);
    return saved;
}

void FolderRecordStore::remove(const QString& recordName)
{
    requireFolder();
    m_cache.remove(recordName);
    QFile file(filePath(recordName));
    if (!file.exists())
        throw unknownItem(recordName);
    if (!file.remove())
        throw CloudKitError(CloudKitError::internalError,
                            QStringLiteral("Could not delete the record %1: %2")
                                .arg(privateValue(recordName), file.errorString()));
}

RecordStore::Page FolderRecordStore::query(const QString& recordType, int limit)
{
    requireFolder();
    return listFrom(recordType, QString(), listing(), limit);
}

RecordStore::Page FolderRecordStore::query(const Cursor& cursor, int limit)
{
    requireFolder();
    std::shared_ptr<const QStringList> names = cursor.listing;
    if (!names)
        names = listing();
    return listFrom(cursor.recordType, cursor.after, std::move(names), limit);
}

std::shared_ptr<const QStringList> FolderRecordStore::listing()
{
    // Adding, removing or renaming a file moves the folder's stamp; a change to a file in place does
    // not, and is found by that file's own stamp.
    const std::optional<FileStamp> folderStamp = stampOfPath(QFile::encodeName(m_folderPath));
    if (m_listing && folderStamp == m_listingStamp)
        return m_listing;
    QStringList names;
    const QStringList files = QDir(m_folderPath).entryList({u'*' + fileSuffix}, QDir::Files, QDir::Unsorted);
    for (const QString& fileName : files) {
        if (std::optional<QString> name = recordNameOf(fileName))
            names.append(*name);
    }
    std::sort(names.begin(), names.end());
    // Records of files no longer listed are forgotten.
    m_cache.removeIf([&names](const auto& entry) {
        return !std::binary_search(names.cbegin(), names.cend(), entry.key());
    });
    auto listed = std::make_shared<const QStringList>(std::move(names));
    m_listing = folderStamp && folderStamp->settled() ? listed : nullptr;
    m_listingStamp = folderStamp;
    return listed;
}

RecordStore::Page FolderRecordStore::listFrom(const QString& recordType, const QString& after,
                                              std::shared_ptr<const QStringList> names, int limit)
{
    Page page;
    // The names are listed once per listing; each file is read once, as the walk reaches it, and one
    // removed meanwhile is passed over.
    for (auto name = std::upper_bound(names->cbegin(), names->cend(), after); name != names->cend(); ++name) {
        if (!mayHoldType(*name, recordType))
            continue;
        std::optional<CloudRecord> record = read(*name);
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
