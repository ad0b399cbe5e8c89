#include "Paths.h"

#include <QDir>
#include <QFile>

namespace morvane {

namespace {
QString xdgDirectory(const char* variable, const QString& fallbackBelowHome)
{
    QString base = qEnvironmentVariable(variable);
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + fallbackBelowHome;
    return base + QStringLiteral("/Morvane");
}
} // namespace

QString configDirectory()
{
    return xdgDirectory("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString dataDirectory()
{
    return xdgDirectory("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

bool ensurePrivateDirectory(const QString& path)
{
    if (!QDir().mkpath(path))
        return false;
    return QFile::setPermissions(path,
                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace morvane
