#pragma once

#include <QString>

namespace morvane {

class GlobalShortcutsPortal;

// Where the user changes the keys the desktop holds for an application, as the desktop names it.
QString desktopShortcutSettings();
// Where the user binds keys to commands of their own.
QString desktopCommandSettings();

// How the user opens one of our windows from any window, as the start of a sentence: "Press
// Ctrl+Super+L" with the window system's grab; on a Wayland session the keys the desktop's shortcuts
// portal holds for it (or where to give it some), and without that portal the command to bind, since
// the grab fires there only while an X11 window has the keyboard. portal may be null.
QString shortcutInvitation(const GlobalShortcutsPortal* portal, const QString& portalId, const QString& label,
                           const QString& storedKeys, const QString& command);

} // namespace morvane
