#include "OwnFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace morvane {

OwnFile openOwnRegularFile(const QByteArray& path)
{
    OwnFile file;
    const int descriptor =
        ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) {
        if (errno == ELOOP)
            file.refusal = QStringLiteral("a symbolic link");
        else if (errno != ENOENT)
            file.refusal = QString::fromLocal8Bit(std::strerror(errno));
        return file;
    }
    if (::fstat(descriptor, &file.status) != 0)
        file.refusal = QString::fromLocal8Bit(std::strerror(errno));
    else if (!S_ISREG(file.status.st_mode))
        file.refusal = QStringLiteral("not a regular file");
    else if (file.status.st_uid != ::geteuid())
        file.refusal = QStringLiteral("another user's file");
    else if ((file.status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        file.refusal = QStringLiteral("others may write it");
    if (!file.refusal.isEmpty()) {
        ::close(descriptor);
        return file;
    }
    file.descriptor = descriptor;
    return file;
}

} // namespace morvane
