#include "ProcessOpenFiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace morvane {

QStringList openFilesOfProcess(qint64 processId, const QString& extension)
{
    if (processId <= 0)
        return {};
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(processId));
    QList<std::pair<int, QString>> found;
    const QString suffix = u'.' + extension;
    for (const QString& name : descriptors.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int descriptor = name.toInt(&ok);
        if (!ok)
            continue;
        // A deleted file's link reads "<path> (deleted)", which no longer ends in the extension.
        const QString target = QFileInfo(descriptors.filePath(name)).symLinkTarget();
        if (target.startsWith(u'/') && target.endsWith(suffix, Qt::CaseInsensitive) &&
            QFileInfo(target).isFile())
            found.append({descriptor, target});
    }
    std::sort(found.begin(), found.end());
    QStringList paths;
    for (const auto& [descriptor, path] : found) {
        if (!paths.contains(path))
            paths.append(path);
    }
    return paths;
}

} // namespace morvane
