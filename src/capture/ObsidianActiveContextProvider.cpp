#include "ObsidianActiveContextProvider.h"

#include "capture/ObsidianFiles.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"

MORVANE_LOGGING_CATEGORY(lcObsidianContext, "ObsidianContext")

namespace morvane {

ObsidianActiveContextProvider::ObsidianActiveContextProvider(std::shared_ptr<Workspace> workspace)
    : m_recentlyActive(std::move(workspace), RecentlyActiveApplication::Policy::flag,
                       [](const QString& identifier) { return identifier == applicationIdentifier; })
{
}

std::optional<QString> ObsidianActiveContextProvider::locatorForNote(const QString& path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path[i].isHighSurrogate() && i + 1 < path.size() && path[i + 1].isLowSurrogate())
            ++i;
        else if (path[i].isSurrogate())
            return std::nullopt;
    }
    // Besides the unreserved characters, what a query may hold as it is; "&", "=" and "+" are
    // encoded too, since they would end the value or read as a blank.
    static const QByteArray keptAsIs = QByteArrayLiteral("!$'()*,;:@/?");
    return QStringLiteral("obsidian://open?path=") +
           QString::fromLatin1(path.toUtf8().toPercentEncoding(keptAsIs));
}

std::optional<CapturedContext> ObsidianActiveContextProvider::captureContext()
{
    if (!m_recentlyActive.captureTarget())
        return std::nullopt;
    const std::optional<QString> note = ObsidianFiles::activeNote();
    if (!note)
        return std::nullopt;
    const std::optional<QString> locator = locatorForNote(*note);
    if (!locator) {
        qCInfo(lcObsidianContext) << "Unable to build Obsidian locator for active note";
        return std::nullopt;
    }
    m_recentlyActive.markCaptured(applicationIdentifier);
    return CapturedContext{deletingPathExtension(lastPathComponentOfPath(*note)), *locator,
                           LinkType::obsidian, QStringLiteral("Obsidian"), std::nullopt};
}

} // namespace morvane
