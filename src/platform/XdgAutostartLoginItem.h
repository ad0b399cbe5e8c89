#pragma once

#include "platform/LoginItem.h"

#include <QString>

namespace morvane {

// The login item as the desktop's autostart folder holds it: a desktop entry named morvane.desktop
// in $XDG_CONFIG_HOME/autostart that starts the running program by its absolute path. It is
// enabled while that file exists, starts this very program and has not been switched off by the
// desktop (Hidden, X-GNOME-Autostart-enabled); an entry left by a copy of the program elsewhere
// counts as not registered, and registering replaces it.
class XdgAutostartLoginItem : public LoginItem {
public:
    // The running program, in the autostart folder of the current environment.
    XdgAutostartLoginItem();
    XdgAutostartLoginItem(QString executablePath, QString autostartDirectory);

    LoginItemStatus status() const override;
    void registerItem() override;
    void unregisterItem() override;

    // An entry Morvane wrote for a copy of the program elsewhere (a build folder) is made to start
    // this one, the rest of it kept (a desktop's switch that turned it off too); an entry of anyone
    // else is left alone. Returns whether the entry was rewritten.
    bool followRunningProgram();

    QString filePath() const;
    // The desktop entry this item writes.
    QByteArray desktopEntry() const;

    // The Exec value that starts the program with this path: quoted as desktop entries require
    // when the path holds a reserved character, with "%" doubled and the value's own escapes.
    static QString execValue(const QString& executablePath);

private:
    bool executableExists() const;

    QString m_executablePath;
    QString m_autostartDirectory;
};

} // namespace morvane
