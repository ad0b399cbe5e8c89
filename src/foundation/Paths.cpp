#include "Paths.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace morvane {

namespace {
QString xdgBase(const char* variable, const QString& fallbackBelowHome)
{
    const QString base = qEnvironmentVariable(variable);
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        return QDir::homePath() + fallbackBelowHome;
    return base;
}
} // namespace

QString configHome()
{
    return xdgBase("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString configDirectory()
{
    return configHome() + QStringLiteral("/Morvane");
}

QString dataHome()
{
    return xdgBase("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

QString dataDirectory()
{
    return dataHome() + QStringLiteral("/Morvane");
}

std::optional<QString> ensurePrivateDirectory(const QString& path)
{
    if (!QDir().mkpath(path))
        return QStringLiteral("Could not create the folder ") + path;
    // A folder that is there already may still refuse: one left behind by a run as another user, say.
    if (::chmod(QFile::encodeName(path).constData(), S_IRWXU) != 0) {
        const int error = errno;
        return QStringLiteral("Could not make the folder %1 private: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(error)));
    }
    return std::nullopt;
}

} // namespace morvane
