#include "sync/RecordFolder.h"

#include "foundation/FileDescriptor.h"
#include "foundation/Logging.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane {

RecordFolder::RecordFolder(QString path)
    : m_path(std::move(path))
{
}

RecordFolder::~RecordFolder()
{
    close();
}

void RecordFolder::close()
{
    if (m_handle >= 0)
        ::close(m_handle);
    m_handle = -1;
}

RecordFolder::Opened RecordFolder::open()
{
    // The path is looked up each time (following a link into a shared folder), as the absence of the
    // folder is the absence of an account; the folder opened before serves while the path still names
    // it.
    const QByteArray path = QFile::encodeName(m_path);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        close();
        throw CloudKitError(CloudKitError::notAuthenticated,
                            QStringLiteral("The record folder is not there: no account is signed in."));
    }
    if (m_handle >= 0 && quint64(info.st_dev) == m_device && quint64(info.st_ino) == m_inode)
        return Opened::same;
    close();
    FileDescriptor opened(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat openedInfo {};
    if (opened.get() < 0 || ::fstat(opened.get(), &openedInfo) != 0)
        throw CloudKitError(CloudKitError::internalError,
                            QStringLiteral("Could not open the record folder %1: %2")
                                .arg(privateValue(m_path), QString::fromLocal8Bit(::strerror(errno))));
    m_device = quint64(openedInfo.st_dev);
    m_inode = quint64(openedInfo.st_ino);
    m_handle = opened.release();
    return Opened::anew;
}

QByteArray RecordFolder::identity() const
{
    if (m_handle < 0)
        return {};
    return QByteArray::number(m_device) + ':' + QByteArray::number(m_inode);
}

CloudKitError RecordFolder::unknownItem(const QString& recordName)
{
    return CloudKitError(CloudKitError::unknownItem,
                         QStringLiteral("Record not found: %1").arg(privateValue(recordName)));
}

CloudKitError RecordFolder::systemError(const QString& what, const QString& recordName, int error)
{
    return CloudKitError(CloudKitError::internalError,
                         QStringLiteral("Could not %1 the record %2: %3")
                             .arg(what, privateValue(recordName), QString::fromLocal8Bit(::strerror(error))));
}

} // namespace morvane
