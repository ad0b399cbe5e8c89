#pragma once

#include <QString>

namespace morvane {

// The identifier the context providers know an application by, from a name it gives itself on Linux
// (a WM_CLASS class, a desktop file name, a Flatpak application id, its accessibility name), in any
// case; a name without an entry is its own identifier.
QString identifierForApplicationName(const QString& name);

// The name users know an application by: the Name of its desktop entry, found by the id it gives
// itself (a GTK application id, the desktop file its window names), else by its window class as
// written or in lower case, in the user's applications folder before the system's. The window class
// as written when no entry names it. The entries are read once for each pair asked in the same data
// folders. Thread-safe.
QString applicationDisplayName(const QString& desktopId, const QString& windowClass);

} // namespace morvane
