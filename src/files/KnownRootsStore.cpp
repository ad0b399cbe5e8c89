#include "KnownRootsStore.h"

#include "foundation/UserDefaults.h"

namespace morvane {

KnownRootsStore::KnownRootsStore(std::shared_ptr<UserDefaults> defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(std::move(defaults))
    , m_rootPaths(m_defaults->stringListValue(key).value_or(QStringList()))
{
}

void KnownRootsStore::setRootPaths(const QStringList& paths)
{
    if (paths == m_rootPaths)
        return;
    m_rootPaths = paths;
    emit rootPathsChanged();
}

void KnownRootsStore::save()
{
    m_defaults->setStringList(key, m_rootPaths);
}

void KnownRootsStore::reload()
{
    setRootPaths(m_defaults->stringListValue(key).value_or(QStringList()));
}

bool KnownRootsStore::addRoot(const QString& path)
{
    if (path.isEmpty() || m_rootPaths.contains(path))
        return false;
    QStringList paths = m_rootPaths;
    paths.append(path);
    setRootPaths(paths);
    save();
    return true;
}

bool KnownRootsStore::removeRoot(const QString& path)
{
    QStringList paths = m_rootPaths;
    if (paths.removeAll(path) == 0)
        return false;
    setRootPaths(paths);
    save();
    return true;
}

} // namespace morvane
