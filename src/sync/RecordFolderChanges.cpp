#include "sync/RecordFolderChanges.h"

#include "sync/ListedRecordDecoder.h"
#include "sync/RecordFileCodec.h"
#include "sync/RecordFileReader.h"
#include "sync/RecordFolder.h"
#include "sync/RecordFolderListing.h"
#include "sync/RecordNames.h"
#include "sync/RecordVersions.h"

#include <QHash>

#include <algorithm>
#include <vector>

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
    m_answeredStamps.release();
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

RecordStore::Changes RecordFolderChanges::changesSince(const QByteArray& since, RecordStore::RecordSink* sink)
{
    const int dir = m_folder.handle();
    const std::shared_ptr<const RecordNames> names = m_listing.names();
    RecordStore::Changes changes;
    changes.complete = since.isEmpty() || since != m_answered;
    // Every file is read for a complete answer: each is decoded and taken in by the sink while the next
    // is read.
    std::optional<ListedRecordDecoder> decoder;
    if (sink && changes.complete)
        decoder.emplace(*sink);
    if (sink)
        sink->answering(changes.complete);
    if (decoder)
        sink->listedFrom(names);
    // Files listed before are looked up by position while the listing stands; once it moved, the two
    // listings are walked side by side (both are sorted), and a name passed over in the one answered
    // before is gone.
    const bool sameListing = !changes.complete && names == m_answeredListing;
    const bool walkAnswered = !changes.complete && !sameListing;
    qsizetype answeredAt = 0;
    QStringList gone;
    MappedArray<quint64> stamps;
    stamps.resize(std::size_t(names->size()));
    QByteArray fileName, nameBuffer, answeredBuffer;
    for (qsizetype i = 0; i < names->size(); ++i) {
        if (decoder) {
            answerListed(i, *names, fileName, stamps[std::size_t(i)], *decoder);
            continue;
        }
        struct stat info {};
        RecordFileStamp stamp;
        const bool found = ::fstatat(dir, names->fileName(i, fileName), &info, AT_SYMLINK_NOFOLLOW) == 0;
        if (found)
            stamp = RecordFileStamp::of(info);
        stamps[std::size_t(i)] = stamp.digest();
        if (!changes.complete) {
            quint64 answered = 0;
            if (sameListing) {
                answered = m_answeredStamps[std::size_t(i)];
            } else if (walkAnswered) {
                const QByteArrayView name = names->utf8(i, nameBuffer);
                for (; answeredAt < m_answeredListing->size(); ++answeredAt) {
                    const int order =
                        RecordNames::compare(m_answeredListing->utf8(answeredAt, answeredBuffer), name);
                    if (order > 0)
                        break;
                    if (order == 0) {
                        answered = m_answeredStamps[std::size_t(answeredAt++)];
                        break;
                    }
                    gone.append(m_answeredListing->at(answeredAt));
                }
            }
            if (answered != 0 && answered == stamps[std::size_t(i)])
                continue;
        }
        // Stamped before the read: a change made meanwhile moves the stamp and is answered next time.
        if (!stamp.settled()) {
            stamp = RecordFileStamp{};
            stamps[std::size_t(i)] = 0;
        }
        const QString name = names->at(i);
        std::optional<CloudRecord> record;
        try {
            // The entry just looked up is read as it was found; one that could not be looked up is
            // looked up again by the reader, which tells why.
            record = found ? m_reader.readListed(name, fileName, info) : m_reader.read(name);
        } catch (const UnusableRecordError&) {
        }
        if (record && RecordFileCodec::mayHoldType(name, record->recordType())) {
            QByteArray version = stamp == RecordFileStamp{} ? QByteArray() : stamp.bytes();
            if (sink) {
                sink->take(std::move(*record), std::move(version));
            } else {
                changes.records.append(std::move(*record));
                changes.versions.append(std::move(version));
            }
        } else if (!changes.complete)
            changes.removed.append(name);
    }
    // What was answered before and is no longer listed is gone.
    if (walkAnswered) {
        for (; answeredAt < m_answeredListing->size(); ++answeredAt)
            gone.append(m_answeredListing->at(answeredAt));
    }
    changes.removed += gone;
    if (decoder) {
        for (const ListedRecordDecoder::NotARecord& file : decoder->finish())
            m_reader.keepNotARecord(file.recordName, file.fileName, file.stamp);
    }
    m_answeredListing = names;
    m_answeredStamps = std::move(stamps);
    m_answered = m_answerPrefix + QByteArray::number(++m_answers);
    changes.since = m_answered;
    changes.place = m_folder.identity();
    return changes;
}

void RecordFolderChanges::answerListed(qsizetype i, const RecordNames& names, QByteArray& fileName,
                                       quint64& stampDigest, ListedRecordDecoder& decoder)
{
    const QString name = names.at(i);
    RecordFileReader::Opened opened = m_reader.readListedBytes(name, names.fileName(i, fileName));
    RecordFileStamp stamp = opened.stamp;
    std::optional<RecordFileReader::Listed> listed = std::move(opened.listed);
    if (!opened.opened) {
        // Gone since it was listed, or not a file that opens: looked up, and read as the reader finds it.
        struct stat info {};
        if (::fstatat(m_folder.handle(), fileName.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0)
            stamp = RecordFileStamp::of(info);
        try {
            if (std::optional<CloudRecord> record = m_reader.read(name))
                listed = RecordFileReader::Listed{QByteArray(), std::move(record), RecordFileStamp()};
        } catch (const UnusableRecordError&) {
        }
    }
    // Stamped before the read: a change made meanwhile moves the stamp and is answered next time. A stamp
    // too fresh to trust is neither kept nor given as the record's version.
    const bool trusted = stamp.settled();
    stampDigest = trusted ? stamp.digest() : 0;
    if (listed)
        decoder.hand({name, fileName, std::move(*listed), trusted ? stamp.bytes() : QByteArray()});
}

RecordStore::Changes RecordFolderChanges::changesFrom(const QByteArray& place, const RecordVersions& versions,
                                                      RecordStore::RecordSink* sink)
{
    if (place.isEmpty() || place != m_folder.identity())
        return changesSince({}, sink);
    // As if those versions had been answered last, for the files listed now; those no longer listed are
    // answered as gone.
    const std::shared_ptr<const RecordNames> names = m_listing.names();
    MappedArray<quint64> stamps;
    stamps.resize(std::size_t(names->size()));
    std::vector<bool> listed(std::size_t(versions.size()));
    qsizetype found = -1;
    QByteArray buffer;
    for (qsizetype i = 0; i < names->size(); ++i) {
        if (const std::optional<qsizetype> at = versions.find(names->utf8(i, buffer), found)) {
            found = *at;
            listed[std::size_t(found)] = true;
            stamps[std::size_t(i)] = RecordFileStamp::fromBytes(versions.version(found)).digest();
        }
    }
    QStringList gone;
    for (qsizetype i = 0; i < versions.size(); ++i) {
        if (!listed[std::size_t(i)])
            gone.append(QString::fromUtf8(versions.name(i)));
    }
    m_answeredListing = names;
    m_answeredStamps = std::move(stamps);
    m_answered = m_answerPrefix + QByteArray::number(++m_answers);
    RecordStore::Changes changes = changesSince(m_answered, sink);
    changes.removed += gone;
    return changes;
}

} // namespace morvane
