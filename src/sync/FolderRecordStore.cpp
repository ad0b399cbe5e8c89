#include "sync/FolderRecordStore.h"

#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "foundation/Uuid.h"

#include <QFileInfo>

#include <algorithm>

MORVANE_LOGGING_CATEGORY(lcFolderRecordStore, "FolderRecordStore");

namespace morvane {

FolderRecordStore::FolderRecordStore(QString folderPath)
    : m_folder(std::move(folderPath))
{
}

FolderRecordStore::~FolderRecordStore() = default;

QString FolderRecordStore::defaultFolderPath()
{
    return dataDirectory() + QStringLiteral("/CloudRecords");
}

RecordStore::AccountStatus FolderRecordStore::accountStatus()
{
    const QFileInfo folder(m_folder.path()); // follows a link into a shared folder
    if (folder.isDir())
        return AccountStatus::available;
    if (!folder.exists())
        return AccountStatus::noAccount;
    return AccountStatus::couldNotDetermine;
}

void FolderRecordStore::openFolder()
{
    RecordFolder::Opened opened = RecordFolder::Opened::same;
    try {
        opened = m_folder.open();
    } catch (const CloudKitError&) {
        forgetFolder();
        throw;
    }
    if (opened == RecordFolder::Opened::anew)
        forgetFolder();
}

void FolderRecordStore::forgetFolder()
{
    m_reader.forgetAll();
    m_listing.forget();
    m_changes.forget();
}

CloudRecord FolderRecordStore::fetch(const QString& recordName)
{
    openFolder();
    std::optional<CloudRecord> record = m_reader.read(recordName);
    if (!record)
        throw RecordFolder::unknownItem(recordName);
    return *record;
}

CloudRecord FolderRecordStore::save(const CloudRecord& record)
{
    openFolder();
    if (record.recordName().isEmpty() || record.recordType().isEmpty())
        throw CloudKitError(CloudKitError::invalidArguments,
                            QStringLiteral("A record needs a type and a name."));
    RecordFileReader::Found stored = m_reader.lookup(record.recordName());
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
    const QByteArray bytes = RecordFileCodec::encode(saved);
    if (bytes.size() > maximumRecordBytes)
        throw UnusableRecordError(
            CloudKitError::limitExceeded, record.recordName(),
            QStringLiteral("its record would take %1, over the limit of %2")
                .arg(RecordFileCodec::sizeText(bytes.size()), RecordFileCodec::sizeText(maximumRecordBytes)));
    m_reader.forget(saved.recordName());
    m_writer.replace(saved.recordName(), bytes);
    return saved;
}

void FolderRecordStore::remove(const QString& recordName)
{
    openFolder();
    m_reader.forget(recordName);
    m_writer.remove(recordName);
}

RecordStore::Page FolderRecordStore::query(const QString& recordType, int limit)
{
    openFolder();
    return listFrom(recordType, QString(), m_listing.names(), limit);
}

RecordStore::Page FolderRecordStore::query(const Cursor& cursor, int limit)
{
    openFolder();
    std::shared_ptr<const RecordNames> names = cursor.listing;
    if (!names)
        names = m_listing.names();
    return listFrom(cursor.recordType, cursor.after, std::move(names), limit);
}

std::optional<QByteArray> FolderRecordStore::changeToken()
{
    openFolder();
    return m_changes.changeToken();
}

RecordStore::Changes FolderRecordStore::changesSince(const QByteArray& since)
{
    openFolder();
    return m_changes.changesSince(since);
}

RecordStore::Changes FolderRecordStore::changesFrom(const QByteArray& place, const RecordVersions& versions)
{
    openFolder();
    return m_changes.changesFrom(place, versions);
}

RecordStore::Changes FolderRecordStore::streamChangesSince(const QByteArray& since, RecordSink& sink)
{
    openFolder();
    return m_changes.changesSince(since, &sink);
}

RecordStore::Changes FolderRecordStore::streamChangesFrom(const QByteArray& place,
                                                          const RecordVersions& versions, RecordSink& sink)
{
    openFolder();
    return m_changes.changesFrom(place, versions, &sink);
}

RecordStore::Page FolderRecordStore::listFrom(const QString& recordType, const QString& after,
                                              std::shared_ptr<const RecordNames> names, int limit)
{
    Page page;
    // The names are listed once per listing; each file is read once, as the walk reaches it, and one
    // removed meanwhile, or left unread, is passed over.
    for (qsizetype index = names->upperBound(after); index < names->size(); ++index) {
        const QString name = names->at(index);
        if (!RecordFileCodec::mayHoldType(name, recordType))
            continue;
        std::optional<CloudRecord> record;
        try {
            record = m_reader.read(name);
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
