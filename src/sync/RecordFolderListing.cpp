#include "sync/RecordFolderListing.h"

#include "foundation/FileDescriptor.h"
#include "foundation/Logging.h"
#include "sync/RecordFileCodec.h"
#include "sync/RecordFileReader.h"
#include "sync/RecordFolder.h"
#include "sync/RecordTemporaries.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcFolderRecordStore)

namespace morvane {

RecordFolderListing::RecordFolderListing(const RecordFolder& folder, RecordFileReader& reader)
    : m_folder(folder)
    , m_reader(reader)
{
}

void RecordFolderListing::forget()
{
    m_names.reset();
    m_stamp.reset();
}

std::shared_ptr<const RecordNames> RecordFolderListing::names()
{
    struct stat folderInfo {};
    std::optional<RecordFileStamp> folderStamp;
    if (::fstat(m_folder.handle(), &folderInfo) == 0)
        folderStamp = RecordFileStamp::of(folderInfo);
    if (m_names && folderStamp == m_stamp)
        return m_names;
    auto result = list();
    m_reader.keepListed(*result);
    m_names = folderStamp && folderStamp->settled() ? result : nullptr;
    m_stamp = folderStamp;
    return result;
}

std::shared_ptr<const RecordNames> RecordFolderListing::list() const
{
    const int dir = m_folder.handle();
    // The names as they come, in one buffer: a string for each would be held until the sort, and a
    // large folder's listing would leave the thread's heap in pieces.
    MappedArray<char> bytes;
    MappedArray<quint32> ends;
    FileDescriptor opened(::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* entries = opened.get() >= 0 ? ::fdopendir(opened.get()) : nullptr;
    if (!entries)
        throw CloudKitError(
            CloudKitError::internalError,
            QStringLiteral("Could not list the record folder %1: %2")
                .arg(privateValue(m_folder.path()), QString::fromLocal8Bit(::strerror(errno))));
    opened.release();
    while (const struct dirent* entry = ::readdir(entries)) {
        const char* fileName = entry->d_name;
        if (fileName[0] == '.') {
            // No write of ours is under way while the folder is listed: one of our temporaries was left
            // by a crash.
            if (RecordTemporaries::isOurs(fileName))
                ::unlinkat(dir, fileName, 0);
            continue;
        }
        if (!std::string_view(fileName).ends_with(RecordFileCodec::fileSuffix))
            continue;
        const std::optional<QString> name = RecordFileCodec::recordNameOf(QFile::decodeName(fileName));
        if (!name)
            continue;
        mode_t mode = DTTOIF(entry->d_type);
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            if (::fstatat(dir, fileName, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            mode = info.st_mode;
        }
        if (S_ISREG(mode)) {
            const QByteArray utf8 = name->toUtf8();
            bytes.append(utf8.constData(), std::size_t(utf8.size()));
            ends.push_back(quint32(bytes.size()));
        } else {
            qCWarning(lcFolderRecordStore).noquote()
                << "Passing over" << privateValue(QFile::decodeName(fileName))
                << "in the record folder:" << RecordFileStamp::entryKind(mode) << "is not a record file";
        }
    }
    ::closedir(entries);
    return std::make_shared<const RecordNames>(bytes, ends);
}

} // namespace morvane
