#include "Updater.h"

#include "foundation/Logging.h"
#include "platform/AlertPresenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

MORVANE_LOGGING_CATEGORY(lcUpdater, "Sparkle")

namespace morvane {

namespace {

// Whether the package's file list names the path, one path per line.
bool packageHolds(const QString& listPath, const QString& path)
{
    QFile list(listPath);
    if (!list.open(QIODevice::ReadOnly))
        return false;
    const QByteArray wanted = QFile::encodeName(path);
    while (!list.atEnd()) {
        if (list.readLine().trimmed() == wanted)
            return true;
    }
    return false;
}

// A build folder's CMakeCache.txt within a few folders above the program (build/src/app/morvane).
bool inBuildFolder(const QString& executablePath)
{
    QDir folder = QFileInfo(executablePath).absoluteDir();
    for (int level = 0; level < 4; ++level) {
        if (folder.exists(QStringLiteral("CMakeCache.txt")))
            return true;
        if (!folder.cdUp())
            break;
    }
    return false;
}

} // namespace

Updater::Updater(std::shared_ptr<AlertPresenter> alerts, Installation installation)
    : m_alerts(std::move(alerts))
    , m_installation(installation)
{
}

Installation Updater::installationOf(const QString& executablePath, const QString& dpkgInfoFolder)
{
    const QString canonical = QFileInfo(executablePath).canonicalFilePath();
    // dpkg lists /usr/bin/morvane; a merged /usr makes it reachable as /bin/morvane too.
    for (const QString& path : {executablePath, canonical}) {
        if (!path.isEmpty() && packageHolds(dpkgInfoFolder + QStringLiteral("/morvane.list"), path))
            return Installation::package;
    }
    return inBuildFolder(canonical.isEmpty() ? executablePath : canonical) ? Installation::buildFolder
                                                                           : Installation::other;
}

Installation Updater::runningInstallation()
{
    return installationOf(QCoreApplication::applicationFilePath());
}

QString Updater::updateSourceText() const
{
    switch (m_installation) {
    case Installation::package:
        return QStringLiteral("Updates for Morvane come from the package manager that installed it.");
    case Installation::buildFolder:
        return QStringLiteral("This copy of Morvane runs from a build folder: `git pull` and `scripts/run` "
                              "in its source folder update it.");
    case Installation::other:
        break;
    }
    return QStringLiteral("This copy of Morvane was not installed from a package: updates come from "
                          "wherever it was built or copied from.");
}

void Updater::checkForUpdates() const
{
    // Every start of a check says it; nothing a user needs to see in the log.
    qCDebug(lcUpdater) << "Sparkle updater controller is not available.";
    // Without a word the menu item would seem to do nothing at all.
    if (m_alerts)
        m_alerts->present(Alert{Alert::Style::informational,
                                QStringLiteral("Morvane does not check for updates itself."),
                                updateSourceText(),
                                {}});
}

} // namespace morvane
