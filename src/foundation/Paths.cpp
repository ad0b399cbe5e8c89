#include "Paths.h"

#include <QDir>
#include <QFile>

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

bool ensurePrivateDirectory(const QString& path)
{
    if (!QDir().mkpath(path))
        return false;
    return QFile::setPermissions(path,
                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace morvane
