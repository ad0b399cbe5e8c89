#include "FinderActiveContextProvider.h"

#include "capture/ProviderScript.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"
#include "platform/FileSystemProbe.h"

#include <QFileInfo>

MORVANE_LOGGING_CATEGORY(lcFinderContext, "FinderContext")

namespace morvane {

namespace {

const QString finderSelectionScript = QStringLiteral("tell application id \"com.apple.finder\"\n"
                                                     "    set selectedItems to selection\n"
                                                     "    if selectedItems is {} then return \"\"\n"
                                                     "    set selectedItem to item 1 of selectedItems\n"
                                                     "    return POSIX path of (selectedItem as alias)\n"
                                                     "end tell");

} // namespace

FinderActiveContextProvider::FinderActiveContextProvider(
    std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts,
    std::shared_ptr<const FileIdentityService> fileIdentityService)
    : m_scripts(std::move(scripts))
    , m_fileIdentityService(std::move(fileIdentityService))
    , m_recentlyActive(std::move(workspace), RecentlyActiveApplication::Policy::flag,
                       [](const QString& identifier) { return identifier == applicationIdentifier; })
{
}

std::optional<CapturedContext> FinderActiveContextProvider::captureContext()
{
    if (!m_recentlyActive.captureTarget())
        return std::nullopt;
    const std::optional<QString> answer =
        runProviderScript(*m_scripts, finderSelectionScript, lcFinderContext(),
                          QStringLiteral("Unable to read Finder selection: %1"));
    if (!answer)
        return std::nullopt;
    const QString path = trimmedText(*answer);
    if (path.isEmpty())
        return std::nullopt;

    // Finder answers absolute paths; anything else names no item of its.
    const QFileInfo info(path);
    if (!path.startsWith(u'/') || pathHoldsNul(path) || !info.exists()) {
        qCInfo(lcFinderContext) << "Ignored Finder selection that no longer exists";
        return std::nullopt;
    }
    // Packages and bundles are folders too.
    const bool isFolder = info.isDir();
    const QString url = LocatorUrl::fileUrlText(path, isFolder || path.endsWith(u'/'));
    return CapturedContext{lastPathComponentOfPath(path), url, isFolder ? LinkType::folder : LinkType::file,
                           QStringLiteral("Finder"), m_fileIdentityService->makeIdentity(url, false)};
}

} // namespace morvane
