#include "sync/RecordFolderChanges.h"

#include "sync/RecordFileCodec.h"
#include "sync/RecordFileReader.h"
#include "sync/RecordFolder.h"
#include "sync/RecordFolderListing.h"
#include "sync/RecordNames.h"

#include <QHash>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>

namespace morvane {

RecordFolderChanges::RecordFolderChanges(const RecordFolder& folder, RecordFolderListing& listing,
                                         RecordFileReader& reader)
    : m_folder(folder)
    , m_listing(listing)
    , m_reader(reader)
{
}

void RecordFolderChanges::forget()
{
    m_answered.clear();
    m_answeredListing.reset();
    m_answeredStamps.clear();
}

std::optional<QByteArray> RecordFolderChanges::changeToken()
{
    const int dir = m_folder.handle();
    struct stat folderInfo {};
    if (::fstat(dir, &folderInfo) != 0)
        return std::nullopt;
    const RecordFileStamp folderStamp = RecordFileStamp::of(folderInfo);
    if (!folderStamp.settled())
        return std::nullopt;
    const std::shared_ptr<const RecordNames> names = m_listing.names();
    QByteArray token;
    token.reserve((names->size() + 1) * qsizetype(sizeof(RecordFileStamp)));
    const auto append = [&token](const RecordFileStamp& stamp) {
        token.append(reinterpret_cast<const char*>(&stamp), sizeof stamp);
    };
    append(folderStamp);
    QByteArray fileName;
    for (qsizetype i = 0; i < names->size(); ++i) {
        struct stat info {};
        RecordFileStamp stamp;
        if (::fstatat(dir, names->fileName(i, fileName), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            stamp = RecordFileStamp::of(info);
            if (!stamp.settled())
                return std::nullopt;
        }
        append(stamp);
    }
    return token;
}

RecordStore::Changes RecordFolderChanges::changesSince(const QByteArray& since)
{
    const int dir = m_folder.handle();
    const std::shared_ptr<const RecordNames> names = m_listing.names();
    RecordStore::Changes changes;
    changes.complete = since.isEmpty() || since != m_answered;
    // Files listed before are looked up by position while the listing stands, by name once it moved.
    const bool sameListing = !changes.complete && names == m_answeredListing;
    QHash<QString, RecordFileStamp> answeredByName;
    if (!changes.complete && !sameListing) {
        answeredByName.reserve(m_answeredListing->size());
        for (qsizetype i = 0; i < m_answeredListing->size(); ++i)
            answeredByName.insert(m_answeredListing->at(i), m_answeredStamps.at(i));
    }
    QList<RecordFileStamp> stamps(names->size());
    QByteArray fileName;
    for (qsizetype i = 0; i < names->size(); ++i) {
        struct stat info {};
        if (::fstatat(dir, names->fileName(i, fileName), &info, AT_SYMLINK_NOFOLLOW) == 0)
            stamps[i] = RecordFileStamp::of(info);
        if (!changes.complete) {
            const RecordFileStamp* answered = nullptr;
            if (sameListing) {
                answered = &m_answeredStamps.at(i);
            } else {
                const QString name = names->at(i);
                if (const auto found = answeredByName.constFind(name); found != answeredByName.constEnd()) {
                    answered = &*found;
                    if (*answered == stamps[i] && stamps[i] != RecordFileStamp{}) {
                        answeredByName.erase(found);
                        continue;
                    }
                    answeredByName.erase(found);
                    answered = nullptr;
                }
            }
            if (answered && *answered == stamps[i] && stamps[i] != RecordFileStamp{})
                continue;
        }
        // Stamped before the read: a change made meanwhile moves the stamp and is answered next time.
        if (!stamps[i].settled())
            stamps[i] = RecordFileStamp{};
        const QString name = names->at(i);
        std::optional<CloudRecord> record;
        try {
            record = m_reader.read(name);
        } catch (const UnusableRecordError&) {
        }
        if (record && RecordFileCodec::mayHoldType(name, record->recordType())) {
            changes.records.append(std::move(*record));
            changes.versions.append(stamps[i] == RecordFileStamp{} ? QByteArray() : stamps[i].bytes());
        } else if (!changes.complete)
            changes.removed.append(name);
    }
    // What was answered before and is no longer listed is gone.
    for (auto gone = answeredByName.constBegin(); gone != answeredByName.constEnd(); ++gone)
        changes.removed.append(gone.key());
    m_answeredListing = names;
    m_answeredStamps = std::move(stamps);
    m_answered = m_answerPrefix + QByteArray::number(++m_answers);
    changes.since = m_answered;
    changes.place = m_folder.identity();
    return changes;
}

RecordStore::Changes RecordFolderChanges::changesFrom(const QByteArray& place,
                                                      const QHash<QString, QByteArray>& versions)
{
    if (place.isEmpty() || place != m_folder.identity())
        return changesSince({});
    // As if those versions had been answered last, for the files listed now; those no longer listed are
    // answered as gone.
    const std::shared_ptr<const RecordNames> names = m_listing.names();
    QList<RecordFileStamp> stamps;
    stamps.reserve(names->size());
    qsizetype known = 0;
    for (qsizetype i = 0; i < names->size(); ++i) {
        const auto version = versions.constFind(names->at(i));
        known += version != versions.constEnd();
        stamps.append(version != versions.constEnd() ? RecordFileStamp::fromBytes(*version)
                                                     : RecordFileStamp{});
    }
    QStringList gone;
    if (known != versions.size()) {
        for (auto version = versions.constBegin(); version != versions.constEnd(); ++version) {
            if (!names->contains(version.key()))
                gone.append(version.key());
        }
    }
    m_answeredListing = names;
    m_answeredStamps = std::move(stamps);
    m_answered = m_answerPrefix + QByteArray::number(++m_answers);
    RecordStore::Changes changes = changesSince(m_answered);
    changes.removed += gone;
    return changes;
}

} // namespace morvane
