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

// Makes the desktop send morvane: links to this copy of the application. An installed package's menu
// entry takes the scheme itself; without one, a hidden desktop entry for the scheme in the user's
// applications folder does. Either is named the scheme's default handler.
class UrlSchemeRegistration {
public:
    explicit UrlSchemeRegistration(std::shared_ptr<ProcessLauncher> launcher);

    // $XDG_DATA_HOME/applications/morvane.desktop.
    static QString desktopFilePath();
    // The entry's Exec line for the program, quoted as desktop entries require.
    static QString execLine(const QString& executable);

    // Without a system entry for the scheme, writes the user's entry when it is missing, or makes one
    // Morvane wrote start this program (an entry of anyone else is left alone); with one, removes a
    // hidden entry of ours that would hide it. Then asks xdg-mime to make morvane.desktop the
    // default only when it is not already. Main thread; never throws (failures are logged). The
    // registration object may be gone before the task ends.
    QCoro::Task<> registerScheme(QString executable);

private:
    static bool writeDesktopFileIfNeeded(const QString& executable);

    std::shared_ptr<ProcessLauncher> m_launcher;
};

} // namespace morvane
