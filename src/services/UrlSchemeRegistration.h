#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <QStringList>

#include <memory>

namespace morvane {

class ProcessLauncher;

// The arguments that are morvane: URLs (the scheme in any letter case), in order; the rest is not
// ours to handle and is dropped without a word.
QStringList morvaneUrls(const QStringList& arguments);

// Makes the desktop send morvane: links to this copy of the application: a hidden desktop entry for
// the scheme in the user's applications folder, named the scheme's default handler.
class UrlSchemeRegistration {
public:
    explicit UrlSchemeRegistration(std::shared_ptr<ProcessLauncher> launcher);

    // $XDG_DATA_HOME/applications/morvane.desktop.
    static QString desktopFilePath();
    // The entry's Exec line for the program, quoted as desktop entries require.
    static QString execLine(const QString& executable);

    // Writes the entry when it is missing or starts another program, then asks xdg-mime to make it
    // the default only when it is not already. Main thread; never throws (failures are logged). The
    // registration object may be gone before the task ends.
    QCoro::Task<> registerScheme(QString executable);

private:
    static bool writeDesktopFileIfNeeded(const QString& executable);

    std::shared_ptr<ProcessLauncher> m_launcher;
};

} // namespace morvane
