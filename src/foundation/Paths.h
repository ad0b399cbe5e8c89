#pragma once

#include <QString>

#include <optional>

namespace morvane {

// $XDG_CONFIG_HOME (default ~/.config): the base of the user's configuration folders (autostart
// among them); read from the environment on every call.
QString configHome();

// $XDG_CONFIG_HOME/Morvane (default ~/.config/Morvane); read from the environment on every call.
QString configDirectory();

// $XDG_DATA_HOME (default ~/.local/share): the base that the user's data folders (the Trash
// among them) stand in.
QString dataHome();

// $XDG_DATA_HOME/Morvane (default ~/.local/share/Morvane): the library and other data files.
QString dataDirectory();

// Creates the folder with its parents and gives it user-only permissions. Returns why it could not,
// worded for the user and naming the folder, or nothing once the folder is ready.
std::optional<QString> ensurePrivateDirectory(const QString& path);

} // namespace morvane
