#include "CodeRunnerActiveContextProvider.h"

#include "capture/AccessibilityTexts.h"
#include "capture/CaptureText.h"
#include "capture/ProviderScript.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"
#include "platform/AccessibilityApi.h"

#include <QFileInfo>

MORVANE_LOGGING_CATEGORY(lcCodeRunnerContext, "CodeRunnerContext")

namespace morvane {

namespace {

const QString permissionMessage =
    QStringLiteral("Turn on the desktop's accessibility support, then try again.");
const QString unsavedMessage =
    QStringLiteral("Save the active CodeRunner tab before linking it, or keep the tab "
                   "selected so Morvane can read its file path.");
const QString missingMessage = QStringLiteral("The active CodeRunner document could not be found on disk.");

// The file URL a script's answer names: a file URL as given, or one made from an absolute path.
std::optional<QString> documentUrlOfAnswer(const QString& answer)
{
    if (answer.startsWith(QStringLiteral("file://"))) {
        const std::optional<LocatorUrl> url = LocatorUrl::parse(answer);
        return url && url->isFileUrl() ? std::optional(answer) : std::nullopt;
    }
    const QString path = expandingTilde(answer);
    if (!path.startsWith(u'/'))
        return std::nullopt;
    return LocatorUrl::fileUrlText(path, false);
}

// The file and the path of the selected, active and current tab of the front window, of the front
// document and of document 1, in this order. The identifier must be CodeRunner's.
QStringList documentScripts(const QString& identifier)
{
    static const QStringList objects{QStringLiteral("selected tab of front window"),
                                     QStringLiteral("active tab of front window"),
                                     QStringLiteral("current tab of front window"),
                                     QStringLiteral("front document"), QStringLiteral("document 1")};
    static const QString fileForm = QStringLiteral("        set documentFile to file of %1\n"
                                                   "        return POSIX path of documentFile\n");
    static const QString pathForm = QStringLiteral("        set documentPath to path of %1\n"
                                                   "        return documentPath as text\n");
    const QString head = QStringLiteral("tell application id ") + scriptStringLiteral(identifier) +
                         QStringLiteral("\n    if not running then return \"\"\n    try\n");
    const QString tail = QStringLiteral("    end try\n    return \"\"\nend tell");
    QStringList scripts;
    for (const QString& object : objects) {
        for (const QString& form : {fileForm, pathForm})
            scripts.append(head + form.arg(object) + tail);
    }
    return scripts;
}

} // namespace

CodeRunnerActiveContextProvider::CodeRunnerActiveContextProvider(
    std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts,
    std::shared_ptr<const AccessibilityApi> accessibility,
    std::shared_ptr<const FileIdentityService> fileIdentityService)
    : m_scripts(std::move(scripts))
    , m_accessibility(accessibility)
    , m_fileIdentityService(std::move(fileIdentityService))
    , m_accessibilityReader(workspace, std::move(accessibility))
    , m_recentlyActive(std::move(workspace), RecentlyActiveApplication::Policy::lastApplicationInFront,
                       &isCodeRunnerIdentifier)
    , m_reachable(
          scriptedApplicationReachable(*m_scripts, lcCodeRunnerContext(), QStringLiteral("CodeRunner")))
{
}

std::optional<QString> CodeRunnerActiveContextProvider::documentUrlFromScripts(const QString& identifier)
{
    for (const QString& script : documentScripts(identifier)) {
        const std::optional<QString> answer =
            runProviderScript(*m_scripts, script, lcCodeRunnerContext(),
                              QStringLiteral("Unable to read CodeRunner active document: %1"));
        const QString text = answer ? trimmedText(*answer) : QString();
        if (text.isEmpty())
            continue;
        if (std::optional<QString> url = documentUrlOfAnswer(text))
            return url;
    }
    return std::nullopt;
}

CaptureResult CodeRunnerActiveContextProvider::captureContexts()
{
    // Neither its scripts nor its windows' older attributes, which only the accessibility thread could
    // read, reach an application here.
    if (!m_reachable)
        return {};
    const std::optional<QString> identifier = m_recentlyActive.captureTarget();
    if (!identifier || !isCodeRunnerIdentifier(*identifier))
        return {};

    std::optional<QString> url = documentUrlFromScripts(*identifier);
    if (!url) {
        // Where this system has no such interface there is nothing to read, and the user is told to
        // save the tab rather than sent to look for settings that do not exist.
        const AccessibilityTrust trust = m_accessibility->trust();
        if (trust == AccessibilityTrust::notGranted)
            return {{}, permissionMessage};
        if (trust == AccessibilityTrust::granted)
            url = m_accessibilityReader.activeDocumentURL();
        if (!url)
            return {{}, unsavedMessage};
    }
    // A folder is not a document: a source line such as "/tmp" must not become a link.
    const std::optional<QString> path = localPathOfFileUrl(*url);
    if (!path || !QFileInfo(*path).isFile()) {
        qCInfo(lcCodeRunnerContext) << "Ignored CodeRunner document path that no longer exists";
        return {{}, missingMessage};
    }
    return {{CapturedContext{lastPathComponentOfPath(*path), *url, LinkType::file,
                             QStringLiteral("CodeRunner"), m_fileIdentityService->makeIdentity(*url, false)}},
            std::nullopt};
}

} // namespace morvane
