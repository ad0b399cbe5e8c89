#pragma once

#include <QString>

namespace morvane {

// The identifier the context providers know an application by, from a name it gives itself on Linux
// (a WM_CLASS class, a desktop file name, a Flatpak application id, its accessibility name), in any
// case; a name without an entry is its own identifier.
QString identifierForApplicationName(const QString& name);

} // namespace morvane
