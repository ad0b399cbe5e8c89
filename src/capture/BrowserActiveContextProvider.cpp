#include "BrowserActiveContextProvider.h"

#include "capture/CaptureText.h"
#include "capture/ProviderScript.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"

#include <array>

MORVANE_LOGGING_CATEGORY(lcBrowserContext, "BrowserContext")

namespace morvane {

namespace {

struct SupportedBrowser {
    QString appName; // the captured item's source application
    QString bundleIdentifier;
    bool safariTabs; // Safari names its tab "current tab" and the tab's title "name"
};

const std::array<SupportedBrowser, 5>& supportedBrowsers()
{
    static const std::array<SupportedBrowser, 5> browsers{{
        {QStringLiteral("Safari"), QStringLiteral("com.apple.Safari"), true},
        {QStringLiteral("Google Chrome"), QStringLiteral("com.google.Chrome"), false},
        {QStringLiteral("Brave Browser"), QStringLiteral("com.brave.Browser"), false},
        {QStringLiteral("Microsoft Edge"), QStringLiteral("com.microsoft.edgemac"), false},
        {QStringLiteral("Arc"), QStringLiteral("company.thebrowser.Browser"), false},
    }};
    return browsers;
}

const SupportedBrowser* supportedBrowser(const QString& bundleIdentifier)
{
    for (const SupportedBrowser& browser : supportedBrowsers()) {
        if (browser.bundleIdentifier == bundleIdentifier)
            return &browser;
    }
    return nullptr;
}

// Answers "" without a window, else the tab's title, a line feed and its URL.
QString activeTabPayloadScript(const SupportedBrowser& browser)
{
    const QString tab = browser.safariTabs ? QStringLiteral("current tab") : QStringLiteral("active tab");
    const QString title = browser.safariTabs ? QStringLiteral("name") : QStringLiteral("title");
    return QStringLiteral("tell application id ") + scriptStringLiteral(browser.bundleIdentifier) +
           QStringLiteral("\n"
                          "    if not (exists front window) then return \"\"\n"
                          "    set activeTab to %1 of front window\n"
                          "    return (%2 of activeTab) & linefeed & (URL of activeTab)\n"
                          "end tell")
               .arg(tab, title);
}

struct TabPayload {
    QString title;
    QString urlText;
};

// The URL is the last line that holds anything, and the title all that comes before it: a title
// may itself hold line breaks.
TabPayload splitTabPayload(const QString& answer)
{
    const QStringList lines = answer.split(u'\n');
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QString urlText = trimmedText(lines[i]);
        if (!urlText.isEmpty())
            return {trimmedText(lines.first(i).join(u'\n')), urlText};
    }
    return {};
}

} // namespace

BrowserActiveContextProvider::BrowserActiveContextProvider(std::shared_ptr<Workspace> workspace,
                                                           std::shared_ptr<ScriptRunner> scripts)
    : m_scripts(std::move(scripts))
    , m_recentlyActive(std::move(workspace), RecentlyActiveApplication::Policy::flagAndLastIdentifier,
                       [](const QString& identifier) { return supportedBrowser(identifier) != nullptr; })
{
}

std::optional<CapturedContext> BrowserActiveContextProvider::captureContext()
{
    const std::optional<QString> target = m_recentlyActive.captureTarget();
    const SupportedBrowser* browser = target ? supportedBrowser(*target) : nullptr;
    if (!browser)
        return std::nullopt;
    const std::optional<QString> answer =
        runProviderScript(*m_scripts, activeTabPayloadScript(*browser), lcBrowserContext(),
                          QStringLiteral("Unable to read active browser tab URL: %1"));
    if (!answer)
        return std::nullopt;

    const TabPayload tab = splitTabPayload(*answer);
    const std::optional<LocatorUrl> url = LocatorUrl::parse(tab.urlText);
    const QString scheme = url ? url->scheme().toLower() : QString();
    if (scheme != QStringLiteral("http") && scheme != QStringLiteral("https")) {
        qCInfo(lcBrowserContext).noquote() << "Ignored malformed active browser URL from" << browser->appName;
        return std::nullopt;
    }
    m_recentlyActive.markCaptured(browser->bundleIdentifier);

    QString title = tab.title;
    if (title.isEmpty())
        title = url->host().value_or(QString());
    if (title.isEmpty())
        title = tab.urlText;
    return CapturedContext{title, tab.urlText, LinkType::web, browser->appName, std::nullopt};
}

} // namespace morvane
