#include "ObsidianActiveContextProvider.h"

#include "capture/LocatorQuery.h"
#include "files/ObsidianFiles.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"

// Shared with the reader of Obsidian's files.
Q_DECLARE_LOGGING_CATEGORY(lcObsidianContext)

namespace morvane {

namespace {

// "obsidian://open?path=" and the absolute path, encoded as a query value; nothing for a path
// without a UTF-8 form.
std::optional<QString> locatorForNote(const QString& path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path[i].isHighSurrogate() && i + 1 < path.size() && path[i + 1].isLowSurrogate())
            ++i;
        else if (path[i].isSurrogate())
            return std::nullopt;
    }
    // A reader that takes the query as form data would read "+" as a blank: it is encoded too.
    return queryLocator(u"obsidian", u"open", {{QStringLiteral("path"), path}})
        .replace(u'+', QStringLiteral("%2B"));
}

} // namespace

ObsidianActiveContextProvider::ObsidianActiveContextProvider(std::shared_ptr<Workspace> workspace)
    : m_recentlyActive(std::move(workspace), RecentlyActiveApplication::Policy::flag,
                       [](const QString& identifier) { return identifier == applicationIdentifier; })
{
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
