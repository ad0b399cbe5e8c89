#pragma once

#include <QString>

#include <memory>

namespace morvane {

class AlertPresenter;

// How the running copy came to be, which decides where its updates come from.
enum class Installation {
    package,     // a file of an installed Debian package: the package manager updates it
    buildFolder, // a build folder of a source checkout: `git pull` and `scripts/run` update it
    other,       // copied or installed by hand
};

// The update check. Updates come from the package manager or the source checkout, so there is no
// updater here: it reports itself unavailable, and a check tells the user where updates come from.
class Updater {
public:
    explicit Updater(std::shared_ptr<AlertPresenter> alerts, Installation installation = Installation::other);

    // The running program's installation: a package when dpkg's file list of the package names it
    // (the folder is for tests), a build folder when CMake's cache lies in a folder above it.
    static Installation installationOf(const QString& executablePath,
                                       const QString& dpkgInfoFolder = QStringLiteral("/var/lib/dpkg/info"));
    static Installation runningInstallation();

    bool isAvailable() const { return false; }
    Installation installation() const { return m_installation; }
    // Where this copy's updates come from, as the Updates page and the check say it.
    QString updateSourceText() const;
    void checkForUpdates() const;

private:
    std::shared_ptr<AlertPresenter> m_alerts;
    Installation m_installation;
};

} // namespace morvane
