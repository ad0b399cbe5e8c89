#pragma once

#include <QString>

namespace morvane {

// The home Trash's files folder: $XDG_DATA_HOME/Trash/files.
QString homeTrashFiles();

// Whether path lies in a Trash: the home Trash, or a volume's own ($topdir/.Trash-$uid/files, or
// $topdir/.Trash/$uid/files) of the current user. A file there is one the user has thrown away.
bool isInTrash(const QString& path);

} // namespace morvane
