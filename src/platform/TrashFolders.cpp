#include "TrashFolders.h"

#include "foundation/Paths.h"

#include <unistd.h>

namespace morvane {

QString homeTrashFiles()
{
    return dataHome() + QStringLiteral("/Trash/files");
}

bool isInTrash(const QString& path)
{
    const QString home = homeTrashFiles() + u'/';
    if (path.startsWith(home))
        return true;
    const QString uid = QString::number(::getuid());
    return path.contains(QStringLiteral("/.Trash-%1/files/").arg(uid)) ||
           path.contains(QStringLiteral("/.Trash/%1/files/").arg(uid));
}

} // namespace morvane
