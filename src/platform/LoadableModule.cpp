#include "LoadableModule.h"

#include "foundation/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

MORVANE_LOGGING_CATEGORY(lcModule, "Module")

namespace morvane {

namespace {

// The running program, as the kernel names it (QCoreApplication may not exist yet, or at all).
QString programPath()
{
    return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
}

} // namespace

LoadableModule::LoadableModule(const QString& name)
    : m_name(name)
{
    m_library.setFileName(folderFor(programPath()) + QStringLiteral("/libmorvane-") + name +
                          QStringLiteral(".so"));
}

QString LoadableModule::folderFor(const QString& path)
{
    // A program of the build tree uses that tree's modules; an installed one never looks there.
    const QString buildTree = QStringLiteral(MORVANE_BUILD_TREE "/");
    if (path.startsWith(buildTree))
        return QStringLiteral(MORVANE_BUILD_MODULE_DIR);
    return QDir::cleanPath(QFileInfo(path).absolutePath() + QStringLiteral("/" MORVANE_INSTALLED_MODULE_DIR));
}

QFunctionPointer LoadableModule::entry(const char* symbol)
{
    if (m_failed)
        return nullptr;
    if (!std::exchange(m_tried, true) && !m_library.load()) {
        m_failed = true;
        qCWarning(lcModule).noquote()
            << "The" << m_name << "module is not available:" << m_library.errorString();
        return nullptr;
    }
    QFunctionPointer found = m_library.resolve(symbol);
    if (!found) {
        m_failed = true;
        qCWarning(lcModule).noquote()
            << "The" << m_name << "module is not available:" << m_library.errorString();
    }
    return found;
}

} // namespace morvane
