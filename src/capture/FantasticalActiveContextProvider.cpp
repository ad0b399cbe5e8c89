#include "FantasticalActiveContextProvider.h"

#include "capture/CaptureText.h"
#include "capture/FantasticalLinks.h"
#include "capture/ProviderScript.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"

MORVANE_LOGGING_CATEGORY(lcFantasticalContext, "FantasticalContext")

namespace morvane {

namespace {

QString fantasticalSelectionScript()
{
    return statusWordScript(
        QStringLiteral("\"Fantastical\""),
        QStringLiteral("        set selectedItems to selected calendar items\n"
                       "        if selectedItems is {} then return \"empty\"\n"
                       "        set selectedItem to item 1 of selectedItems\n"
                       "        set itemTitle to title of selectedItem\n"
                       "        set itemUID to uid of selectedItem\n"
                       "        set calID to calendar identifier of calendar of selectedItem\n"
                       "        return itemTitle & %1 & itemUID & %1 & calID\n")
            .arg(scriptPayloadSeparator()));
}

CaptureResult message(const char* text)
{
    return {{}, QString::fromUtf8(text)};
}

const char* const unreadable = "Unable to read the selected Fantastical event.";

} // namespace

FantasticalActiveContextProvider::FantasticalActiveContextProvider(std::shared_ptr<Workspace> workspace,
                                                                   std::shared_ptr<ScriptRunner> scripts)
    : m_scripts(std::move(scripts))
    , m_recentlyActive(std::move(workspace), RecentlyActiveApplication::Policy::exact,
                       isFantasticalIdentifier)
    , m_reachable(
          scriptedApplicationReachable(*m_scripts, lcFantasticalContext(), QStringLiteral("Fantastical")))
{
}

CaptureResult FantasticalActiveContextProvider::captureContexts()
{
    if (!m_reachable || !m_recentlyActive.captureTarget())
        return {};
    const QString answer =
        trimmedText(runProviderScript(*m_scripts, fantasticalSelectionScript(), lcFantasticalContext(),
                                      QStringLiteral("Fantastical AppleScript failed: %1"))
                        .value_or(QString()));
    if (const std::optional<ScriptStatusWord> word = scriptStatusWord(answer)) {
        switch (*word) {
        case ScriptStatusWord::notRunning:
        case ScriptStatusWord::empty:
            return message("Select a Fantastical event to add or open.");
        case ScriptStatusWord::denied:
            return message("Automation access to Fantastical is denied by the desktop.");
        case ScriptStatusWord::error:
            return message(unreadable);
        }
    }

    const QStringList fields = payloadFields(answer);
    if (fields.size() != 3)
        return message(unreadable);
    const std::optional<QString> locator = fantasticalItemUrl(fields[1], fields[2]);
    if (!locator || graphemeCount(*locator) > maxCapturedLocatorLength)
        return message(unreadable);
    QString title = trimmedText(leftGraphemes(fields[0], maxCapturedTitleLength));
    if (title.isEmpty())
        title = QStringLiteral("Fantastical event");
    return {{CapturedContext{title, *locator, LinkType::fantastical, QStringLiteral("Fantastical"),
                             std::nullopt}},
            std::nullopt};
}

} // namespace morvane
