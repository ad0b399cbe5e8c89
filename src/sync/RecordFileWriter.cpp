#include "sync/RecordFileWriter.h"

#include "foundation/FileDescriptor.h"
#include "foundation/FullTransfer.h"
#include "sync/RecordFileCodec.h"
#include "sync/RecordFolder.h"
#include "sync/RecordTemporaries.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace morvane {

namespace {

UnusableRecordError folderUnderItsName(const QString& recordName)
{
    return UnusableRecordError(CloudKitError::serverRejectedRequest, recordName,
                               QStringLiteral("the record folder holds a folder under its name, not a "
                                              "record file"));
}

} // namespace

RecordFileWriter::RecordFileWriter(const RecordFolder& folder)
    : m_folder(folder)
{
}

void RecordFileWriter::replace(const QString& recordName, const QByteArray& bytes)
{
    const int dir = m_folder.handle();
    const QByteArray fileName = QFile::encodeName(RecordFileCodec::fileNameOf(recordName));
    const QByteArray temporary = RecordTemporaries::newName();
    // Noted before it is made, for an exit of the process while it is written.
    const RecordTemporaries::Writing writing(QFile::encodeName(m_folder.path()) + '/' + temporary);
    if (!writing.admitted())
        throw RecordFolder::systemError(QStringLiteral("write"), recordName, ECANCELED);
    const int made =
        ::openat(dir, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (made < 0)
        throw RecordFolder::systemError(QStringLiteral("write"), recordName, errno);
    FileDescriptor handle(made);
    const auto fail = [&](int error) {
        ::unlinkat(dir, temporary.constData(), 0);
        throw RecordFolder::systemError(QStringLiteral("write"), recordName, error);
    };
    if (!writeFully(handle.get(), bytes.constData(), std::size_t(bytes.size())) || ::fsync(handle.get()) != 0)
        fail(errno);
    if (::close(handle.release()) != 0)
        fail(errno);
    // The rename replaces the entry under the name itself, whatever it is, and never writes through a
    // link; only a folder cannot be replaced so.
    if (::renameat(dir, temporary.constData(), dir, fileName.constData()) != 0) {
        const int error = errno;
        ::unlinkat(dir, temporary.constData(), 0);
        if (error == EISDIR || error == ENOTEMPTY || error == EEXIST)
            throw folderUnderItsName(recordName);
        if (error == ENAMETOOLONG)
            throw UnusableRecordError(CloudKitError::serverRejectedRequest, recordName,
                                      QStringLiteral("its name is too long for a file name"));
        throw RecordFolder::systemError(QStringLiteral("write"), recordName, error);
    }
}

void RecordFileWriter::remove(const QString& recordName)
{
    if (::unlinkat(m_folder.handle(), QFile::encodeName(RecordFileCodec::fileNameOf(recordName)).constData(),
                   0) == 0)
        return;
    const int error = errno;
    if (error == ENOENT || error == ENAMETOOLONG)
        throw RecordFolder::unknownItem(recordName);
    if (error == EISDIR)
        throw folderUnderItsName(recordName);
    throw RecordFolder::systemError(QStringLiteral("delete"), recordName, error);
}

} // namespace morvane
